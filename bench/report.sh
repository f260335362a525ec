# Prints bench/run's tables and targets from its measurements (sourced by
# bench/run: uses its wall, cpu, peak, sets, versions, work and so on).

# calc EXPR [DECIMALS]: evaluates EXPR with awk.
calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }
# verdict CONDITION: "met" or "missed".
verdict() { awk "BEGIN { print (($1) ? \"met\" : \"missed\") }"; }
mib() { calc "$1 / 1024" 1; }

page_bytes=$(bytes "$page")
page_mb=$(calc "$page_bytes / $mb" 3)

echo
echo "${size_mb} MB realistic page ($page_bytes bytes), median of $runs runs each, taken round-robin,"
echo "$(nproc) cores; every command writes to /dev/null; peak = largest resident size of a run;"
echo "left: this version; right: the old one ($old_commit, before streaming input and batched"
echo "rewrites), and how many times as long it took"
printf '%-36s %7s %7s %7s | %7s %7s %7s %7s\n' command "wall s" "CPU s" "peak MB" "wall s" "CPU s" "peak MB" "old/new"
row() {
    local key=$1 name=$2
    printf '%-36s %7.3f %7.3f %7.1f |' "$name" "${wall[$key]}" "${cpu[$key]}" "$(mib "${peak[$key]}")"
    if [ -n "${3:-}" ] && [ -n "${wall[$3]:-}" ]; then
        printf ' %7.3f %7.3f %7.1f %7.2f\n' "${wall[$3]}" "${cpu[$3]}" "$(mib "${peak[$3]}")" \
            "$(calc "${wall[$3]} / ${wall[$key]}")"
    else
        echo
    fi
}
row cat "cat > /dev/null"
row memchr "memchr for < and >, 128 KiB buffer"
row iconv "iconv -f CP932 -t UTF-8"
if [ $have_nkf = 1 ]; then row nkf "nkf -S -s -X"; else echo "nkf -S -s -X: skipped, nkf is not installed and apt-get could not install it"; fi
row sed "sed -E, one expression for font tags"
for o in "${sets[@]}"; do row "new$o" "$(label "$o")" "old$o"; done

echo
echo "scaling: processor ms per MB (median of $runs) on realistic pages of 4 to 256 MB, and on"
echo "pages of one text in 255,999-byte and in 5 MB lines; size spread = largest /"
echo "smallest of the realistic pages, line spread = 5 MB lines / 255,999-byte lines"
printf '%-36s' "option set"
for s in "${scale_sizes[@]}" "$size_mb"; do printf ' %6s' "${s}MB"; done
printf ' %8s %8s %7s %7s\n' "256K ln" "5M ln" size line
per_mb() { calc "${cpu[$1]} * 1000 / ($(bytes "$work/$2.htm") / $mb)" 3; }
worst_spread=0 worst_spread_set=""
for o in "${scale_sets[@]}"; do
    printf '%-36s' "$(label "$o")"
    lo="" hi=""
    for f in "${scale_sizes[@]/#/real}" "real$size_mb"; do
        key="new$o@$f"
        [ "$f" = "real$size_mb" ] && key="new$o"
        per=$(per_mb "$key" "$f")
        printf ' %6.2f' "$per"
        if [ -z "$lo" ] || [ "$(verdict "$per < $lo")" = met ]; then lo=$per; fi
        if [ -z "$hi" ] || [ "$(verdict "$per > $hi")" = met ]; then hi=$per; fi
    done
    short=$(per_mb "new$o@lines256k" lines256k)
    long=$(per_mb "new$o@lines5m" lines5m)
    size_spread=$(calc "$hi / $lo" 3)
    line_spread=$(calc "$long / $short" 3)
    printf ' %8.2f %8.2f %7.2f %7.2f\n' "$short" "$long" "$size_spread" "$line_spread"
    for spread in "$size_spread" "$line_spread"; do
        if [ "$(verdict "$spread > $worst_spread")" = met ]; then worst_spread=$spread worst_spread_set=$(label "$o"); fi
    done
done

echo
echo "peak memory, MB (limit: the page plus 16 MB); -w runs rewrite a fresh copy"
printf '%-50s %8s %8s %8s\n' input new old limit
least_room=1000000 least_room_what=""
mem_row() {
    local key=$1 name=$2 file=$3
    local limit new_mb
    limit=$(calc "$(bytes "$file") / $mb + 16" 1)
    new_mb=$(mib "${peak[new$key]}")
    printf '%-50s %8s %8s %8s\n' "$name" "$new_mb" "$([ -n "${peak[old$key]:-}" ] && mib "${peak[old$key]}" || echo -)" "$limit"
    if [ "$(verdict "$limit - $new_mb < $least_room")" = met ]; then
        least_room=$(calc "$limit - $new_mb" 1) least_room_what=$name
    fi
}
for o in "${sets[@]}"; do
    mem_row "$o" "${size_mb} MB page, $(label "$o")" "$page"
    mem_row "$o@w" "${size_mb} MB page, $(label "-w $o")" "$page"
