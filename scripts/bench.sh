#!/usr/bin/env bash
# Runs the benchmarks and prints one table: resave and dump of generated 16
# and 64 MiB files against cp + sync (medians of 9 runs, peak memory from
# /usr/bin/time -v), check of 5,000 corpus files against cat, the in-memory
# scan and build, the 1 MiB resave beside the slow baseline, and the editor.
# Needs the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j2 --target tavolin-strings tavolin_core_bench tavolin_baseline_bench tavolin_grid_bench >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cli="$build/src/tavolin-strings"

# Slots of 20..59 characters holding 12..31 letters, 8 gap bytes between them.
make_file() {
    python3 - "$1" "$2" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2]) << 20
out = bytearray([0x6b, 0x4a, 0x1f, 0x10])
i = 0
while len(out) < size:
    cap = 20 + i % 40
    n = min(cap, 12 + i % 20)
    out += bytes([cap, 171])
    for c in range(cap):
        out += bytes([ord('a') + (i + c) % 26 if c < n else 0, 0])
    out += bytes([3, 0, 7, 1, 0, 0, 5, 0])
    i += 1
open(path, 'wb').write(out)
PY
}

# Median wall time in ms of 9 runs of "$@" (to the microsecond, from the
# shell's clock), and the largest peak RSS in KiB (from /usr/bin/time).
measure() {
    local times=() peak=0 start end
    for _ in 1 2 3 4 5 6 7 8 9; do
        start=$EPOCHREALTIME
        /usr/bin/time -f "%M" -o "$tmp/t" "$@" >/dev/null
        end=$EPOCHREALTIME
        read -r m <"$tmp/t"
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.1f", (b-a)*1000}')")
        ((m > peak)) && peak=$m
    done
    printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -n | sed -n 5p)" "$peak"
}

printf '%-34s %10s %12s %10s\n' "what" "ms" "peak MiB" "ratio"
for size in 16 64; do
    make_file "$tmp/f$size.rsc" "$size"
    cp "$tmp/f$size.rsc" "$tmp/w$size.rsc"
    sync # no write-back of the new files left to compete with the runs
    read -r cp_ms _ < <(measure sh -c "cp '$tmp/f$size.rsc' '$tmp/c$size.rsc' && sync '$tmp/c$size.rsc'")
    read -r rs_ms rs_kb < <(measure "$cli" resave "$tmp/w$size.rsc")
    read -r dm_ms dm_kb < <(measure sh -c "'$cli' dump '$tmp/w$size.rsc' > '$tmp/d.json' && sync '$tmp/d.json'")
    cmp -s "$tmp/f$size.rsc" "$tmp/w$size.rsc" || echo "resave changed the $size MiB file" >&2
    eval "rs$size=$rs_ms dm$size=$dm_ms"
    printf '%-34s %10.1f %12s %10s\n' "cp + sync $size MiB" "$cp_ms" "-" "1.0x"
    printf '%-34s %10.1f %12d %10s\n' "resave $size MiB" "$rs_ms" $((rs_kb / 1024)) \
        "$(awk -v a="$rs_ms" -v b="$cp_ms" 'BEGIN{printf "%.1fx cp", a/b}')"
    printf '%-34s %10.1f %12d %10s\n' "dump $size MiB to a file" "$dm_ms" $((dm_kb / 1024)) \
        "$(awk -v a="$dm_ms" -v b="$cp_ms" 'BEGIN{printf "%.1fx cp", a/b}')"
    printf '%-34s %10s %12s %10s\n' "  (resave peak / file size)" "" \
        "$(awk -v k="$rs_kb" -v s="$size" 'BEGIN{printf "%.2fx", k/1024/s}')" ""
done
printf '%-34s %10s %12s %10s\n' "resave 16 -> 64 MiB growth" "" "" \
    "$(awk -v a="$rs64" -v b="$rs16" 'BEGIN{printf "%.2fx", a/b}')"
printf '%-34s %10s %12s %10s\n' "dump 16 -> 64 MiB growth" "" "" \
    "$(awk -v a="$dm64" -v b="$dm16" 'BEGIN{printf "%.2fx", a/b}')"

