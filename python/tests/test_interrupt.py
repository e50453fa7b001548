"""Ctrl-C reaches the long computations: a Python process in a batch run or
an analysis gets KeyboardInterrupt within a second or two, and the output
folder keeps what it held."""

import os
import signal
import subprocess
import sys
import time

import pytest

from conftest import EXAMPLES

# Each call runs for many seconds when left alone; the child prints "started"
# just before it and, on KeyboardInterrupt, "interrupted" and the folder.
CALLS = {
    "run_batch": f"""
qev.run_batch({{"seed": 5, "replicates": 200000,
               "zone": [{{"name": "ex", "mmin": 3.4, "extreme": "{EXAMPLES}/ext_l1.dat",
                         "complete": ["{EXAMPLES}/cp1900_l1.dat"]}}]}},
              output=os.path.join(folder, "out"), threads=2)
""",
    "bootstrap intervals": f"""
catalog = qev.read_classic(extreme="{EXAMPLES}/ext_l1.dat")
qev.calibrated_intervals(catalog, mmin=3.4, replicates=100000, threads=2)
""",
    "read_catalog": """
qev.read_catalog(os.path.join(folder, "big.csv"))
""",
}


def write_big_catalog(folder):
    """A CSV catalog of 4 million rows (170 MB): about 4 s to read on the
    shared machine, 1.5 s alone."""
    with open(folder / "big.csv", "w") as out:
        out.write("time,latitude,longitude,mag,magError\n")
        out.write("2001-02-03T04:05:06Z,-45.25,12.5,4.5,0.2\n" * 4_000_000)


# What a call needs on disk besides the output folder, and how long after its
# start the signal comes (well into the computation).
PREPARE = {"read_catalog": write_big_catalog}
SIGNAL_AFTER = {"read_catalog": 0.5}

CHILD = """
import os, sys, qev
folder = sys.argv[1]
print("started", flush=True)
try:
{call}
except KeyboardInterrupt:
    print("interrupted", sorted(os.listdir(os.path.join(folder, "out"))), flush=True)
    sys.exit(3)
print("finished", flush=True)
"""

# Measured from the signal: the tasks running end at their next simplex step.
LATEST_SECONDS = 2.0


@pytest.mark.parametrize("name", [
    "run_batch",
    # The replicate loop polls the flag before each simulated catalog.
    "bootstrap intervals",
    # The readers poll it before each row (CSV, ZMAP) or event (QuakeML).
    "read_catalog",
])
def test_ctrl_c_raises_keyboard_interrupt_within_seconds(tmp_path, name):
    out = tmp_path / "out"
    out.mkdir()
    (out / "results.csv").write_text("earlier\n")
    PREPARE.get(name, lambda folder: None)(tmp_path)
    body = "\n".join("    " + line for line in CALLS[name].strip().splitlines())
    child = subprocess.Popen([sys.executable, "-c", CHILD.format(call=body), str(tmp_path)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                             env=dict(os.environ))
    try:
        assert child.stdout.readline().strip() == "started"
        time.sleep(SIGNAL_AFTER.get(name, 1.5))
        assert child.poll() is None, "the call ended before the signal"
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        output, errors = child.communicate(timeout=30)
        elapsed = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert child.returncode == 3, errors
    assert elapsed < LATEST_SECONDS, f"{name}: KeyboardInterrupt after {elapsed:.2f} s"
    # Nothing of the stopped run was put in place, no temporary file is left.
    assert "interrupted ['results.csv']" in output
    assert (out / "results.csv").read_text() == "earlier\n"
