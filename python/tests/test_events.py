"""Real catalogs from Python: the event table's columns are views of the
library's memory, read, select, decluster and split give the parts that the
qev-prepare tool writes as classic files, and the table goes to and from
pandas."""

import atexit
import gc
import os
import shutil
import subprocess
import tempfile

import numpy as np
import pytest

import qev
from conftest import EXAMPLES, build_dir

TOOL = build_dir() / "qev-prepare"
pytestmark = pytest.mark.skipif(not hasattr(qev, "read_catalog"),
                                reason="built without the catalog import")
TONGA = EXAMPLES / "usgs_tonga_m5_2022_2024.csv"
# Every eighth row of the agency's global export, with its rows without magError
# and its volcanic eruption (examples/README.md).
GLOBAL = EXAMPLES / "usgs_global_m5_2022_2024_extract.csv"

# The same preparation through the tool's options and through Python.
PREPARATIONS = [
    ("tonga zone, shallow, declustered",
     TONGA, ["--zone", str(EXAMPLES / "tonga_zone.geojson"), "--min-depth", "0",
             "--max-depth", "70", "--decluster", "gk", "--completeness", "2022:5.0"],
     dict(zone=EXAMPLES / "tonga_zone.geojson", min_depth=0, max_depth=70), "gk",
     dict(completeness=[[2022, 5.0]])),
    ("global mww, two parts and an extreme year",
     GLOBAL, ["--magnitude-type", "mww", "--decluster", "uhrhammer",
              "--completeness", "2023:5.0,2024:5.5", "--extreme-window", "1"],
     dict(magnitude_types=["mww"]), "uhrhammer",
     dict(completeness=[[2023, 5.0], [2024, 5.5]], extreme_window=1)),
    # The tool takes xmeff from the completeness table; Python is told it.
    ("tonga zone, Reasenberg with a longer look-ahead",
     TONGA, ["--zone", str(EXAMPLES / "tonga_zone.geojson"), "--decluster", "reasenberg",
             "--decluster-parameter", "tau_max=20,p1=0.95", "--completeness", "2022:5.0"],
     dict(zone=EXAMPLES / "tonga_zone.geojson"),
     dict(method="reasenberg", tau_max=20, p1=0.95, xmeff=5.0),
     dict(completeness=[[2022, 5.0]])),
]


@pytest.fixture(scope="module")
def tonga():
    return qev.read_catalog(TONGA, default_sd=0.1)


@pytest.mark.parametrize("what,catalog,options,selection,window,split", PREPARATIONS,
                         ids=[p[0] for p in PREPARATIONS])
def test_python_preparation_gives_the_parts_the_tool_writes(tmp_path, what, catalog, options,
                                                            selection, window, split):
    if not TOOL.exists():
        pytest.skip("needs qev-prepare")
    subprocess.run([str(TOOL), str(catalog), "--default-sd", "0.1", *options,
                    "--mmin", "4.9", "--classic", str(tmp_path)], check=True,
                   capture_output=True)
    events = qev.read_catalog(catalog, default_sd=0.1)
    kept = qev.select(events, **selection)
    method = window if isinstance(window, dict) else dict(window=window)
    parts = qev.split(qev.decluster(kept, **method).mainshocks, **split).catalog
    written = sorted(tmp_path.glob("qev_c*.dat"))
    extreme = tmp_path / "qev_ext.dat"
    tool = qev.read_classic(extreme if extreme.exists() else None, written)
    assert (parts.extreme is None) == (tool.extreme is None)
    pairs = list(zip(parts.complete, tool.complete))
    assert len(pairs) == len(parts.complete) == len(tool.complete) > 0
    for mine, theirs in pairs + ([(parts.extreme, tool.extreme)] if parts.extreme else []):
        for name in ("start", "end", "magnitude", "sd") + (
                ("time",) if hasattr(mine, "time") else ("threshold",)):
            assert np.array_equal(getattr(mine, name), getattr(theirs, name)), (what, name)


def test_columns_are_read_only_views_that_keep_the_table_alive(tonga):
    magnitude, depth = tonga.magnitude, tonga.depth
    assert not magnitude.flags.owndata and not magnitude.flags.writeable
    assert np.shares_memory(magnitude, tonga.magnitude)
    expected = magnitude.copy()
    table = qev.read_catalog(TONGA, default_sd=0.1)
    view = table.magnitude
    del table
    gc.collect()
    assert np.array_equal(view, expected) and depth.dtype == np.float32
    assert tonga.summary.rows_read == 541 and tonga.summary.sd_defaulted == 1
    assert len(tonga) == 540  # the volcanic eruption is skipped
    with pytest.raises(ValueError):
        magnitude[0] = 9.0


def test_event_table_goes_to_pandas_and_back_unchanged(tonga):
    frame = tonga.to_dataframe()
    back = qev.EventTable.from_dataframe(frame)
    for name in ("year", "month", "day", "hour", "minute", "second", "longitude", "latitude",
                 "depth", "magnitude", "sd"):
        assert np.array_equal(getattr(back, name), getattr(tonga, name), equal_nan=True), name
    assert back.ids == tonga.ids
    assert list(np.array(back.magnitude_types)[back.magnitude_type]) == \
        list(np.array(tonga.magnitude_types)[tonga.magnitude_type])
    # A frame with a time column, as pandas or ObsPy users hold them.
    import pandas as pd

    timed = qev.EventTable.from_dataframe(pd.DataFrame({
        "time": pd.to_datetime(["2023-02-06T01:17:35.5", "1999-12-31T23:59:59"]),
        "longitude": [37.0, 0.0], "latitude": [37.2, 0.0], "magnitude": [7.8, 5.0]}),
        default_sd=0.2)
    assert list(zip(timed.year, timed.month, timed.day, timed.hour, timed.minute)) == \
        [(2023, 2, 6, 1, 17), (1999, 12, 31, 23, 59)]
    assert list(timed.second) == [35.5, 59.0] and np.isnan(timed.depth).all()


