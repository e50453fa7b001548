"""Batch runs: zones x logic-tree branches x bootstrap replicates, from a job
file or a dict of the same layout (docs/batch.md), on the threads of this
machine."""

from __future__ import annotations

import csv
import json
import math
import numbers
import os
import re
import shutil
import tempfile
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

import numpy as np

from . import _qev
from ._files import _readable

# Columns of the output tables that hold whole numbers; the other numeric
# columns hold reals written with nine digits, read back here as the same
# single-precision numbers (held exactly by Python floats).
_WHOLE = {"replicate", "seed", "replicates", "replicates_ok", "replicates_failed"}
_TEXT = {"zone", "branch", "status", "message", "runs", "contributions", "percentiles",
         "mmax_converged", "mmax_status", "warnings"}


def _value(column: str, text: str):
    if column in _TEXT:
        return text
    if column in _WHOLE:
        return int(text) if text else None
    if text == "":
        return math.nan
    if column == "weight":
        return float(text)
    return float(np.float32(text))


def _read_table(path: Path) -> tuple:
    if not path.exists():
        return ()
    with open(path, newline="", encoding="utf-8") as f:
        return tuple({k: _value(k, v) for k, v in row.items()} for row in csv.DictReader(f))


@dataclass(frozen=True, repr=False)
class BatchResult:
    """The rows of a batch run: `results` (one dict per task: zone, branch,
    replicate, seed, status, message, mmin, xmax, runs, mmax_converged, beta,
    sd_beta, lambda, sd_lambda, b, sd_b, mmax, sd_mmax, transmission,
    contributions), `summary` (per zone and branch: the bootstrap's median and
    16th and 84th percentiles) and `hazard` (per zone and branch, magnitude and
    span). Reals are the library's floats; a failed task's are NaN. `output`
    is the folder the files were written to (None when it was temporary)."""

    results: tuple
    summary: tuple
    hazard: tuple
    failed: int
    tasks: int
    output: Optional[str]

    def column(self, name: str, table: str = "results") -> np.ndarray:
        """One column of a table as an array (float32 for reals)."""
        rows = getattr(self, table)
        values = [row[name] for row in rows]
        if name in _TEXT:
            return np.array(values, dtype=object)
        if name in _WHOLE:
            return np.array(values, dtype=np.int64 if name != "seed" else np.uint64)
        return np.array(values, dtype=np.float32)

    def to_dataframe(self, table: str = "results"):
        """A table (results, summary or hazard) as a pandas DataFrame."""
        import pandas as pd

        return pd.DataFrame(list(getattr(self, table)))

    def __repr__(self) -> str:
        zones = sorted({r["zone"] for r in self.results})
        return (f"BatchResult({self.tasks} tasks, {self.failed} failed, zones "
                f"{', '.join(zones)}, output {self.output or '(temporary)'})")


# ---------------------------------------------------------------- TOML of a dict

_BARE_KEY = re.compile(r"[A-Za-z0-9_-]+")


def _key(k) -> str:
    if not isinstance(k, str):
        raise TypeError(f"job key {k!r} is {type(k).__name__}, expected text")
    return k if _BARE_KEY.fullmatch(k) else json.dumps(k)


def _toml_value(v, where: str) -> str:
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, numbers.Integral):
        return str(int(v))
    if isinstance(v, numbers.Real):
        f = float(v)
        if math.isnan(f):
            return "nan"
        if math.isinf(f):
            return "inf" if f > 0 else "-inf"
        return repr(f)
    if isinstance(v, (str, os.PathLike)):
        return json.dumps(os.fspath(v))  # JSON's escapes are TOML's
    if isinstance(v, dict):
        return "{ " + ", ".join(f"{_key(k)} = {_toml_value(x, f'{where}.{k}')}"
                                for k, x in v.items()) + " }"
    if isinstance(v, (list, tuple, np.ndarray)):
        return "[" + ", ".join(_toml_value(x, where) for x in v) + "]"
    raise TypeError(f"job value {where} is {type(v).__name__}, expected a number, text, "
                    "list or dict")


def _is_table_array(v) -> bool:
    return isinstance(v, (list, tuple)) and len(v) > 0 and all(isinstance(x, dict) for x in v)


def job_to_toml(job: dict) -> str:
    """The TOML text of a job given as a dict: dicts become tables, lists of
    dicts arrays of tables ([[zone]], [[branch_set]], ...)."""
    lines = []

    def table(d: dict, name: str):
        nested = []
        for k, v in d.items():
            path = f"{name}.{_key(k)}" if name else _key(k)
            # Tables of the top level ([defaults]) and arrays of tables at any
            # level ([[zone]], [[branch_set.alternative]]); the rest inline.
            if (isinstance(v, dict) and not name) or _is_table_array(v):
                nested.append((k, v, path))
            else:
                lines.append(f"{_key(k)} = {_toml_value(v, path)}")
        for k, v, path in nested:
            if isinstance(v, dict):
                lines.append(f"\n[{path}]")
                table(v, path)
            else:
                for item in v:
                    lines.append(f"\n[[{path}]]")
                    table(item, path)

    if not isinstance(job, dict):
        raise TypeError(f"job is {type(job).__name__}, expected a dict or a job file")
    table(job, "")
    return "\n".join(lines) + "\n"


def run_batch(job, *, output=None, threads: int = 0, base=None, force: bool = False) -> BatchResult:
    """Runs a batch job and returns its rows.

    job: a job file (TOML, docs/batch.md) or a dict of the same layout (relative
    paths in it start at `base`, default the working folder). output: the
    output folder; default the job's `output`, else for a file
    "<job name>-results" beside it, and for a dict a temporary folder removed
    once its tables are read. threads: 0 for every core. force: run a job of
    more than 1000000 tasks (zones x branches x (replicates + 1)), which is
    otherwise refused with InvalidOptions before anything is read.
    Raises ReadingError for an invalid job; failed tasks are rows with their
    status and message, not exceptions. Ctrl-C stops the run within a second
    (KeyboardInterrupt); the output folder keeps what it held."""
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral) or threads < 0:
        raise ValueError(f"threads is {threads!r}, expected 0 (every core) or more")
    temporary = None
    if isinstance(job, (str, os.PathLike)):
        _readable(job)  # a missing file raises Python's own OSError; a pipe is refused
        text, source, base_dir = None, os.fspath(job), "."
    else:
        text = job_to_toml(job)
        source = "job dict"
        base_dir = os.fspath(base) if base is not None else os.getcwd()
        if output is None and "output" not in job:
            temporary = tempfile.mkdtemp(prefix="qev-batch-")
            output = temporary
    try:
        failed, tasks, folder = _qev.run_batch(
            text, source, base_dir, None if output is None else os.fspath(output), int(threads),
            bool(force))
        folder = Path(folder)
        return BatchResult(_read_table(folder / "results.csv"), _read_table(folder / "summary.csv"),
                           _read_table(folder / "hazard.csv"), failed, tasks,
                           None if temporary else str(folder))
    finally:
        if temporary:
            shutil.rmtree(temporary, ignore_errors=True)
