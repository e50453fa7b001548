#!/usr/bin/env bash
# clang-tidy, with the checks of .clang-tidy, on the C++ files changed since
# BASE; fails on any finding (exit status 1).
#
#   scripts/tidy.sh [BASE]   BASE: a commit; by default the merge base with
#                            main; "all", or no base to be found: every file
#
# Each file is checked with its compile command from TIDY_BUILD (default
# build, configured here when it has no compile_commands.json yet) or, for the
# fuzz harnesses, from build-fuzz. A changed header is checked through one
# file that includes it; findings in the project's headers are reported
# wherever they are included. Files that no build compiles are named and
# skipped.
#   TIDY_BUILD   build directory (default build)
#   TIDY_JOBS    clang-tidy processes at once (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${TIDY_BUILD:-build}"
jobs="${TIDY_JOBS:-2}"

base="${1:-}"
if [ -z "$base" ]; then base=$(git merge-base HEAD main 2>/dev/null || true); fi
if [ -z "$base" ] || [ "$base" = all ]; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
  echo "tidy: every C++ file (${#files[@]})"
else
  mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h')
  echo "tidy: ${#files[@]} C++ files changed since $(git rev-parse --short "$base")"
fi

if [ ! -f "$build/compile_commands.json" ]; then
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi
databases=("$build")
[ -f build-fuzz/compile_commands.json ] && databases+=(build-fuzz)

# The database that compiles a source file, if any.
database_of() {
  for db in "${databases[@]}"; do
    if grep -qF "\"file\": \"$root/$1\"" "$db/compile_commands.json"; then
      echo "$db"
      return
    fi
  done
}

# A compiled source that includes the header $1: by the name it is included
# as (qev/x.h, folder/x.h, harness/x.h), by its bare name from its own folder,
# or through another header (up to three levels).
includer_of() {
  local header="$1" depth="${2:-0}" name="$1" candidate
  for prefix in include/ src/ tests/ fuzz/ bench/ tools/; do name="${name#"$prefix"}"; done
  while read -r candidate; do
    if [[ "$candidate" == *.h ]]; then
      [ "$depth" -lt 3 ] && candidate=$(includer_of "$candidate" $((depth + 1)))
    fi
    if [ -n "$candidate" ] && [ -n "$(database_of "$candidate")" ]; then
      echo "$candidate"
      return
    fi
  done < <({ git grep -l -F "#include \"$name\"" -- '*.cpp' '*.h'
             git grep -l -F "#include \"${header##*/}\"" -- "$(dirname "$header")/*"; } |
           grep -v -x -F "$header" | sort -u || true)
}

units=()
for file in "${files[@]}"; do
  source="$file"
  [[ "$file" == *.h ]] && source=$(includer_of "$file")
  db=""
  [ -n "$source" ] && db=$(database_of "$source")
  if [ -z "$db" ]; then
    echo "tidy: $file is compiled by no build here: skipped"
    continue
  fi
  units+=("$db $source")
done
[ ${#units[@]} -gt 0 ] || { echo "tidy: nothing to check"; exit 0; }
command -v clang-tidy >/dev/null || { echo "tidy: clang-tidy is not installed" >&2; exit 1; }

# One clang-tidy per file; its exit status is non-zero on a finding, and on a
# file that does not compile.
check_one='out=$(clang-tidy --quiet -p "$1" --header-filter="$0" --warnings-as-errors="*" "$2" 2>&1)
s=$?
printf "%s\n" "$out" | grep -v "warnings\? generated\.$"
exit $s'
filter="^$root/(src|include|tools|tests|bench|fuzz|[^/]+/include-roots)/"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\n' "${units[@]}" | sort -u |
  xargs -P "$jobs" -L 1 sh -c "$check_one" "$filter" >"$log" || status=$?
findings=$(grep -cE "(warning|error): " "$log" || true)
cat "$log"
echo "tidy: $(printf '%s\n' "${units[@]}" | sort -u | wc -l) files checked, $findings findings"
[ "$findings" -eq 0 ] && [ "$status" -eq 0 ]
