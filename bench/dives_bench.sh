#!/usr/bin/env bash
# What -dives costs: converts the benchmark image with and without the dive table, alternately,
# and compares the median times (wall clock, and user + system CPU time, which a shared machine
# disturbs less); then times the quick look on the converted files.
#
#   bench/dives_bench.sh [SIZE_MIB] [RUNS]      (defaults: 256 MiB, 5 runs of each)
set -euo pipefail
size_mib=${1:-256}
runs=${2:-5}
targets="skelv-quicklook"
. "$(dirname "$0")/bench_image.sh"

# Prints wall seconds, peak KiB and CPU seconds (user + system).
timed() {
  /usr/bin/time -f "%e %M %U %S" -o "$work/time.txt" "$@" > /dev/null
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/time.txt"
}

plain=() dives=() plain_cpu=() dives_cpu=()
for ((i = 1; i <= runs; i++)); do
  read -r s _ c < <(timed "$build/Skelv" "$image")
  plain+=("$s") plain_cpu+=("$c")
  read -r s _ c < <(timed "$build/Skelv" "$image" -dives)
  dives+=("$s") dives_cpu+=("$c")
done
read -r ql_s ql_kib ql_cpu < <(timed "$build/skelv-quicklook" "$image")
p=$(printf '%s\n' "${plain[@]}" | median)
d=$(printf '%s\n' "${dives[@]}" | median)
pc=$(printf '%s\n' "${plain_cpu[@]}" | median)
dc=$(printf '%s\n' "${dives_cpu[@]}" | median)
awk -v p="$p" -v d="$d" -v ps="${plain[*]}" -v ds="${dives[*]}" -v r="$runs" -v q="$ql_s" -v k="$ql_kib" \
    -v pc="$pc" -v dc="$dc" -v qc="$ql_cpu" \
    -v n="$(($(wc -l < "$work/bench${size_mib}_dives.txt") - 1))" \
    -v page="$(stat -c %s "$work/bench${size_mib}_quicklook.html")" 'BEGIN {
  printf "Skelv          %.2f s median of %d runs (%s)\n", p, r, ps
  printf "Skelv -dives   %.2f s median of %d runs (%s), %d dives\n", d, r, ds, n
  printf "extra          %+.1f %% wall; CPU %.2f s against %.2f s, %+.1f %%\n", (d / p - 1) * 100, dc, pc, (dc / pc - 1) * 100
  printf "quick look     %.2f s wall, %.2f s CPU, %.1f MiB resident, page %.2f MB\n", q, qc, k / 1024, page / 1e6
}'
