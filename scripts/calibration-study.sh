#!/bin/bash
# The calibration study of docs/method.md: four standard designs, each drawn
# 1000 times and analysed with the classic intervals (Cramer and Bayes), then
# 200 times with parametric-bootstrap intervals (100 replicates each, Cramer;
# the inverted, studentized and basic intervals from the same replicates).
# Writes docs/figures/calibration-<design>[-bootstrap].{csv,svg} and prints
# the table of docs/method.md. PARTS: all (the default), or bootstrap to
# redo the bootstrap half only (the classic half keeps its files).
#   scripts/calibration-study.sh [BUILD_DIR] [THREADS] [PARTS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
threads=${2:-2}
parts=${3:-all}
tool=$build/qev-calibrate
out=$here/docs/figures
[ -x "$tool" ] || { echo "no $tool: build the target qev-calibrate first" >&2; exit 1; }

law=(--b 0.9 --lambda 10 --mmin 4 --mmax 7)
declare -A designs=(
  [complete]="--complete 1900:1959,threshold=5,sd=0.2 --complete 1960:1999,threshold=4.5,sd=0.1"
  [extreme]="--extreme 1600:1899,window=3,threshold=4.6,sd=0.3"
  [example]="--extreme 1600:1899,window=3,threshold=4.6,sd=0.3 --complete 1900:1959,threshold=5,sd=0.2 --complete 1960:1999,threshold=4.5,sd=0.1"
  [historical]="--extreme 1700:1969,window=10,sd=0.4 --complete 1970:1999,threshold=4.5,sd=0.1"
)
for name in complete extreme example historical; do
  if [ "$parts" = all ]; then
    # shellcheck disable=SC2086
    "$tool" "${law[@]}" ${designs[$name]} --catalogs 1000 --threads "$threads" \
      --procedures cramer,bayes,fixed --out "$out/calibration-$name" \
      --title "$name: 1000 catalogs, classic intervals" >/dev/null
  fi
  # shellcheck disable=SC2086
  "$tool" "${law[@]}" ${designs[$name]} --catalogs 200 --threads "$threads" \
    --procedures cramer --bootstrap 100 --intervals inverted,studentized,basic \
    --out "$out/calibration-$name-bootstrap" \
    --title "$name: 200 catalogs, bootstrap intervals (100 replicates)" >/dev/null
  rm -f "$out/calibration-$name-estimates.csv" "$out/calibration-$name-bootstrap-estimates.csv"
done

echo "| design | procedure | intervals | quantity | mean (truth) | bias in SD | within 68 % | within 95 % | flagged |"
echo "|---|---|---|---|---|---|---|---|---|"
for name in complete extreme example historical; do
  for file in "$out/calibration-$name.csv" "$out/calibration-$name-bootstrap.csv"; do
    tail -n +2 "$file" | while IFS=, read -r proc iv q truth n failed mean bias bsd rmse c68 c95 flagged; do
      if [[ $file == *bootstrap* && $iv == reported ]]; then continue; fi
      shown=$([[ $iv == reported ]] && echo "" || echo "$(echo "$flagged*100" | bc | cut -d. -f1) %")
      printf '| %s | %s | %s | %s | %s (%s) | %+.2f | %.0f %% | %.0f %% | %s |\n' "$name" "$proc" "$iv" \
        "$q" "$mean" "$truth" "$bsd" "$(echo "$c68*100" | bc)" "$(echo "$c95*100" | bc)" "$shown"
    done
  done
done
