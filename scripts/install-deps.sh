#!/usr/bin/env bash
# The Debian packages QEV needs, in one place, and their installation.
#
#   scripts/install-deps.sh [--check] run|test|ci
#
#   run   what `make run` needs to build qev: a C++ compiler, CMake, make
#   test  what `make test` needs besides: GoogleTest, the libraries of the
#         catalog import and the batch runs, Open MPI, and the Python module
#         with its tests (pybind11, the interpreter's headers, NumPy, pandas,
#         matplotlib, pytest)
#   ci    what .ci/run needs besides: the benchmarks' library, clang,
#         clang-tidy, clang-format, the pip installation of the Python package
#         (venv, pip, setuptools, wheel), chromium for the browser test, git
#
# Each group takes in the ones above it. A package counts as present when the
# program or file it provides is found. When something is missing and the
# user is root with apt-get, the script runs `apt-get update` once and
# installs what is missing; otherwise (or with --check) it prints the one
# `apt-get install` line that is missing and exits with status 1. Status 0
# when everything is present, 2 for a wrong argument.
set -euo pipefail

# package  how it is found (cmd:PROGRAM, file:PATH or py:MODULE)
readonly RUN_PACKAGES="
g++ cmd:g++
cmake cmd:cmake
make cmd:make
"
readonly TEST_PACKAGES="
libgtest-dev file:/usr/include/gtest/gtest.h
libpugixml-dev file:/usr/include/pugixml.hpp
nlohmann-json3-dev file:/usr/include/nlohmann/json.hpp
libtomlplusplus-dev file:/usr/include/toml++/toml.h
libcli11-dev file:/usr/include/CLI/CLI.hpp
libopenmpi-dev cmd:mpicxx
openmpi-bin cmd:mpirun
pybind11-dev file:/usr/include/pybind11/pybind11.h
python3-dev file:/usr/include/python3.11/Python.h
python3-numpy py:numpy
python3-pandas py:pandas
python3-matplotlib py:matplotlib
python3-pytest py:pytest
"
readonly CI_PACKAGES="
libbenchmark-dev file:/usr/include/benchmark/benchmark.h
clang cmd:clang++
clang-tidy cmd:clang-tidy
clang-format cmd:clang-format
python3-venv py:ensurepip
python3-pip py:pip
python3-setuptools py:setuptools
python3-wheel py:wheel
chromium cmd:chromium
git cmd:git
"

usage() {
  sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

check_only=0
if [ "${1:-}" = "--check" ]; then
  check_only=1
  shift
fi
[ $# -eq 1 ] || usage
case "$1" in
  run) wanted="$RUN_PACKAGES" ;;
  test) wanted="$RUN_PACKAGES$TEST_PACKAGES" ;;
  ci) wanted="$RUN_PACKAGES$TEST_PACKAGES$CI_PACKAGES" ;;
  *) usage ;;
esac

present() {
  local how="$1"
  case "$how" in
    cmd:*) command -v "${how#cmd:}" >/dev/null 2>&1 ;;
    file:*) [ -e "${how#file:}" ] ;;
    py:*) [ -x /usr/bin/python3 ] && /usr/bin/python3 -c "import ${how#py:}" >/dev/null 2>&1 ;;
    *) return 1 ;;
  esac
}

missing=()
while read -r package how; do
  [ -n "$package" ] || continue
  present "$how" || missing+=("$package")
done <<<"$wanted"

[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install ${missing[*]}"
if [ "$check_only" -eq 0 ] && [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "install-deps: $line" >&2
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  exit 0
fi
echo "install-deps: missing Debian packages (group $1); as root run:" >&2
echo "$line"
exit 1
