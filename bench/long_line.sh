#!/usr/bin/env bash
# Shows what one long line costs in memory: the peak resident size of
# tagpolish on a page that is one line of SIZE_MB (default 64) megabytes,
# under each option set, beside the bound it keeps (1.5 times the line and
# 16 MB). Two lines are tried: markup that every option edits (font tags,
# full-width letters and digits, half-width katakana) and plain text with
# the same characters. Prints one row per option set and line, "met" or
# "missed", and ends with status 1 when any row missed.
#
#   bench/long_line.sh [SIZE_MB]
#
# Uses $TAGPOLISH, or build/tagpolish (built with the default preset when
# missing); GNU time (/usr/bin/time) for the peak. 1 MB = 2^20 bytes.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tp=${TAGPOLISH:-$root/build/tagpolish}
size_mb=${1:-64}
case $size_mb in '' | *[!0-9]*) echo "usage: bench/long_line.sh [SIZE_MB]" >&2; exit 2 ;; esac
[ -x /usr/bin/time ] || { echo "bench/long_line.sh: needs GNU time (apt-get install time)" >&2; exit 2; }
if [ ! -x "$tp" ]; then
    (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default --target tagpolish >/dev/null)
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tagpolish-long-line.XXXXXX")
trap 'rm -rf "$work"' EXIT

# line FILE UNIT: "<p>", UNIT repeated up to SIZE_MB, "</p>" and a newline.
line() {
    perl -e 'my ($unit, $size) = @ARGV; $unit =~ s/\\x([0-9A-F]{2})/chr hex $1/ge;
             print "<p>", $unit x int($size / length $unit), "</p>\n"' "$2" $((size_mb << 20)) >"$1"
}
line "$work/markup.htm" '<font color=red>\x82\x60\x82\x61\x82\x50\xB1 text</font> '
line "$work/text.htm" '\x82\x60\x82\x61\x82\x50\xB1 plain text here '

bound_kb=$(((size_mb << 10) * 3 / 2 + (16 << 10)))
missed=0
printf '%-26s %-10s %9s %9s  %s\n' options line "peak MB" "bound MB" verdict
for opts in -k -n -a -c -s -j -u -i -d:f -d:a -d:i -d:o -d:l "-acjknsu -d:abcfhilos"; do
    for kind in markup text; do
        # shellcheck disable=SC2086  # the option set is split on purpose
        peak_kb=$(/usr/bin/time -f %M "$tp" $opts "$work/$kind.htm" 2>&1 >/dev/null | tail -1)
        verdict=met
        [ "$peak_kb" -le "$bound_kb" ] || { verdict=missed; missed=1; }
        printf '%-26s %-10s %9.1f %9.1f  %s\n' "$opts" "$kind" "$(awk "BEGIN { print $peak_kb / 1024 }")" \
            "$(awk "BEGIN { print $bound_kb / 1024 }")" "$verdict"
    done
done
exit "$missed"
