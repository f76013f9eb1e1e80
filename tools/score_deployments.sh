#!/usr/bin/env bash
# Scores Skelv's dive table on realistic generated deployments: for each seed, writes a
# deployment with skelv-make-deployment, converts it with `Skelv IMAGE -dives SWITCHES...` and
# scores the table against the true dives with skelv-score-dives; prints a line per seed and the
# totals.
#
#   tools/score_deployments.sh FIRST_SEED COUNT DAYS [SKELV SWITCHES...]
#
# Seeds 1 to 999 are for tuning, seeds from 1000 on for measuring (README). BUILD (default
# build) is the folder with the programs; the files go to a scratch folder that is removed.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 FIRST_SEED COUNT DAYS [SKELV SWITCHES...]" >&2
  exit 1
fi
first=$1 count=$2 days=$3
shift 3
build=$(cd "${BUILD:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ((seed = first; seed < first + count; seed++)); do
  "$build/skelv-make-deployment" "$work/d.bin" "$work/truth.txt" --seed "$seed" --days "$days" > "$work/made.txt"
  "$build/Skelv" "$work/d.bin" -dives "$@" > /dev/null
  line=$("$build/skelv-score-dives" "$work/truth.txt" "$work/d_dives.txt" || true)
  echo "seed $seed: $line ($(sed 's/.*a sample every \([0-9]*\) s, regime \([0-9]\).*/every \1 s, regime \2/' "$work/made.txt"))"
done | tee "$work/all.txt"
# Fields: seed N: true T found F missed M false X errors E (...) worst start S s end E s depth D m
awk '{ t += $4; f += $6; m += $8; x += $10; e += $12; if ($27 > d) d = $27 } END {
  printf "%d seeds: true %d found %d (%.2f %%) missed %d false %d errors %d, worst depth difference %.3f m\n",
         NR, t, f, t ? 100 * f / t : 0, m, x, e, d }' "$work/all.txt"
