# Prints bench/run's tables and targets from its measurements (sourced by
# bench/run: uses its wall, cpu, peak, sets, sizes, page, path and so on).

# calc EXPR [DECIMALS]: evaluates EXPR with awk.
calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }
# verdict CONDITION: "met" or "missed".
verdict() { awk "BEGIN { print (($1) ? \"met\" : \"missed\") }"; }

page_bytes=$(bytes "$page")
path_bytes=$(bytes "$work/path.htm")
page_mb=$(calc "$page_bytes / $mb" 3)
path_mb=$(calc "$path_bytes / $mb" 3)

echo
echo "${size_mb} MB realistic page ($page_bytes bytes), median of $runs runs each, taken round-robin, $(nproc) cores"
echo "speed = throughput as a fraction of cat's; peak = largest resident size of a run"
printf '%-42s %8s %8s %7s %8s %8s\n' command "wall s" "MB/s" speed "CPU s" "peak MB"
row() {
    local key=$1 name=$2
    printf '%-42s %8.3f %8.1f %7.2f %8.3f %8.1f\n' "$name" "${wall[$key]}" \
        "$(calc "$page_mb / ${wall[$key]}" 1)" "$(calc "${wall[cat]} / ${wall[$key]}" 3)" \
        "${cpu[$key]}" "$(calc "${peak[$key]} / 1024" 1)"
}
row cat "cat"
row iconv "iconv -f CP932 -t UTF-8"
if [ $have_nkf = 1 ]; then row nkf "nkf -S -s -X"; else echo "nkf -S -s -X: skipped, nkf is not installed and apt-get could not install it"; fi
row sed "sed -E, one expression for font tags"
for o in "${sets[@]}"; do row "tp$o" "$(label "$o")"; done

echo
echo "scaling: wall ms per MB of the realistic page at ${sizes[*]} MB; pathological page (${path_mb} MB)"
printf '%-42s' "option set"
for s in "${sizes[@]}"; do printf ' %7s' "${s} MB"; done
printf ' %9s %9s %8s %9s\n' "max/min" "last/1st" "path" "path/real"
worst_scale=0 worst_scale_set="" worst_path=0 worst_path_set=""
for o in "${sets[@]}"; do
    printf '%-42s' "$(label "$o")"
    lo="" hi="" first="" last=""
    for s in "${sizes[@]}"; do
        key="tp$o@$s"
        [ "$s" = "$size_mb" ] && key="tp$o"
        per=$(calc "${wall[$key]} * 1000 / ($(bytes "$work/real$s.htm") / $mb)" 3)
        printf ' %7.2f' "$per"
        [ -n "$first" ] || first=$per
        last=$per
        if [ -z "$lo" ] || [ "$(verdict "$per < $lo")" = met ]; then lo=$per; fi
        if [ -z "$hi" ] || [ "$(verdict "$per > $hi")" = met ]; then hi=$per; fi
    done
    path_per=$(calc "${wall[tp$o@path]} * 1000 / $path_mb" 3)
    scale=$(calc "$last / $first" 3)
    ratio=$(calc "$path_per / $last" 3)
    printf ' %9.2f %9.2f %8.2f %9.2f\n' "$(calc "$hi / $lo" 3)" "$scale" "$path_per" "$ratio"
    if [ "$(verdict "$scale > $worst_scale")" = met ]; then worst_scale=$scale worst_scale_set=$(label "$o"); fi
    if [ "$(verdict "$ratio > $worst_path")" = met ]; then worst_path=$ratio worst_path_set=$(label "$o"); fi
done

echo
echo "peak memory, MB (limits: 2 x page + 16 MB without -w, 3 x page + 16 MB with -w)"
printf '%-42s %10s %10s %12s\n' "option set" "realistic" "with -w" "pathological"
worst_mem=0 worst_mem_w=0
for o in "${sets[@]}"; do
    m=$(calc "${peak[tp$o]} / 1024" 1)
    mw=$(calc "${peak[tp$o@w]} / 1024" 1)
    printf '%-42s %10s %10s %12s\n' "$(label "$o")" "$m" "$mw" "$(calc "${peak[tp$o@path]} / 1024" 1)"
    if [ "$(verdict "$m > $worst_mem")" = met ]; then worst_mem=$m; fi
    if [ "$(verdict "$mw > $worst_mem_w")" = met ]; then worst_mem_w=$mw; fi
done

all="tp-acknu -d:abcfhilos"
echo
echo "targets, on the ${size_mb} MB realistic page in this run"
target() { printf '  %-58s %-30s %s\n' "$1" "$2" "$3"; }
speed=$(calc "${wall[cat]} / ${wall[tp]}" 3)
target "no options: at least 1/3 of cat's throughput (aim 1/2)" "$speed of cat" \
    "$(verdict "$speed >= 1/3")$([ "$(verdict "$speed >= 0.5")" = met ] && echo ", aim reached")"
target "every edit (-acknu -d:abcfhilos): faster than iconv" \
    "$(calc "${wall[$all]}" 3) s vs $(calc "${wall[iconv]}" 3) s" "$(verdict "${wall[$all]} < ${wall[iconv]}")"
if [ $have_nkf = 1 ]; then
    target "-k: at least 3 times faster than nkf -X" "$(calc "${wall[nkf]} / ${wall[tp-k]}" 2) times" \
        "$(verdict "${wall[nkf]} >= 3 * ${wall[tp-k]}")"
else
    target "-k: at least 3 times faster than nkf -X" "nkf not installed" "not measured"
fi
target "-d:f: faster than the one-expression sed" \
    "$(calc "${wall[tp-d:f]}" 3) s vs $(calc "${wall[sed]}" 3) s" "$(verdict "${wall[tp-d:f]} < ${wall[sed]}")"
target "per MB, ${size_mb} MB page <= 1.15 x ${sizes[0]} MB page, every set" \
    "worst $worst_scale ($worst_scale_set)" "$(verdict "$worst_scale <= 1.15")"
target "per MB, pathological <= 2 x realistic, every set" \
    "worst $worst_path ($worst_path_set)" "$(verdict "$worst_path <= 2")"
target "peak memory without -w <= 2 x page + 16 MB" \
    "worst $worst_mem MB of $(calc "2 * $page_mb + 16" 1)" "$(verdict "$worst_mem <= 2 * $page_mb + 16")"
target "peak memory with -w <= 3 x page + 16 MB" \
    "worst $worst_mem_w MB of $(calc "3 * $page_mb + 16" 1)" "$(verdict "$worst_mem_w <= 3 * $page_mb + 16")"

if [ ${#failed[@]} -gt 0 ]; then
    echo
    echo "warning: these commands did not exit 0, so their figures are suspect:"
    printf '  %s\n' "${failed[@]}"
fi
