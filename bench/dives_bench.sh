#!/usr/bin/env bash
# What -dives costs: converts the benchmark image plainly, with the dive table, and with the dive
# table of zero-offset corrected depths (-dives -zoc auto), in turn, and compares the median times
# (wall clock, and user + system CPU time, which a shared machine disturbs less) and the peak
# memory; then times the quick look on the converted files.
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

plain=() dives=() zoc=() plain_cpu=() dives_cpu=() zoc_cpu=() plain_kib=0 dives_kib=0 zoc_kib=0
for ((i = 1; i <= runs; i++)); do
  read -r s k c < <(timed "$build/Skelv" "$image")
  plain+=("$s") plain_cpu+=("$c") plain_kib=$((k > plain_kib ? k : plain_kib))
  read -r s k c < <(timed "$build/Skelv" "$image" -dives)
  dives+=("$s") dives_cpu+=("$c") dives_kib=$((k > dives_kib ? k : dives_kib))
  read -r s k c < <(timed "$build/Skelv" "$image" -dives -zoc auto)
  zoc+=("$s") zoc_cpu+=("$c") zoc_kib=$((k > zoc_kib ? k : zoc_kib))
done
n_zoc=$(($(wc -l < "$work/bench${size_mib}_dives.txt") - 1))
"$build/Skelv" "$image" -dives > /dev/null
read -r ql_s ql_kib ql_cpu < <(timed "$build/skelv-quicklook" "$image")
p=$(printf '%s\n' "${plain[@]}" | median)
d=$(printf '%s\n' "${dives[@]}" | median)
z=$(printf '%s\n' "${zoc[@]}" | median)
pc=$(printf '%s\n' "${plain_cpu[@]}" | median)
dc=$(printf '%s\n' "${dives_cpu[@]}" | median)
zc=$(printf '%s\n' "${zoc_cpu[@]}" | median)
awk -v p="$p" -v d="$d" -v z="$z" -v ps="${plain[*]}" -v ds="${dives[*]}" -v zs="${zoc[*]}" -v r="$runs" \
    -v q="$ql_s" -v k="$ql_kib" -v pc="$pc" -v dc="$dc" -v zc="$zc" -v qc="$ql_cpu" \
    -v pk="$plain_kib" -v dk="$dives_kib" -v zk="$zoc_kib" -v nz="$n_zoc" \
    -v n="$(($(wc -l < "$work/bench${size_mib}_dives.txt") - 1))" \
    -v page="$(stat -c %s "$work/bench${size_mib}_quicklook.html")" 'BEGIN {
  printf "Skelv                   %.2f s median of %d runs (%s), CPU %.2f s, peak %.1f MiB\n", p, r, ps, pc, pk / 1024
  printf "Skelv -dives            %.2f s median of %d runs (%s), CPU %.2f s, peak %.1f MiB, %d dives\n", d, r, ds, dc, dk / 1024, n
  printf "Skelv -dives -zoc auto  %.2f s median of %d runs (%s), CPU %.2f s, peak %.1f MiB, %d dives\n", z, r, zs, zc, zk / 1024, nz
  printf "extra, -dives           %+.1f %% wall, %+.1f %% CPU\n", (d / p - 1) * 100, (dc / pc - 1) * 100
  printf "extra, -dives -zoc auto %+.1f %% wall, %+.1f %% CPU\n", (z / p - 1) * 100, (zc / pc - 1) * 100
  printf "quick look              %.2f s wall, %.2f s CPU, %.1f MiB resident, page %.2f MB\n", q, qc, k / 1024, page / 1e6
}'
