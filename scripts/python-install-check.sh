#!/usr/bin/env bash
# The README's installation of the Python package on this machine: a virtual
# environment that sees the distribution's numpy, pip install without network,
# then one analysis from outside the source tree.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install --quiet --no-build-isolation "$root"
cd "$work"
"$work/venv/bin/python" - "$root/examples" <<'PY'
import sys
import qev
examples = sys.argv[1]
catalog = qev.read_classic(f"{examples}/ext_l1.dat",
                           [f"{examples}/cp1900_l2.dat", f"{examples}/cp1960_l2.dat"],
                           complete_layout="common_sd")
result = qev.analyze(catalog, mmin=3.4)
print("installed", qev.__file__)
print(result)
assert f"{result.mmax:.2f}" == "6.93" and f"{result.b:.2f}" == "1.05"
PY
