#!/usr/bin/python3
"""The Python package against the C++ library on the same input.

1. qev.analyze against Analyze (BM_AnalyzeClassicFiles) on a catalog at the
   classic program's capacity: 500 extreme events and five complete parts of
   1500 rows (random, fixed seed), read from classic files by both.
2. qev.read_catalog against ReadCsvFile (BM_ReadCsvEvents) on a CSV catalog of
   1,000,000 events.

Usage: PYTHONPATH=build/python bench/python_bench.py [BUILD_DIR]
(BUILD_DIR default build; it needs qev_bench and the module qev._qev.)
Each repetition times the C++ benchmark and then the Python call, one after
the other, so that both meet the same load of a shared machine; printed are the
medians over REPETITIONS repetitions of the times and of the ratios.
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python" / "tests"))
from synthetic import write_random_catalog  # noqa: E402

import qev  # noqa: E402

REPETITIONS = 7
CSV_EVENTS = 1_000_000


def write_csv(path: Path, n: int, seed: int = 1) -> None:
    """A catalog in the layout of the agencies' exports: ISO times, degrees,
    depth, magnitude to 0.1, its type and its SD."""
    rng = np.random.default_rng(seed)
    seconds = np.sort(rng.uniform(0, 40 * 365.25 * 86400, n))
    times = (np.datetime64("1980-01-01T00:00:00", "ms")
             + (seconds * 1000).astype("timedelta64[ms]"))
    text = np.char.add(np.datetime_as_string(times, unit="ms"), "Z")
    lat = rng.uniform(-60, 60, n)
    lon = rng.uniform(-180, 180, n)
    depth = rng.uniform(0, 200, n)
    mag = np.round(3.0 - np.log(rng.random(n)) / 2.3, 1)
    err = np.round(rng.uniform(0.05, 0.3, n), 3)
    with open(path, "w") as f:
        f.write("time,latitude,longitude,depth,mag,magType,magError,id\n")
        for i in range(0, n, 100_000):
            block = slice(i, i + 100_000)
            rows = [f"{t},{a:.4f},{o:.4f},{d:.2f},{m:.1f},mw,{e:.3f},ev{k}"
                    for k, t, a, o, d, m, e in zip(range(i, n), text[block], lat[block],
                                                   lon[block], depth[block], mag[block],
                                                   err[block])]
            f.write("\n".join(rows) + "\n")


def cpp_times(build: Path, env: dict) -> dict:
    out = subprocess.run(
        [str(build / "qev_bench"), "--benchmark_filter=BM_AnalyzeClassicFiles|BM_ReadCsvEvents",
         "--benchmark_format=json"],
        env={**os.environ, **env}, check=True, capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        scale = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b["time_unit"]]
        times[b["run_name"]] = (b["cpu_time"] * scale, b["real_time"] * scale)
    return times


def python_time(call, iterations: int) -> tuple:
    c0, w0 = time.process_time(), time.perf_counter()
    for _ in range(iterations):
        call()
    return (time.process_time() - c0) / iterations, (time.perf_counter() - w0) / iterations


def main() -> None:
    build = Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "build")
    with tempfile.TemporaryDirectory() as folder:
        folder = Path(folder)
        files = write_random_catalog(folder, seed=2024, extreme_events=500, parts=5, rows=1500,
                                     step=0.1)
        mmin = round(files["lowest"] - 0.1, 2)
        csv_path = folder / "events.csv"
        write_csv(csv_path, CSV_EVENTS)
        env = {"QEV_BENCH_CLASSIC": str(folder), "QEV_BENCH_MMIN": str(mmin),
               "QEV_BENCH_CSV": str(csv_path)}
        catalog = qev.read_classic(files["extreme"], files["complete"])
        result = qev.analyze(catalog, mmin=mmin)
        calls = {
            "BM_AnalyzeClassicFiles": (lambda: qev.analyze(catalog, mmin=mmin), 100),
            "BM_ReadCsvEvents": (lambda: qev.read_catalog(csv_path, default_sd=0.1), 2),
        }
        pairs = {key: [] for key in calls}
        for _ in range(REPETITIONS):
            cpp = cpp_times(build, env)
            for key, (call, iterations) in calls.items():
                pairs[key].append((cpp[key], python_time(call, iterations)))
        print(f"catalog: {len(catalog.extreme)} extreme events, {len(catalog.complete)} complete "
              f"parts of {len(catalog.complete[0])} rows, Mmin {mmin}: {result}")
        print(f"CSV: {CSV_EVENTS} events, {csv_path.stat().st_size / 1e6:.0f} MB")
        print("| what | C++ CPU | Python CPU | ratio | C++ wall | Python wall | ratio |")
        print("|---|---|---|---|---|---|---|")
        names = {"BM_AnalyzeClassicFiles": "analyze", "BM_ReadCsvEvents": "read 1,000,000 events"}
        for key, name in names.items():
            def median(f):
                return statistics.median(f(c, p) for c, p in pairs[key])
            cc, pc = median(lambda c, p: c[0]), median(lambda c, p: p[0])
            cw, pw = median(lambda c, p: c[1]), median(lambda c, p: p[1])
            print(f"| {name} | {cc * 1e3:.2f} ms | {pc * 1e3:.2f} ms | "
                  f"{median(lambda c, p: p[0] / c[0]):.3f} | {cw * 1e3:.2f} ms | "
                  f"{pw * 1e3:.2f} ms | {median(lambda c, p: p[1] / c[1]):.3f} |")

if __name__ == "__main__":
    main()
