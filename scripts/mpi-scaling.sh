#!/bin/bash
# Two MPI ranks against one process on a job of 10,008 tasks: the example job
# of examples/batch (3 zones x 4 branches) with 833 replicates. Prints the
# load, the start-up of mpirun (the example job without replicates, 12 tasks,
# under mpirun less the same job on one process: what MPI adds), the wall and
# CPU times (user + sys of every process) of each run, and the ratios; checks
# that both runs wrote the same bytes. Each run of two
# ranks is made twice: with Open MPI's defaults, and with its point-to-point
# layer named (--mca pml ob1), which spares the probing of the other
# networks' layers at MPI_Init (about 0.2 s here; a cluster with such a
# network keeps its own choice), with its own start-up.
#   scripts/mpi-scaling.sh [BUILD_DIR] [REPEATS] [REPLICATES...]
# REPLICATES: further, heavier jobs (the same job with that many replicates,
# 12 x (REPLICATES + 1) tasks), each measured and labelled after the first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
repeats=${2:-3}
shift $(($# < 2 ? $# : 2))
batch=$build/qev-batch
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/examples/batch/{japan,png,tonga}.toml \
   "$root"/examples/batch/usgs_japan_png_tonga_m5_2022_2024.csv "$work"
sed 's/^replicates = 100$/replicates = 0/' "$root/examples/batch/national.toml" > "$work/trivial.toml"
cd "$work"
mpirun=(mpirun --allow-run-as-root --oversubscribe -np 2)
ob1=(--mca pml ob1)

# wall user sys of a command, its output thrown away
measure() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" > /dev/null 2>&1 || true
  cat "$work/time"
}

# One repeat on the job of $1 replicates.
compare() {
  local replicates=$1 job="r$1.toml"
  sed "s/^replicates = 100\$/replicates = $replicates/" "$root/examples/batch/national.toml" > "$job"
  read -r tw tu ts < <(measure "$batch" -q --jobs 1 -o startup trivial.toml)
  rm -rf startup
  read -r sw su ss < <(measure "${mpirun[@]}" "$batch" -q -o startup trivial.toml)
  rm -rf startup
  read -r bw bu bs < <(measure "${mpirun[@]}" "${ob1[@]}" "$batch" -q -o startup trivial.toml)
  rm -rf startup
  sw=$(awk -v a="$sw" -v b="$tw" 'BEGIN {print a - b}')
  bw=$(awk -v a="$bw" -v b="$tw" 'BEGIN {print a - b}')
  su=$(awk -v a="$su" -v b="$tu" 'BEGIN {print a - b}')
  bu=$(awk -v a="$bu" -v b="$tu" 'BEGIN {print a - b}')
  ss=$(awk -v a="$ss" -v b="$ts" 'BEGIN {print a - b}')
  bs=$(awk -v a="$bs" -v b="$ts" 'BEGIN {print a - b}')
  read -r ow ou os < <(measure "$batch" -q --jobs 1 -o one "$job")
  read -r mw mu ms < <(measure "${mpirun[@]}" "$batch" -q -o mpi "$job")
  diff -r one mpi > /dev/null || { echo "the two runs differ"; exit 1; }
  rm -rf mpi
  read -r nw nu ns < <(measure "${mpirun[@]}" "${ob1[@]}" "$batch" -q -o mpi "$job")
  diff -r one mpi > /dev/null || { echo "the two runs differ (pml ob1)"; exit 1; }
  rm -rf one mpi
  awk -v ow="$ow" -v oc="$(echo "$ou $os" | awk '{print $1 + $2}')" \
      -v sw="$sw" -v sc="$(echo "$su $ss" | awk '{print $1 + $2}')" \
      -v mw="$mw" -v mc="$(echo "$mu $ms" | awk '{print $1 + $2}')" \
      -v bw="$bw" -v bc="$(echo "$bu $bs" | awk '{print $1 + $2}')" \
      -v nw="$nw" -v nc="$(echo "$nu $ns" | awk '{print $1 + $2}')" 'BEGIN {
    printf "  one process: %.2f s wall, %.2f s CPU\n", ow, oc
    printf "  defaults: mpirun start-up (the 12 tasks under mpirun less on one process) %.2f s wall, %.2f s CPU\n", sw, sc
    printf "    2 ranks: %.2f s wall, %.2f s CPU; speed-up %.2f (%.2f without the start-up);", mw, mc, ow / mw, ow / (mw - sw)
    printf " CPU of 2 ranks / one process %.2f\n", mc / oc
    printf "  pml ob1: mpirun start-up %.2f s wall, %.2f s CPU\n", bw, bc
    printf "    2 ranks: %.2f s wall, %.2f s CPU; speed-up %.2f (%.2f without the start-up);", nw, nc, ow / nw, ow / (nw - bw)
    printf " CPU of 2 ranks / one process %.2f\n", nc / oc }'
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
for replicates in 833 "$@"; do
  label="the example job with $replicates replicates"
  [ "$replicates" = 833 ] || label="a heavier job: $label"
  echo "$label: $((12 * (replicates + 1))) tasks"
  for r in $(seq "$repeats"); do
    echo " repeat $r: load $(cut -d' ' -f1-3 /proc/loadavg)"
    compare "$replicates"
    echo "  load after: $(cut -d' ' -f1-3 /proc/loadavg)"
  done
done
