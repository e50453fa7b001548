#!/bin/bash
# Two MPI ranks against one process on a job of 10,008 tasks: the example job
# of examples/batch (3 zones x 4 branches) with 833 replicates.
#   scripts/mpi-scaling.sh [BUILD_DIR] [REPEATS] [REPLICATES...]
# Each repeat runs, in turn: the one process (--jobs 1; its writer thread may
# use the second core), the one process held to one core (taskset -c 0), two
# ranks under Open MPI's defaults, two ranks with the point-to-point layer
# named (--mca pml ob1, which spares the probing of other networks' layers at
# MPI_Init; a cluster with such a network keeps its own choice), and the
# start-up of mpirun: the example job without replicates (12 tasks) under
# mpirun less the same job on one process. It prints each repeat's wall and
# CPU times (user + sys of every process) and checks that every run wrote
# the same bytes; then, over the repeats, the median of each time and of each
# repeat's ratios, with and without the start-up. The machine's speed drifts
# (other machines share the host): ratios taken within a repeat hold better
# than times, and the medians of many repeats better than one.
# REPLICATES: further jobs (the same job with that many replicates,
# 12 x (REPLICATES + 1) tasks), each measured after the first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
repeats=${2:-5}
shift $(($# < 2 ? $# : 2))
batch=$build/qev-batch
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/examples/batch/{japan,png,tonga}.toml \
   "$root"/examples/batch/usgs_japan_png_tonga_m5_2022_2024.csv "$work"
sed 's/^replicates = 100$/replicates = 0/' "$root/examples/batch/national.toml" > "$work/trivial.toml"
cd "$work"
mpirun=(mpirun --allow-run-as-root --oversubscribe -np 2)

# "wall cpu" of a command writing into folder $1, its output thrown away.
measure() {
  rm -rf "$1"
  /usr/bin/time -f '%e %U %S' -o "$work/time" "${@:2}" > /dev/null 2>&1 || true
  awk '{printf "%s %.2f", $1, $2 + $3}' "$work/time"
}

# One repeat on the job $1: a line of seven "wall cpu" pairs.
repeat() {
  local job=$1
  echo "$(measure one "$batch" -q --jobs 1 -o one "$job")" \
       "$(measure core taskset -c 0 "$batch" -q --jobs 1 -o core "$job")" \
       "$(measure mpi "${mpirun[@]}" "$batch" -q -o mpi "$job")" \
       "$(measure ob1 "${mpirun[@]}" --mca pml ob1 "$batch" -q -o ob1 "$job")" \
       "$(measure trivial "$batch" -q --jobs 1 -o trivial trivial.toml)" \
       "$(measure startup "${mpirun[@]}" "$batch" -q -o startup trivial.toml)" \
       "$(measure startob1 "${mpirun[@]}" --mca pml ob1 "$batch" -q -o startob1 trivial.toml)"
  for run in core mpi ob1; do
    diff -r one "$run" > /dev/null || { echo "the outputs of $run differ from one process's" >&2; exit 1; }
  done
}

# The medians over the repeats' lines on standard input.
summarise() {
  awk '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    {
      ++n
      for (k = 1; k <= 14; ++k) v[k, n] = $k
      s = $11 - $9; b = $13 - $9  # the start-ups: what mpirun adds to the 12 tasks
      r[1, n] = $1 / $5;        r[2, n] = $1 / ($5 - s)
      r[3, n] = $1 / $7;        r[4, n] = $1 / ($7 - b)
      r[5, n] = $3 / $5;        r[6, n] = $3 / ($5 - s)
      r[7, n] = $3 / $7;        r[8, n] = $3 / ($7 - b)
      st[1, n] = s; st[2, n] = b; st[3, n] = $12 - $10; st[4, n] = $14 - $10
    }
    END {
      split("one process|one process on one core|2 ranks|2 ranks, pml ob1", name, "|")
      printf " medians of %d repeats:\n", n
      for (c = 1; c <= 4; ++c) {
        for (i = 1; i <= n; ++i) { w[i] = v[2 * c - 1, i]; u[i] = v[2 * c, i] }
        printf "  %-24s %.2f s wall, %.2f s CPU\n", name[c], median(w, n), median(u, n)
      }
      for (c = 1; c <= 2; ++c) {
        for (i = 1; i <= n; ++i) { w[i] = st[c, i]; u[i] = st[c + 2, i] }
        printf "  mpirun start-up%-9s %.2f s wall, %.2f s CPU\n", c == 1 ? "" : ", ob1", median(w, n), median(u, n)
      }
      split("one process / 2 ranks|one process / 2 ranks, ob1|one core / 2 ranks|one core / 2 ranks, ob1", label, "|")
      for (c = 1; c <= 4; ++c) {
        for (i = 1; i <= n; ++i) { w[i] = r[2 * c - 1, i]; u[i] = r[2 * c, i] }
        printf "  %-28s %.2f (without the start-up %.2f)\n", label[c], median(w, n), median(u, n)
      }
    }'
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "each line: wall and CPU of one process, one core, 2 ranks, 2 ranks ob1, the 12 tasks on one process, under mpirun, under mpirun ob1"
for replicates in 833 "$@"; do
  job="r$replicates.toml"
  sed "s/^replicates = 100\$/replicates = $replicates/" "$root/examples/batch/national.toml" > "$job"
  echo "the example job with $replicates replicates: $((12 * (replicates + 1))) tasks;" \
       "load before $(cut -d' ' -f1-3 /proc/loadavg)"
  for r in $(seq "$repeats"); do
    repeat "$job" | tee -a "lines$replicates"
  done
  summarise < "lines$replicates"
  echo " load after $(cut -d' ' -f1-3 /proc/loadavg)"
done
