#!/usr/bin/env bash
# Shows that tagpolish costs the same time per megabyte whatever the size of
# the page and the length of its lines: prints processor milliseconds per MB
# (best of RUNS, default 3) on generated Shift_JIS pages for a few option
# sets, and on lines where every byte is edited.
#
#   bench/scaling.sh
#
# Uses $TAGPOLISH, or build/tagpolish (built with the default preset when
# missing). Needs perl for the pages. 1 MB = 2^20 bytes.
set -euo pipefail
TIMEFORMAT='%3U %3S'

root=$(cd "$(dirname "$0")/.." && pwd)
tp=${TAGPOLISH:-$root/build/tagpolish}
runs=${RUNS:-3}
mb=1048576

if [ ! -x "$tp" ]; then
    (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default --target tagpolish >/dev/null)
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tagpolish-scaling.XXXXXX")
trap 'rm -rf "$work"' EXIT

# page FILE MEGABYTES LINE_LENGTH KIND: whole lines of LINE_LENGTH bytes
# (newline included) up to the size. KIND mixed is markup with text that
# every option edits; kana and digits are lines that -k or -n edit byte
# for byte.
page() {
    perl -e '
        my ($size, $len, $kind) = @ARGV;
        my %unit = (
            mixed  => "<font size=2 color=\"red\">\x82\x50\x82\x51\x82\x60\x82\x61\xB1\xB2</font>"
                    . "\x82\xA0<a href=\"d/x.htm\">\x83\x41</a>text ",
            kana   => "\xB1",
            digits => "\x82\x50",
        );
        my $u = $unit{$kind};
        my $body = $u x int(($len - 1) / length $u);
        my $line = $body . ("x" x ($len - 1 - length $body)) . "\n";
        binmode STDOUT;
        print $line for 1 .. int(($size + $len - 1) / $len);
    ' "$(($2 * mb))" "$3" "$4" >"$1"
}

# ms_per_mb FILE OPTIONS...: the least processor time (user and system) of
# RUNS runs, per MB of FILE. Processor time, not wall time, so that other
# work on the machine does not blur the figures.
ms_per_mb() {
    local file=$1 status
    shift
    : >"$work/times"
    for _ in $(seq "$runs"); do
        status=0
        { time "$tp" "$@" "$file" >/dev/null 2>"$work/err"; } 2>>"$work/times" || status=$?
        [ "$status" -eq 0 ] || { echo "tagpolish $* failed:" >&2; head -3 "$work/err" >&2; exit 1; }
    done
    awk -v bytes="$(stat -c %s "$file")" '
        { t = ($1 + $2) * 1000; if (NR == 1 || t < best) best = t }
        END { printf "%9.1f", best / (bytes / 1048576) }' "$work/times"
}

option_sets=("" "-akn" "-acjknu -d:abcfhilos")

# table TITLE COLUMN_NAME... -- FILES...: one row per option set.
table() {
    local title=$1
    shift
    local heads=() files=()
    while [ "$1" != -- ]; do heads+=("$1"); shift; done
    shift
    files=("$@")
    printf '\n%s\n%-22s' "$title" "options"
    printf '%9s' "${heads[@]}"
    echo
    for opts in "${option_sets[@]}"; do
        printf '%-22s' "${opts:-(none)}"
        for f in "${files[@]}"; do
            # shellcheck disable=SC2086  # the options are words
            ms_per_mb "$f" $opts
        done
        echo
    done
}

echo "tagpolish scaling: processor milliseconds per MB, best of $runs ($tp)"

sizes=(1 4 16 64) files=()
for s in "${sizes[@]}"; do
    files+=("$work/size$s.htm")
    page "${files[-1]}" "$s" 100 mixed
done
table "page size, 100-byte lines" "${sizes[@]/%/ MB}" -- "${files[@]}"

lengths=(100 2000 50000 255999) files=()
for l in "${lengths[@]}"; do
    files+=("$work/line$l.htm")
    page "${files[-1]}" 16 "$l" mixed
done
table "line length (bytes), 16 MB pages" "${lengths[@]}" -- "${files[@]}"

echo
echo "every byte edited, 16 MB pages"
printf '%-22s%9s%9s\n' "page, options" 100 255999
for pair in "kana -k" "digits -n"; do
    kind=${pair% *} opt=${pair#* }
    printf '%-22s' "$kind, $opt"
    for l in 100 255999; do
        page "$work/$kind$l.htm" 16 "$l" "$kind"
        ms_per_mb "$work/$kind$l.htm" "$opt"
    done
    echo
done
