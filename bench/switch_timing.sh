#!/usr/bin/env bash
# What each switch costs: converts the benchmark image in turn plainly (also with an EARLIER
# Skelv, when given), with -recover, with -dives -zoc auto and with -netcdf, RUNS times each, and
# prints per run the median wall-clock time, CPU time (user + system, and each apart: the system
# time is mostly the kernel taking the outputs into its page cache) and peak resident size, each
# against the plain run's. Also checks that the four text files are the same in every run, and
# prints how much of the last -netcdf run's NetCDF files the page cache still holds.
#
#   bench/switch_timing.sh [SIZE_MIB] [RUNS] [EARLIER_SKELV]      (defaults: 256 MiB, 3 runs)
set -euo pipefail
size_mib=${1:-256}
runs=${2:-3}
earlier=${3:-}
. "$(dirname "$0")/bench_image.sh"

configs=("plain|" "-recover|-recover" "-dives -zoc auto|-dives -zoc auto" "-netcdf|-netcdf")
[ -n "$earlier" ] && configs=("earlier|" "${configs[@]}")
declare -A wall cpu user sys peak
sum=""
cd "$work"
for ((i = 1; i <= runs; i++)); do
  for config in "${configs[@]}"; do
    name=${config%%|*} switches=${config#*|}
    exe=$build/Skelv
    [ "$name" = earlier ] && exe=$earlier
    rm -f "bench${size_mib}"_*
    # shellcheck disable=SC2086
    /usr/bin/time -f "%e %U %S %M" -o time.txt "$exe" "$image" $switches > console.txt
    read -r e u s m < time.txt
    wall[$name]+="$e " user[$name]+="$u " sys[$name]+="$s " cpu[$name]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') " peak[$name]+="$m "
    text=$(cat "bench${size_mib}"_{tdr,ctd,gps,accel}.txt | md5sum)
    [ -z "$sum" ] && sum=$text
    [ "$text" = "$sum" ] || { echo "$name: the text files differ from the first run's" >&2; exit 1; }
  done
done
m() { printf '%s\n' $1 | median; }
pw=$(m "${wall[plain]}") pc=$(m "${cpu[plain]}") pu=$(m "${user[plain]}") ps=$(m "${sys[plain]}")
echo "image: $(stat -c %s "$image") bytes, $runs runs each, in turn"
for config in "${configs[@]}"; do
  name=${config%%|*}
  awk -v n="$name" -v w="$(m "${wall[$name]}")" -v c="$(m "${cpu[$name]}")" -v p="$(m "${peak[$name]}")" \
    -v u="$(m "${user[$name]}")" -v s="$(m "${sys[$name]}")" -v pw="$pw" -v pc="$pc" -v pu="$pu" -v ps="$ps" \
    'BEGIN { printf "%-18s wall %6.2f s (%.3f)  CPU %6.2f s (%.3f): user %5.2f s (%.3f), system %5.2f s (%.3f)  peak %6.1f MiB\n",
                    n, w, w / pw, c, c / pc, u, u / pu, s, s / ps, p / 1024 }'
done
held=$(fincore -b -n -o RES "bench${size_mib}"_*.nc | awk '{ s += $1 } END { print s / 1048576 }')
size=$(stat -c %s "bench${size_mib}"_*.nc | awk '{ s += $1 } END { print s / 1048576 }')
printf 'page cache held by the last -netcdf run'"'"'s NetCDF files after it: %.1f MiB of their %.1f MiB\n' "$held" "$size"
