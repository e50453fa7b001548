#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz/fuzz_*.cpp) with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz, then runs
# each one for a bounded time from its seed corpus (fuzz/corpus/<harness>).
# Any crash, leak, sanitizer report or hang (one input running longer than
# FUZZ_TIMEOUT seconds) fails the script; the failing input is kept in
# build-fuzz/artifacts/ and should be added to the seed corpus as
# fuzz/corpus/<harness>/found-<what> once the fault is mended.
#
#   FUZZ_SECONDS   time per harness (default 24 under CI, 20 otherwise); the
#                  small catalog-import and batch-job harnesses share three
#                  times it, however many they are
#   FUZZ_TIMEOUT   longest time for one input (default 25)
#   FUZZ_JOBS      build jobs (default 2)
#   FUZZ_ONLY      run only the harnesses named (space separated, e.g. "reader")
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${CI:-}" = "true" ]; then default_seconds=24; else default_seconds=20; fi
seconds="${FUZZ_SECONDS:-$default_seconds}"
timeout_per_input="${FUZZ_TIMEOUT:-25}"
jobs="${FUZZ_JOBS:-2}"
build=build-fuzz

# clang with the libFuzzer and sanitizer runtimes.
have_fuzzer() {
  command -v clang++ >/dev/null || return 1
  echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /dev/null - 2>/dev/null
}
if ! have_fuzzer; then
  apt-get update && apt-get install -y clang libclang-rt-14-dev
  have_fuzzer || { echo "fuzz.sh: clang cannot build libFuzzer targets" >&2; exit 1; }
fi
command -v cmake >/dev/null || { apt-get update && apt-get install -y cmake; }

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQEV_FUZZ=ON -DQEV_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target fuzzers

# Longest input per harness: sessions with their catalogs need room; the
# readers get lines and files of several kilobytes.
max_len() {
  case "$1" in
    session) echo 16384 ;;
    reader | extreme_file | complete_file) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

# The catalog-import and batch-job harnesses are small: together they share
# the time of three of the others (once half the time each for six of them),
# so that a new one takes its share from them, not from the whole run.
small_harnesses=0
for exe in "$build"/fuzz_events_* "$build"/fuzz_batch_*; do
  [ -x "$exe" ] && [ -f "$exe" ] && small_harnesses=$((small_harnesses + 1))
done
run_seconds() {
  case "$1" in
    events_*|batch_*)
      local share=$((3 * seconds / (small_harnesses > 0 ? small_harnesses : 1)))
      echo $((share > 0 ? share : 1)) ;;
    *) echo "$seconds" ;;
  esac
}

mkdir -p "$build/artifacts" "$build/tmp"
export TMPDIR="$PWD/$build/tmp"  # the session harness makes its working folders here
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
for exe in "$build"/fuzz_*; do
  [ -x "$exe" ] && [ -f "$exe" ] || continue
  harness="$(basename "$exe")"
  harness="${harness#fuzz_}"
  if [ -n "${FUZZ_ONLY:-}" ] && [[ " $FUZZ_ONLY " != *" $harness "* ]]; then continue; fi
  seeds="fuzz/corpus/$harness"
  work="$build/corpus/$harness"  # grows while fuzzing; the repository's seeds stay as they are
  mkdir -p "$work"
  echo "== fuzz_$harness: $(run_seconds "$harness")s from $(ls "$seeds" 2>/dev/null | wc -l) seeds"
  if "$exe" -max_total_time="$(run_seconds "$harness")" -timeout="$timeout_per_input" -rss_limit_mb=2560 \
      -max_len="$(max_len "$harness")" -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/${harness}-" "$work" "$seeds" \
      >"$build/fuzz_$harness.log" 2>&1; then
    tail -n 12 "$build/fuzz_$harness.log" | grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' || true
    echo "   fuzz_$harness passed"
  else
    echo "   fuzz_$harness FAILED; the end of its log:"
    grep -v '^#' "$build/fuzz_$harness.log" | tail -n 60
    failed+=("$harness")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: failing harnesses: ${failed[*]} (inputs in $build/artifacts/)"
  echo "${#failed[@]} failed"
  exit 1
fi
echo "fuzz.sh: every harness ran ${seconds}s without a fault"
