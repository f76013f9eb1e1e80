#!/usr/bin/env bash
# Cost of -recover on an undamaged image: converts the mixed benchmark image with and without
# -recover, alternately in the same run, and prints the median wall-clock and CPU (user + system)
# times and their ratios. On a shared machine the CPU times are the steadier measure.
#
#   bench/recover_timing.sh [SIZE_MIB] [RUNS]      (defaults: 256 MiB, 5 runs of each)
set -euo pipefail
size_mib=${1:-256}
runs=${2:-5}
. "$(dirname "$0")/bench_image.sh"

plain=() recover=() plain_cpu=() recover_cpu=()
timed() {  # wall-clock seconds, then user + system seconds, of one conversion
  /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$build/Skelv" "$image" "$@" > "$work/console$#.txt"
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/time.txt"
}
for ((i = 1; i <= runs; i++)); do
  read -r wall cpu < <(timed)
  plain+=("$wall") plain_cpu+=("$cpu")
  read -r wall cpu < <(timed -recover)
  recover+=("$wall") recover_cpu+=("$cpu")
  cmp -s "$work/console0.txt" "$work/console1.txt" || { echo "-recover changed the console output" >&2; exit 1; }
done
show() {  # name, then the times
  local name=$1
  shift
  echo "$name $*  median $(printf '%s\n' "$@" | median) s"
}
echo "image: $(stat -c %s "$image") bytes, $runs runs each, alternating"
show "plain wall:    " "${plain[@]}"
show "-recover wall: " "${recover[@]}"
show "plain CPU:     " "${plain_cpu[@]}"
show "-recover CPU:  " "${recover_cpu[@]}"
p=$(printf '%s\n' "${plain[@]}" | median) r=$(printf '%s\n' "${recover[@]}" | median)
pc=$(printf '%s\n' "${plain_cpu[@]}" | median) rc=$(printf '%s\n' "${recover_cpu[@]}" | median)
awk -v p="$p" -v r="$r" -v pc="$pc" -v rc="$rc" \
  'BEGIN { printf "-recover / plain: wall %.3f, CPU %.3f\n", r / p, rc / pc }'