done
mem_row "@empty" "50 MB of empty lines, -k" "$work/empty.htm"
mem_row "@empty-w" "50 MB of empty lines, -w -k" "$work/empty.htm"
mem_row "@big" "200 MB page, -k" "$work/big.htm"
mem_row "@big-w" "200 MB page, -w -k" "$work/big.htm"

echo
echo "a site: 4,000 pages of about 20 KB in 50 folders, one walk (-r, $(nproc) jobs) or"
echo "find -print0 | xargs -0 -P$(nproc) -n 200; wall s, median of $site_runs with the fastest and"
echo "slowest run, each on a fresh copy (tagpolish syncs every page; sed and nkf sync nothing)"
site_row() {
    [ -n "${wall[$1]:-}" ] || return 0
    printf '  %-48s %8.3f  (%s to %s)\n' "$2" "${wall[$1]}" \
        "$(printf '%s\n' ${walls[$1]} | sort -g | head -1)" "$(printf '%s\n' ${walls[$1]} | sort -g | tail -1)"
}
site_row "site walk -d:f" "tagpolish -w -r -d:f"
site_row "site walk -k" "tagpolish -w -r -k"
site_row "site sed" "sed -i -E, one expression for font tags"
if [ $have_nkf = 1 ]; then site_row "site nkf" "nkf -S -s -X --overwrite"; else echo "  nkf --overwrite: skipped, nkf is not installed"; fi
for v in "${versions[@]}"; do
    site_row "site $v -d:f" "tagpolish -w -d:f ($v)"
    site_row "site $v -k" "tagpolish -w -k ($v)"
done
# The walk edits nproc pages at once, each of them under 16 MB but for
# the page itself.
largest_site_page=$(find "$work/site" -type f -printf '%s\n' | sort -g | tail -1)
site_limit_kib=$(calc "$(nproc) * ($largest_site_page / 1024 + 16 * 1024)" 0)

all="new-acknu -d:abcfhilos"
echo
echo "targets, from this run's own figures"
target() { printf '  %-62s %-28s %s\n' "$1" "$2" "$3"; }
times_memchr=$(calc "${wall[new]} / ${wall[memchr]}")
target "no options: at most 1.25 times the memchr reference" "$times_memchr times memchr" \
    "$(verdict "$times_memchr <= 1.25")"
of_iconv=$(calc "${wall[$all]} / ${wall[iconv]}")
target "every edit (-acknu -d:abcfhilos): at most 0.9 of iconv (aim 0.75)" "$of_iconv of iconv" \
    "$(verdict "$of_iconv <= 0.9")$([ "$(verdict "$of_iconv <= 0.75")" = met ] && echo ", aim reached")"
if [ $have_nkf = 1 ]; then
    target "-k: at least 6 times as fast as nkf -S -s -X" "$(calc "${wall[nkf]} / ${wall[new-k]}") times" \
        "$(verdict "${wall[nkf]} >= 6 * ${wall[new-k]}")"
else
    target "-k: at least 6 times as fast as nkf -S -s -X" "nkf not installed" "not measured"
fi
target "-d:f: at least 5 times as fast as the one-expression sed" \
    "$(calc "${wall[sed]} / ${wall[new-d:f]}") times" "$(verdict "${wall[sed]} >= 5 * ${wall[new-d:f]}")"
# ratio FASTER SLOWER: how many times as fast the first run is.
ratio() { calc "${wall[$2]} / ${wall[$1]}"; }
site_target() {
    local walk=$1 other=$2 least=$3 what=$4
    if [ -z "${wall[$other]:-}" ]; then target "site: -r $what" "not measured" "-"; return; fi
    local r
    r=$(ratio "$walk" "$other")
    target "site: -r at least $least times as fast as $what" "$r times" "$(verdict "$r >= $least")"
}
site_target "site walk -d:f" "site new -d:f" 1.3 "xargs tagpolish -w -d:f"
site_target "site walk -d:f" "site sed" 1.5 "xargs sed -i (font tags)"
site_target "site walk -k" "site new -k" 1.3 "xargs tagpolish -w -k"
if [ $have_nkf = 1 ]; then
    site_target "site walk -k" "site nkf" 1.5 "xargs nkf --overwrite"
else
    target "site: -r -k at least 1.5 times as fast as nkf --overwrite" "nkf not installed" "not measured"
fi
site_peak=$(printf '%s\n' "${peak[site walk -d:f]}" "${peak[site walk -k]}" | sort -g | tail -1)
target "site: -r peak memory within jobs x (largest page + 16 MB)" \
    "$(mib "$site_peak") of $(mib "$site_limit_kib") MB" "$(verdict "$site_peak <= $site_limit_kib")"
target "peak memory at most the page + 16 MB, every input above" \
    "least room ${least_room} MB ($least_room_what)" "$(verdict "$least_room >= 0")"
target "per-MB cost flat: 4 to 256 MB, 256 KB to 5 MB lines (spread <= 1.25)" \
    "worst $worst_spread ($worst_spread_set)" "$(verdict "$worst_spread <= 1.25")"

if [ ${#failed[@]} -gt 0 ]; then
    echo
    echo "warning: these commands did not exit 0, so their figures are suspect:"
    printf '  %s\n' "${failed[@]}"
fi
