#!/usr/bin/env bash
# Runs every command of the walk-throughs, as a reader of a fresh clone would.
#
#   scripts/check-docs.sh [--prebuilt BUILD] [PAGE.md...]
#
# The pages are README.md, examples/README.md and docs/*.md unless named. For
# each page, the tracked files of the working tree (git ls-files: what a clone
# holds, with the changes not yet committed) are copied into a fresh scratch
# folder, and each ```sh block of the page runs there in turn with bash (-e,
# pipefail), from the top of the copy. HOME is a scratch folder too.
#
# Two markers, HTML comments on the line right before a block's fence:
#   <!-- docs-check: skip REASON -->  the block is not run (interactive, a
#                                     package installation, minutes long, ...)
#   <!-- docs-check: in DIR -->       the block starts in DIR of the copy, for
#                                     a block that goes on where the one before
#                                     it left the reader
# Other fences (```text, ```python, ```cpp, none) are not run; the Python
# page's blocks are run by python/tests/test_docs.py.
#
# --prebuilt BUILD links the copy's build/ to the build folder BUILD (built
# beforehand with the default target) and takes the build commands of the
# blocks (`make build`, `cmake -S ...`, `cmake --build ...`) as done; without
# it they run as written and build from nothing in the copy.
#
# Exit status 0 when every block ran without error, 1 when one failed (the
# page, the block's first line and its output are shown), 2 for a bad usage.
set -euo pipefail
cd "$(dirname "$0")/.."
top="$(pwd)"

prebuilt=""
if [ "${1:-}" = "--prebuilt" ]; then
  [ $# -ge 2 ] || { sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
  prebuilt="$(cd "$2" && pwd)"
  shift 2
fi
if [ $# -gt 0 ]; then
  pages=("$@")
else
  pages=(README.md examples/README.md)
  for page in docs/*.md; do pages+=("$page"); done
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# The sh blocks of a page, each as: its folder, its line number and its text,
# written as numbered files into the folder given; "skip" blocks are listed.
split_page() {
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import pathlib, re, sys
page, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
lines = page.read_text().split("\n")
marker = re.compile(r"^<!--\s*docs-check:\s*(skip|in)\b\s*(.*?)\s*-->\s*$")
n, i = 0, 0
while i < len(lines):
    fence = re.match(r"^```(\w*)\s*$", lines[i])
    if not fence:
        i += 1
        continue
    end = i + 1
    while end < len(lines) and lines[end] != "```":
        end += 1
    if fence.group(1) == "sh":
        n += 1
        m = marker.match(lines[i - 1]) if i > 0 else None
        kind, arg = (m.group(1), m.group(2)) if m else ("in", "")
        (out / f"{n:03d}.{kind}").write_text(f"{arg}\n{i + 1}\n" + "\n".join(lines[i + 1:end]) + "\n")
    i = end + 1
EOF
}

# Build commands taken as done when the build is given.
prelude() {
  echo 'set -eo pipefail'
  if [ -n "$prebuilt" ]; then
    cat <<'EOF'
make() { if [ "$*" = build ]; then echo "check-docs: prebuilt: make $*" >&2; else command make "$@"; fi; }
cmake() {
  case "${1:-}" in
    -S | --build) echo "check-docs: prebuilt: cmake $*" >&2 ;;
    *) command cmake "$@" ;;
  esac
}
EOF
  fi
}

failed=0 ran=0 skipped=0
for page in "${pages[@]}"; do
  [ -f "$page" ] || { echo "check-docs: no page $page" >&2; exit 2; }
  blocks="$scratch/blocks"
  rm -rf "$blocks" "$scratch/clone" "$scratch/home"
  mkdir -p "$blocks" "$scratch/clone" "$scratch/home"
  split_page "$page" "$blocks"
  compgen -G "$blocks/*" >/dev/null || continue
  # A fresh copy of what a clone holds.
  git ls-files -z | while IFS= read -r -d '' file; do
    if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; fi
  done | xargs -0 cp -P --parents -t "$scratch/clone"
  [ -n "$prebuilt" ] && ln -s "$prebuilt" "$scratch/clone/build"
  for block in "$blocks"/*; do
    arg="$(sed -n 1p "$block")"
    line="$(sed -n 2p "$block")"
    first="$(sed -n 3p "$block")"
    if [ "${block##*.}" = skip ]; then
      echo "check-docs: $page:$line: skipped ($arg): $first"
      skipped=$((skipped + 1))
      continue
    fi
    { prelude; echo "cd \"$scratch/clone/$arg\""; tail -n +3 "$block"; } >"$scratch/run.sh"
    if (cd "$scratch/clone" && HOME="$scratch/home" bash "$scratch/run.sh" </dev/null \
      >"$scratch/out" 2>&1); then
      echo "check-docs: $page:$line: ok: $first"
      ran=$((ran + 1))
    else
      echo "check-docs: $page:$line: FAILED: $first" >&2
      sed 's/^/    /' "$scratch/out" | tail -n 40 >&2
      failed=$((failed + 1))
    fi
  done
done
echo "check-docs: $ran blocks ran, $skipped skipped, $failed failed"
[ "$failed" -eq 0 ]
