#!/usr/bin/env bash
# Times the move to UTF-8 beside iconv, which converts but fixes no
# declaration, and checks the two targets: one 32 MB page converted within
# 1.5 times one `iconv -f CP932 -t UTF-8` run on it, and a site of 4,000
# pages converted (tagpolish -w -r --to-utf8) at least as fast as one
# iconv process per page writing the page anew. Prints the medians and
# "met" or "missed" for each, and ends with status 1 when one missed.
#
#   bench/to_utf8.sh [SIZE_MB]
#
# RUNS (default 5) sets the runs behind each median. Uses the default
# preset's build in build/ (or BENCH_BUILD), building what it needs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-32}
runs=${RUNS:-5}
build=${BENCH_BUILD:-$root/build}
case $size_mb in '' | *[!0-9]*) echo "usage: bench/to_utf8.sh [SIZE_MB]" >&2; exit 2 ;; esac

{
    [ -f "$build/CMakeCache.txt" ] || (cd "$root" && cmake --preset default)
    cmake --build "$build" -j2 --target tagpolish gen_page time_runs
} >/dev/null
tp=$build/tagpolish
timer=$build/bench/time_runs

work=$(mktemp -d "${TMPDIR:-/tmp}/tagpolish-utf8.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/gen_page" realistic $((size_mb << 20)) "$work/page.htm"
"$build/bench/gen_page" site 4000 "$work/site"
fresh_site="rm -rf '$work/copy' && cp -a '$work/site' '$work/copy' && sync"

# wall TIMER-ARGS...: the median wall seconds of a command.
wall() {
    local w c p s
    read -r w c p s < <("$timer" "$runs" /dev/null "$@")
    [ "$s" = 0 ] || { echo "bench/to_utf8.sh: a run failed (status $s): $*" >&2; exit 1; }
    echo "$w"
}

page_iconv=$(wall -- iconv -f CP932 -t UTF-8 "$work/page.htm")
page_tp=$(wall -- "$tp" --to-utf8 "$work/page.htm")
site_iconv=$(wall --prepare "$fresh_site" -- sh -c \
    'find "$1" -name "*.htm" | while read -r f; do
         iconv -f CP932 -t UTF-8 "$f" > "$f.new" && mv "$f.new" "$f"; done' site "$work/copy")
site_tp=$(wall --prepare "$fresh_site" -- "$tp" -w -r --to-utf8 "$work/copy")

missed=0
# verdict NAME OURS BOUND: a row, "met" when OURS is within BOUND.
verdict() {
    local v=met
    awk -v a="$2" -v b="$3" 'BEGIN { exit !(a <= b) }' || { v=missed; missed=1; }
    printf '%-44s %8.3f s  bound %8.3f s  %s\n' "$1" "$2" "$3" "$v"
}
printf '%-44s %8.3f s\n' "iconv, the ${size_mb} MB page" "$page_iconv"
verdict "tagpolish --to-utf8, the ${size_mb} MB page" "$page_tp" \
    "$(awk -v a="$page_iconv" 'BEGIN { print a * 1.5 }')"
printf '%-44s %8.3f s\n' "iconv, one per page, 4,000 pages" "$site_iconv"
verdict "tagpolish -w -r --to-utf8, 4,000 pages" "$site_tp" "$site_iconv"
exit $missed
