#!/usr/bin/env bash
# Records the expected results of golden transcripts (tests/golden/<name>/)
# from the current qev binary.
#
#   scripts/golden.sh [--qev PATH] tests/golden/NAME...
#
# Each folder holds the console answers (answers.txt), the catalog files the
# session reads and, optionally, `args` (the command-line arguments, one per
# line). The session runs in a fresh temporary copy of the folder; the script
# then rewrites NAME/expected/ with:
#   console.txt   the bytes the program wrote to standard output
#   status        its exit status
#   stderr.txt    what it wrote to standard error (only when not empty)
#   files/FILE    every file the session created or changed, with the date of
#                 the report's "  Date      : " line masked as dd-Mmm-yy
# PATH defaults to build/qev. tests/golden/README.md describes the layout.
#
# A recording only says what the binary does today, right or wrong. REVIEW
# EVERY RECORDING AGAINST FIGURES DERIVED BY HAND (the counts, maxima and
# dates of the catalog summaries, the threshold and Xmax lines, the row count
# and first row of the hazard table, the message of every box) BEFORE YOU
# COMMIT IT, and say in the commit message what you checked.
set -euo pipefail
cd "$(dirname "$0")/.."

qev=build/qev
if [ "${1:-}" = "--qev" ]; then
  qev="$2"
  shift 2
fi
if [ $# -eq 0 ]; then
  sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
[ -x "$qev" ] || { echo "golden.sh: no qev binary at $qev (build it first)" >&2; exit 1; }
qev="$(cd "$(dirname "$qev")" && pwd)/$(basename "$qev")"

# The report's date as the tests mask it; every other byte is kept.
mask_date() {
  LC_ALL=C sed -E 's/^(  Date      : )[0-9]{2}-[A-Z][a-z]{2}-[0-9]{2}( |$)/\1dd-Mmm-yy\2/' "$1"
}

for folder in "$@"; do
  folder="${folder%/}"
  [ -f "$folder/answers.txt" ] || { echo "golden.sh: $folder has no answers.txt" >&2; exit 1; }
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/run"
  for entry in "$folder"/*; do
    [ "$(basename "$entry")" = expected ] || cp -R "$entry" "$work/run/"
  done
  (cd "$work/run" && find . -maxdepth 1 -type f -exec sha256sum {} + | sort) >"$work/before"

  args=()
  if [ -f "$folder/args" ]; then mapfile -t args <"$folder/args"; fi
  status=0
  (cd "$work/run" && "$qev" "${args[@]}" <answers.txt >"$work/stdout" 2>"$work/stderr") ||
    status=$?

  rm -rf "$folder/expected"
  mkdir -p "$folder/expected"
  cp "$work/stdout" "$folder/expected/console.txt"
  echo "$status" >"$folder/expected/status"
  [ -s "$work/stderr" ] && cp "$work/stderr" "$folder/expected/stderr.txt"
  written=0
  while IFS= read -r -d '' file; do
    name="$(basename "$file")"
    sum="$(cd "$work/run" && sha256sum "./$name")"
    if ! grep -qxF "$sum" "$work/before"; then
      mkdir -p "$folder/expected/files"
      mask_date "$file" >"$folder/expected/files/$name"
      written=$((written + 1))
    fi
  done < <(find "$work/run" -maxdepth 1 -type f -print0)
  echo "$folder: exit status $status, $(wc -l <"$work/stdout") console lines," \
    "$written file(s) written -- review before committing"
  rm -rf "$work"
  trap - EXIT
done
