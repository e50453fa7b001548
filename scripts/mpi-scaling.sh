#!/bin/bash
# Two MPI ranks against one process on a job of 10,008 tasks: the example job
# of examples/batch (3 zones x 4 branches) with 833 replicates. Prints the
# load, the start-up of mpirun (the example job without replicates: 12
# tasks), the wall and CPU times (user + sys of every process) of each run,
# and the ratios; checks that both runs wrote the same bytes.
#   scripts/mpi-scaling.sh [BUILD_DIR] [REPEATS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
repeats=${2:-3}
batch=$build/qev-batch
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/examples/batch/{japan,png,tonga}.toml \
   "$root"/examples/batch/usgs_japan_png_tonga_m5_2022_2024.csv "$work"
sed 's/^replicates = 100$/replicates = 833/' "$root/examples/batch/national.toml" > "$work/n10k.toml"
sed 's/^replicates = 100$/replicates = 0/' "$root/examples/batch/national.toml" > "$work/trivial.toml"
cd "$work"
mpirun=(mpirun --allow-run-as-root --oversubscribe -np 2)

# wall user sys of a command, its output thrown away
measure() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" > /dev/null 2>&1 || true
  cat "$work/time"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "tasks: $(( 3 * 4 * 834 ))"
for r in $(seq "$repeats"); do
  echo "repeat $r: load $(cut -d' ' -f1-3 /proc/loadavg)"
  read -r sw su ss < <(measure "${mpirun[@]}" "$batch" -q -o startup trivial.toml)
  read -r ow ou os < <(measure "$batch" -q --jobs 1 -o one n10k.toml)
  read -r mw mu ms < <(measure "${mpirun[@]}" "$batch" -q -o mpi n10k.toml)
  diff -r one mpi > /dev/null || { echo "the two runs differ"; exit 1; }
  awk -v sw="$sw" -v su="$su" -v ss="$ss" -v ow="$ow" -v ou="$ou" -v os="$os" -v mw="$mw" -v mu="$mu" -v ms="$ms" 'BEGIN {
    sc = su + ss
    printf "  mpirun start-up (3 zones x 4 branches, 12 tasks): %.2f s wall, %.2f s CPU\n", sw, sc
    printf "  one process: %.2f s wall, %.2f s CPU\n", ow, ou + os
    printf "  2 ranks:     %.2f s wall, %.2f s CPU\n", mw, mu + ms
    printf "  speed-up %.2f (%.2f without the start-up); CPU of 2 ranks / one process %.2f",
           ow / mw, ow / (mw - sw), (mu + ms) / (ou + os)
    printf " (%.2f without the start-up)\n", (mu + ms - sc) / (ou + os) }'
  echo "  load after: $(cut -d' ' -f1-3 /proc/loadavg)"
done
