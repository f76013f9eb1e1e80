#!/usr/bin/env bash
# Damage benchmark on the images of two generators, each damaged IMAGES_PER_KIND times per kind
# of damage with the same seed; prints the undamaged check and the table of each.
#   benchmark generator: one image of 1 MiB and three of 256 KiB (tools/make_bench_image.cpp)
#   valid-image generator: realistic images of the same sizes ending in erased memory
#   (tools/valid), each checked to decode cleanly first
#
#   tools/damage_bench.sh [IMAGES_PER_KIND] [SEED]      (defaults: 200, 12)
set -euo pipefail
per_kind=${1:-200}
seed=${2:-12}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
work=${BENCH_DIR:-$build/damage-data}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKELV_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target Skelv skelv-make-bench-image skelv-valid-image skelv-damage-bench > /dev/null
mkdir -p "$work"
"$build/skelv-make-bench-image" "$work/base0.bin" 1 > /dev/null
for s in 1 2 3; do "$build/skelv-make-bench-image" "$work/base$s.bin" 256k "$s" > /dev/null; done
"$build/skelv-valid-image" 0 "$work/valid0.bin" --kind realistic --size 1024k --end erased --check "$build/Skelv" > /dev/null
for s in 1 2 3; do
  "$build/skelv-valid-image" "$s" "$work/valid$s.bin" --kind realistic --size 256k --end erased --check "$build/Skelv" > /dev/null
done
"$build/skelv-damage-bench" "$build/Skelv" "$work" "$per_kind" "$seed" \
  --group "benchmark generator (tools/make_bench_image.cpp)" \
  "$work/base0.bin" "$work/base1.bin" "$work/base2.bin" "$work/base3.bin" \
  --group "valid-image generator, realistic (tools/valid)" \
  "$work/valid0.bin" "$work/valid1.bin" "$work/valid2.bin" "$work/valid3.bin"
