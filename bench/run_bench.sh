#!/usr/bin/env bash
# End-to-end benchmark: builds a mixed benchmark image, converts it with Skelv several times and
# compares the median time with the write floor (cat copying the produced output files into one
# new file on the same disk, measured in the same run).
#
#   bench/run_bench.sh [SIZE_MIB] [RUNS]      (defaults: 256 MiB, 5 runs)
set -euo pipefail
size_mib=${1:-256}
runs=${2:-5}
. "$(dirname "$0")/bench_image.sh"
outputs=("$work/bench${size_mib}_tdr.txt" "$work/bench${size_mib}_ctd.txt" \
         "$work/bench${size_mib}_gps.txt" "$work/bench${size_mib}_accel.txt")

skelv_times=()
floor_times=()
peak_kib=0
for ((i = 1; i <= runs; i++)); do
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$build/Skelv" "$image" > "$work/console.txt"
  read -r secs kib < "$work/time.txt"
  skelv_times+=("$secs")
  (( kib > peak_kib )) && peak_kib=$kib
  rm -f "$work/floor.txt"
  /usr/bin/time -f "%e" -o "$work/time.txt" sh -c 'cat "$@" > "$0"' "$work/floor.txt" "${outputs[@]}"
  floor_times+=("$(cat "$work/time.txt")")
  rm -f "$work/floor.txt"
done

input_bytes=$(stat -c %s "$image")
output_bytes=$(cat "${outputs[@]}" 2> /dev/null | wc -c)
lines=$(cat "${outputs[@]}" 2> /dev/null | wc -l)
skelv_med=$(printf '%s\n' "${skelv_times[@]}" | median)
floor_med=$(printf '%s\n' "${floor_times[@]}" | median)
awk -v ib="$input_bytes" -v ob="$output_bytes" -v l="$lines" -v s="$skelv_med" -v f="$floor_med" \
    -v k="$peak_kib" -v r="$runs" -v ts="${skelv_times[*]}" -v fs="${floor_times[*]}" 'BEGIN {
  printf "image          %.1f MiB in, %.1f MiB out (%.1fx), %d lines\n", ib / 1048576, ob / 1048576, ob / ib, l
  printf "Skelv          %.2f s median of %d runs (%s)\n", s, r, ts
  printf "input          %.1f MB/s\n", ib / 1e6 / s
  printf "output lines   %.2f million lines/s\n", l / 1e6 / s
  printf "peak memory    %.1f MiB resident\n", k / 1024
  printf "write floor    %.2f s median (cat of the outputs into one new file: %s)\n", f, fs
  printf "ratio          %.2f x the write floor\n", s / f
}'