def _hostile_folder():
    """A folder with a named pipe, a sub-folder and a catalog of magnitude 100."""
    folder = tempfile.mkdtemp(prefix="qev-hostile-")
    atexit.register(shutil.rmtree, folder, True)
    os.mkfifo(os.path.join(folder, "pipe.csv"))
    os.mkdir(os.path.join(folder, "sub.csv"))
    with open(os.path.join(folder, "m100.csv"), "w") as f:
        f.write("time,latitude,longitude,mag,magError\n2020-01-01,1,2,100,0.1\n")
    return folder


HOSTILE = _hostile_folder()

BAD = [
    ("a named pipe as catalog (once blocked)",
     lambda t: qev.read_catalog(os.path.join(HOSTILE, "pipe.csv")), OSError,
     "not a regular file"),
    ("a folder as catalog", lambda t: qev.read_catalog(os.path.join(HOSTILE, "sub.csv")),
     IsADirectoryError, "a directory"),
    ("an endless device as classic file", lambda t: qev.read_complete_file("/dev/zero"),
     OSError, "not a regular file"),
    ("a named pipe as batch job", lambda t: qev.run_batch(os.path.join(HOSTILE, "pipe.csv")),
     OSError, "not a regular file"),
    ("a magnitude of 100", lambda t: qev.read_catalog(os.path.join(HOSTILE, "m100.csv")),
     qev.ReadingError, "a magnitude not above 10"),
    ("a missing catalog file", lambda t: qev.read_catalog("/no/such.csv"), FileNotFoundError,
     "/no/such.csv"),
    ("a job with a value of the wrong type", lambda t: qev.run_batch(
        {"replicates": "many", "zone": [{"name": "a", "complete": ["c.dat"], "mmin": 3.0}]}),
     qev.ReadingError, "'replicates' a whole number"),
    ("a job value Python cannot write", lambda t: qev.run_batch({"seed": object()}), TypeError,
     "job value seed"),
    ("unknown format", lambda t: qev.read_catalog(TONGA, format="shapefile"), ValueError,
     "format"),
    ("a column name that is not text", lambda t: qev.read_catalog(TONGA, magnitude=3),
     TypeError, "column magnitude"),
    ("a missing SD without a default", lambda t: qev.read_catalog(TONGA), qev.ReadingError,
     "line"),
    ("a row beyond the table", lambda t: t.subset([0, 10_000]), IndexError, "10000"),
    ("a month of 13", lambda t: qev.EventTable.from_dataframe(
        {**{k: v for k, v in t.to_dataframe().head(2).items()}, "month": [1, 13]}),
     ValueError, "row 1"),
    ("a NaN magnitude", lambda t: qev.EventTable.from_dataframe(
        {"year": [2000], "longitude": [0.0], "latitude": [0.0], "magnitude": [np.nan],
         "sd": [0.1]}), ValueError, "magnitude"),
    ("an unknown method", lambda t: qev.decluster(t, window="rasenberg"), qev.Error,
     "gk, uhrhammer, gruenthal or reasenberg"),
    ("an unknown declustering parameter", lambda t: qev.decluster(t, "reasenberg", taumax=3),
     TypeError, "tau_max"),
    ("a parameter out of range", lambda t: qev.decluster(t, "reasenberg", p1=1.5),
     qev.Error, "p1"),
    ("a date that does not exist", lambda t: qev.select(t, start="2023-02-30"),
     qev.InvalidOptions, "from is \"2023-02-30\", expected a date"),
    ("completeness out of order", lambda t: qev.split(t, completeness=[[2023, 5], [2022, 5]]),
     qev.CatalogError, ""),
    ("a fractional completeness year", lambda t: qev.split(t, completeness=[[2022.5, 5]]),
     ValueError, "whole year"),
]


@pytest.mark.parametrize("what,call,error,words", BAD, ids=[b[0] for b in BAD])
def test_bad_catalog_input_raises_a_python_exception(tonga, what, call, error, words):
    with pytest.raises(error) as caught:
        call(tonga)
    assert words in str(caught.value)


def test_declustering_method_is_a_branch_key_of_batch_jobs():
    """The same zone under three declustering choices of a branch set: each
    branch's Lambda is that of the catalog declustered its way (fewer events
    left, a lower rate), the method names those of the library's table."""
    methods = [name for name, _, _ in qev._qev.decluster_methods()]
    assert "reasenberg" in methods
    job = {"zone": [{"name": "tonga", "prepare": str(EXAMPLES / "tonga.toml")}],
           "branch_set": [{"name": "dc", "alternative": [
               {"name": "none", "weight": 0.2, "decluster": "none"},
               {"name": "reasenberg", "weight": 0.4, "decluster": "reasenberg"},
               {"name": "gk", "weight": 0.4, "decluster": "gk"}]}]}
    rows = {row["branch"]: row for row in qev.run_batch(job, threads=1).results}
    assert [rows[f"dc={m}"]["status"] for m in ("none", "reasenberg", "gk")] == ["ok"] * 3
    assert (rows["dc=none"]["lambda"] > rows["dc=reasenberg"]["lambda"]
            > rows["dc=gk"]["lambda"])
