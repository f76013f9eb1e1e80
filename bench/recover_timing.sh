#!/usr/bin/env bash
# Cost of -recover on an undamaged image: converts the mixed benchmark image with and without
# -recover, alternately in the same run, and prints the median times and their ratio.
#
#   bench/recover_timing.sh [SIZE_MIB] [RUNS]      (defaults: 256 MiB, 5 runs of each)
set -euo pipefail
size_mib=${1:-256}
runs=${2:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
work=${BENCH_DIR:-$build/bench-data}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKELV_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target Skelv skelv-make-bench-image > /dev/null
mkdir -p "$work"
image="$work/bench${size_mib}.bin"
[ -f "$image" ] || "$build/skelv-make-bench-image" "$image" "$size_mib" > /dev/null

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

plain=()
recover=()
for ((i = 1; i <= runs; i++)); do
  /usr/bin/time -f "%e" -o "$work/time.txt" "$build/Skelv" "$image" > "$work/plain.txt"
  plain+=("$(cat "$work/time.txt")")
  /usr/bin/time -f "%e" -o "$work/time.txt" "$build/Skelv" "$image" -recover > "$work/recover.txt"
  recover+=("$(cat "$work/time.txt")")
  cmp -s "$work/plain.txt" "$work/recover.txt" || { echo "-recover changed the console output" >&2; exit 1; }
done
p=$(printf '%s\n' "${plain[@]}" | median)
r=$(printf '%s\n' "${recover[@]}" | median)
echo "image: $(stat -c %s "$image") bytes, $runs runs each, alternating"
echo "plain:    ${plain[*]}  median $p s"
echo "-recover: ${recover[*]}  median $r s"
awk -v p="$p" -v r="$r" 'BEGIN { printf "-recover / plain: %.3f\n", r / p }'
