#!/usr/bin/env bash
# Damage benchmark: the benchmark generator's image (1 MiB) and three smaller ones (256 KiB),
# each damaged IMAGES_PER_KIND times per kind of damage with a fixed seed; prints the table.
#
#   tools/damage_bench.sh [IMAGES_PER_KIND] [SEED]      (defaults: 200, 12)
set -euo pipefail
per_kind=${1:-200}
seed=${2:-12}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
work=${BENCH_DIR:-$build/damage-data}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKELV_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target Skelv skelv-make-bench-image skelv-damage-bench > /dev/null
mkdir -p "$work"
"$build/skelv-make-bench-image" "$work/base0.bin" 1 > /dev/null
for s in 1 2 3; do "$build/skelv-make-bench-image" "$work/base$s.bin" 256k "$s" > /dev/null; done
"$build/skelv-damage-bench" "$build/Skelv" "$work" "$per_kind" "$seed" \
  "$work/base0.bin" "$work/base1.bin" "$work/base2.bin" "$work/base3.bin"
