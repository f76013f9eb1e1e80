#!/usr/bin/env bash
# NetCDF benchmark: converts the benchmark image alternately without and with -netcdf (and, when
# given, with a reference Skelv without -netcdf, and with an earlier Skelv with -netcdf) and
# prints medians of wall and processor time, peak memory and sizes, and how cdo reads the files.
#
#   bench/run_netcdf_bench.sh [SIZE_MIB] [RUNS] [REFERENCE_SKELV] [EARLIER_SKELV]
#   (defaults: 256 MiB, 3 runs; give "" for no reference)
set -euo pipefail
size_mib=${1:-256}
runs=${2:-3}
reference=${3:-}
earlier=${4:-}
. "$(dirname "$0")/bench_image.sh"
base="$work/bench${size_mib}"

timed() {  # label, command...: appends "secs kib cpu_secs" to $work/$label.times
  local label=$1; shift
  /usr/bin/time -f "%e %M %U %S" -o "$work/time.txt" "$@" > /dev/null
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/time.txt" > "$work/time1.txt"
  mv "$work/time1.txt" "$work/time.txt"
  cat "$work/time.txt" >> "$work/$label.times"
}

rm -f "$work"/*.times
for ((i = 1; i <= runs; i++)); do
  [ -n "$reference" ] && timed reference "$reference" "$image"
  rm -f "$base"_*.nc
  if [ -n "$earlier" ]; then
    timed earlier "$earlier" "$image" -netcdf
    rm -f "$base"_*.nc
  fi
  timed plain "$build/Skelv" "$image"
  timed netcdf "$build/Skelv" "$image" -netcdf
done

for label in reference plain earlier netcdf; do
  [ -f "$work/$label.times" ] || continue
  secs=$(cut -d' ' -f1 "$work/$label.times" | median)
  cpu=$(cut -d' ' -f3 "$work/$label.times" | median)
  kib=$(cut -d' ' -f2 "$work/$label.times" | sort -g | tail -1)
  printf '%-10s %6.2f s median of %d (%s), CPU %.2f s, peak %.1f MiB\n' "$label" "$secs" "$runs" \
    "$(cut -d' ' -f1 "$work/$label.times" | tr '\n' ' ')" "$cpu" "$(echo "$kib / 1024" | bc -l)"
done
txt=$(cat "$base"_tdr.txt "$base"_ctd.txt "$base"_gps.txt "$base"_accel.txt | wc -c)
nc=$(cat "$base"_*.nc | wc -c)
ls -l "$base"_*.txt "$base"_*.nc
printf 'text files %.1f MiB, NetCDF files %.1f MiB (%.2f of the text)\n' \
  "$(echo "$txt / 1048576" | bc -l)" "$(echo "$nc / 1048576" | bc -l)" "$(echo "$nc / $txt" | bc -l)"
md5sum "$base"_tdr.txt "$base"_ctd.txt "$base"_gps.txt "$base"_accel.txt
# cdo is made for grids: on these files it must finish (or refuse) within 1 GiB and 30 s.
if command -v cdo > /dev/null; then
  for f in "$base"_*.nc; do
    ( ulimit -v 1048576; /usr/bin/time -o "$work/time.txt" -f "cdo sinfon $(basename "$f"): exit %x, %e s, %M KiB" \
        timeout 30 cdo -s sinfon "$f" > /dev/null 2>&1 ) || true
    cat "$work/time.txt"
  done
fi
