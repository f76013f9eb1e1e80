# Sourced by the benchmark scripts: builds a Release Skelv (and the TARGETS given in $targets) in
# $build, writes the benchmark image of $size_mib MiB once to $image, and defines `median`.
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
work=${BENCH_DIR:-$build/bench-data}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKELV_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target Skelv skelv-make-bench-image ${targets:-} > /dev/null
mkdir -p "$work"
image="$work/bench${size_mib}.bin"
[ -f "$image" ] || "$build/skelv-make-bench-image" "$image" "$size_mib" > /dev/null

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