# check over 5,000 copies of the sample corpus (real file sizes) in one
# call, against cat of the same files.
corpus=${TAVOLIN_CORPUS_DIR:-/work/shared/corpus}
if [ -d "$corpus" ]; then
    mkdir "$tmp/many"
    mapfile -t samples < <(find "$corpus" -name '*.rsc' | sort)
    for ((i = 0; i < 5000; i++)); do
        cp "${samples[i % ${#samples[@]}]}" "$tmp/many/c$i.rsc"
    done
    chmod u+w "$tmp/many"/*.rsc
    sync
    read -r cat_ms _ < <(measure sh -c "cat '$tmp/many'/*.rsc")
    read -r ck_ms ck_kb < <(measure sh -c "'$cli' check '$tmp/many'/*.rsc 2>/dev/null; true")
    printf '%-34s %10.1f %12s %10s\n' "cat 5,000 corpus files" "$cat_ms" "-" "1.0x"
    printf '%-34s %10.1f %12d %10s\n' "check 5,000 corpus files" "$ck_ms" $((ck_kb / 1024)) \
        "$(awk -v a="$ck_ms" -v b="$cat_ms" 'BEGIN{printf "%.1fx cat", a/b}')"
fi

"$build/bench/tavolin_core_bench" --benchmark_filter='ScanResourceBytes|BuildPatchFile' \
    --benchmark_format=csv 2>/dev/null | awk -F, 'NR>1 {gsub(/"/,"",$1);
        printf "%-34s %10.1f %12s %10s\n", $1, $3, "-", sprintf("%.2f GiB/s", $6/1073741824)}'
"$build/bench/tavolin_baseline_bench" --benchmark_format=csv 2>/dev/null | awk -F, 'NR>1 {
        gsub(/"/,"",$1); t[NR]=$3; n[NR]=$1} END {
        printf "%-34s %10.1f %12s %10s\n", n[2], t[2], "-", "";
        printf "%-34s %10.1f %12s %10s\n", n[3], t[3], "-", sprintf("%.0fx faster", t[2]/t[3])}'

# The editor, offscreen: Open of 16 and 64 MiB until the grid is painted, the
# peak memory with the 64 MiB file open (a run of its own), and the grid's
# costs at 800,000 rows. A Down arrow is half of the Down + Up pair measured.
grid="$build/bench/tavolin_grid_bench"
export QT_QPA_PLATFORM=offscreen
"$grid" --benchmark_filter='OpenFileOfMiB|OpenFileOfKiB|Keystroke/800000|DownArrow|EmptyLarge|CloseWindow' \
    --benchmark_format=csv 2>/dev/null >"$tmp/grid.csv"
"$grid" --benchmark_filter='OpenFileOfMiB/64' --benchmark_format=csv 2>/dev/null >"$tmp/peak.csv"
awk -F, -v peakfile="$tmp/peak.csv" '
    BEGIN { while ((getline line < peakfile) > 0) { n = split(line, f, ","); if (f[1] ~ /OpenFileOfMiB.*_median/) peak = f[n] } }
    NR > 1 { gsub(/"/, "", $1); ms = $3; if ($5 == "us") ms = $3 / 1000
        if ($1 ~ /OpenFileOfMiB\/16.*_median/) o16 = ms
        else if ($1 ~ /OpenFileOfMiB\/64.*_median/) o64 = ms
        else if ($1 ~ /OpenFileOfMiB/) next
        else if ($1 ~ /OpenFileOfKiB/) o64k = ms
        else if ($1 ~ /Keystroke/) key = ms
        else if ($1 ~ /DownArrow\/10$/) d10 = ms / 2
        else if ($1 ~ /DownArrow/) dlast = ms / 2
        else if ($1 ~ /Empty/) empty = ms
        else if ($1 ~ /Close/) closing = ms }
    END {
        printf "%-34s %10.2f %12s %10s\n", "editor Open 64 KiB, grid painted", o64k, "-", ""
        printf "%-34s %10.0f %12s %10s\n", "editor Open 16 MiB, grid painted", o16, "-", ""
        printf "%-34s %10.0f %12s %10s\n", "editor Open 64 MiB, grid painted", o64, "-", ""
        printf "%-34s %10s %12s %10s\n", "editor Open 16 -> 64 MiB growth", "", "", sprintf("%.2fx", o64 / o16)
        printf "%-34s %10s %12s %10s\n", "editor peak / 64 MiB file", "", sprintf("%.2fx", peak), ""
        printf "%-34s %10.3f %12s %10s\n", "editor keystroke, last row", key, "-", ""
        printf "%-34s %10.2f %12s %10s\n", "editor Down arrow, row 10", d10, "-", ""
        printf "%-34s %10.2f %12s %10s\n", "editor Down arrow, row 799,990", dlast, "-", ""
        printf "%-34s %10.2f %12s %10s\n", "editor emptying 800,000 rows", empty, "-", ""
        printf "%-34s %10.2f %12s %10s\n", "editor closing with 800,000 rows", closing, "-", ""
    }' "$tmp/grid.csv"
