"""Random catalogs for the tests and the benchmark: magnitudes drawn from a
doubly truncated Gutenberg-Richter law plus a normal error, written as the
classic files (layout 1: magnitude and SD on each line) with nine significant
digits, which read back as the same single-precision numbers."""

from pathlib import Path

import numpy as np


def _magnitudes(rng, n, lowest, beta, mmax):
    u = rng.random(n)
    return lowest - np.log(1.0 - u * (1.0 - np.exp(-beta * (mmax - lowest)))) / beta


def write_random_catalog(folder, seed, extreme_events=40, parts=2, rows=300, beta=2.3,
                         mmax=7.4, step=0.01):
    """Writes ext.dat and c1.dat..cN.dat into `folder`; returns their paths and
    the lowest level (Mmin must lie below it). Magnitudes are given to `step`."""
    rng = np.random.default_rng(seed)
    folder = Path(folder)
    files = {"extreme": folder / "ext.dat", "complete": []}
    # Extreme part: the largest event of each of consecutive windows of 5 to 15 years.
    years = 1500 + np.cumsum(rng.integers(5, 16, extreme_events))
    months = rng.integers(1, 13, extreme_events)
    days = rng.integers(1, 29, extreme_events)
    sd = np.round(rng.uniform(0.1, 0.4, extreme_events), 2)
    magnitude = np.round(_magnitudes(rng, extreme_events, 5.0, beta, mmax) / step) * step
    lines = [f"{years[0] - 5} 1 1", f"{years[-1] + 3} 12 31"]
    lines += [f"{y} {m} {d} {x:.9g} {s:.9g}" for y, m, d, x, s in
              zip(years, months, days, magnitude, sd)]
    files["extreme"].write_text("\n".join(lines) + "\n")
    lowest = float(magnitude.min())
    start = int(years[-1]) + 4
    for p in range(parts):
        threshold = 4.5 - 0.5 * p
        lowest = min(lowest, threshold)
        part_sd = np.round(rng.uniform(0.05, 0.3, rows), 2)
        m = _magnitudes(rng, rows, threshold, beta, mmax) + part_sd * rng.standard_normal(rows)
        m = np.round(np.maximum(m, threshold - 0.01) / step) * step
        end = start + int(rng.integers(20, 60))
        lines = [f"{start} 1 1", f"{end} 12 31", f"{threshold:.9g}"]
        lines += [f"{x:.9g} {s:.9g}" for x, s in zip(m, part_sd)]
        path = folder / f"c{p + 1}.dat"
        path.write_text("\n".join(lines) + "\n")
        files["complete"].append(path)
        start = end + 1
    files["lowest"] = lowest
    return files
