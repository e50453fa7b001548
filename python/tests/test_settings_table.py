"""The settings tables as Python sees them: the keywords of qev.analyze are
keys of the analysis table, and every table lists each key once."""

import numpy as np
import pytest

import qev
from conftest import EXAMPLES

TONGA = EXAMPLES / "usgs_tonga_m5_2022_2024.csv"
GLOBAL = EXAMPLES / "usgs_global_m5_2022_2024_extract.csv"


@pytest.fixture(scope="module")
def tonga():
    return qev.read_catalog(TONGA, default_sd=0.1)


SMALL = qev.Catalog(None, (qev.CompletePart(1960.0, 2000.0, 3.5, [3.6, 4.1, 5.0], 0.1),))


def analyze(**settings):
    return qev.analyze(SMALL, mmin=3.0, **settings)


TABLES = ["analysis", "prepare", "read", "select", "decluster", "split", "completeness", "homogenise",
          "batch", "layer", "zone", "classic_file", "alternative", "openquake"]


# The analysis table's rows that set the hazard, not the analysis: keywords of
# AnalysisResult.hazard and qev.hazard, not of qev.analyze.
HAZARD_ROWS = {row["key"] for row in qev.settings_table("analysis") if row["target"] == "hazard"}


def test_the_analysis_table_says_which_rows_set_the_hazard():
    assert HAZARD_ROWS == {"hazard_spans", "hazard_magnitudes"}
    assert {row["target"] for row in qev.settings_table("analysis")} == {"analysis", "hazard"}


@pytest.mark.parametrize("table", TABLES)
def test_every_table_lists_each_key_once_with_what_it_takes(table):
    rows = qev.settings_table(table)
    keys = [row["key"] for row in rows]
    assert rows and len(keys) == len(set(keys))
    for row in rows:
        assert row["type"] in {"number", "whole", "choice", "numbers", "flag", "text", "date",
                               "texts", "path", "rows", "labels", "records"}
        assert row["expected"] and row["description"], row
        # A table of numbers names its columns, each with its range.
        assert (row["type"] == "rows") <= bool(row["columns"]), row
        for column in row["columns"]:
            assert column["name"] and column["low"] <= column["high"], row


def test_an_unknown_table_names_the_tables():
    with pytest.raises(ValueError, match="expected one of 'analysis'"):
        qev.settings_table("reading")


# Functions whose keywords are the keys of a settings table: the keys they take
# in a form of their own, and the keys Python spells otherwise.
TABLE_KEYWORDS = [
    ("read_catalog", "read", {"columns", "magnitude_columns"}, {}),
    ("select", "select", {"zone", "zone_wkt"}, {"from": "start"}),
    ("split", "split", {"completeness"}, {}),
    # The pairs prior_b=(b, sd) and start=(lambda_, mmax) take two rows each.
    ("analyze", "analysis", HAZARD_ROWS,
     {"mmax": "mmax_values", "prior_b_sd": "prior_b", "start_lambda": "start",
      "start_mmax": "start"}),
    ("calibrated_intervals", "analysis", HAZARD_ROWS,
     {"mmax": "mmax_values", "prior_b_sd": "prior_b", "start_lambda": "start",
      "start_mmax": "start"}),
]


@pytest.mark.parametrize("function,table,own,spelled", TABLE_KEYWORDS,
                         ids=[t[0] for t in TABLE_KEYWORDS])
def test_every_key_of_the_table_is_a_keyword_of_the_function(function, table, own, spelled):
    import inspect

    parameters = inspect.signature(getattr(qev, function)).parameters
    doc = getattr(qev, function).__doc__
    for row in qev.settings_table(table):
        if row["key"] in own:
            continue
        name = spelled.get(row["key"], row["key"])
        assert name in parameters, (function, name)
        assert f"      {name}" in doc and row["description"] in doc, (function, name)


def test_the_table_keywords_reach_the_library(tonga):
    """Values given by keyword are the library's settings: NumPy numbers and
    flags are taken as numbers and flags, and a key of the split table that
    the function never spelled (empty_windows) works."""
    kept = qev.select(tonga, min_magnitude=np.float32(6.0), start=2023)
    assert len(kept) and (kept.magnitude >= 6.0).all() and (kept.year >= 2023).all()
    # A list of texts, and one text as a list of one.
    for types in (["MWW", "mb"], "mww"):
        kept = qev.select(tonga, magnitude_types=types)
        assert 0 < len(kept) < len(tonga) and set(kept.magnitude_types[t] for t in
                                                   kept.magnitude_type) <= {"mww", "mb"}
    # Windows of one year from 2010: the years before the catalog hold no event.
    merged = qev.split(tonga, [[2024, 5.0]], 1, extreme_from="2010", empty_windows="merge")
    assert merged.catalog.extreme is not None
    with pytest.raises(qev.CatalogError):
        qev.split(tonga, [[2024, 5.0]], 1, extreme_from="2010", empty_windows="refuse")
    table = qev.read_catalog(GLOBAL, default_sd=np.float64(0.1), skip_bad_rows=np.bool_(True))
    assert table.summary.sd_defaulted > 0


BAD_KEYWORDS = [
    ("a magnitude out of range", lambda t: qev.select(t, min_magnitude=20),
     qev.InvalidOptions, "min_magnitude is 20, expected"),
    ("a flag given as a number", lambda t: qev.read_catalog(TONGA, skip_bad_rows=1),
     qev.InvalidOptions, "skip_bad_rows is 1, expected"),
    ("a negative window", lambda t: qev.split(t, [[2024, 5.0]], -1),
     qev.InvalidOptions, "extreme_window is -1"),
    ("a name of no choice", lambda t: qev.split(t, [[2024, 5.0]], empty_windows="drop"),
     qev.InvalidOptions, "empty_windows is \"drop\""),
    ("a list of numbers for texts", lambda t: qev.select(t, magnitude_types=[5.0]),
     qev.InvalidOptions, "magnitude_types is [5], expected"),
    ("a key of no row", lambda t: qev.select(t, min_mag=5),
     TypeError, "select() got an unexpected keyword argument 'min_mag' (its keywords: "),
    ("the key where Python spells it otherwise", lambda t: qev.select(t, **{"from": 2023}),
     TypeError, "unexpected keyword argument 'from'"),
    # qev.analyze: the rows refuse what they refuse in a job file.
    ("a negative SIG(Xmax)", lambda t: analyze(sig_xmax=-0.2),
     qev.InvalidOptions, "sig_xmax is -0.2, expected a number from 0 to 10 (12 for intensity)"),
    ("an SD of Xmax of 11 in magnitudes", lambda t: analyze(sig_xmax=11.0),
     qev.InvalidOptions, "sig_xmax is 11, expected a number from 0 to 10"),
    ("no Mmin", lambda t: qev.analyze(SMALL, mmin=None), TypeError,
     "analyze() needs mmin (threshold magnitude of the analysis), a number from -10 to 10"),
    ("no Mmin of the intervals", lambda t: qev.calibrated_intervals(SMALL, mmin=None), TypeError,
     "calibrated_intervals() needs mmin"),
    ("a fraction of a run", lambda t: analyze(max_runs=2.5),
     qev.InvalidOptions, "max_runs is 2.5, expected a whole number from 1 to 1000"),
    ("a flag as a count of runs", lambda t: analyze(max_runs=True),
     qev.InvalidOptions, "max_runs is true, expected a whole number from 1 to 1000"),
    ("a NumPy flag as a tolerance", lambda t: analyze(mmax_tolerance=np.bool_(False)),
     qev.InvalidOptions, "mmax_tolerance is false, expected a number from 0 to 10"),
    ("a NumPy tolerance of 20", lambda t: analyze(mmax_tolerance=np.float32(20)),
     qev.InvalidOptions, "mmax_tolerance is 20, expected a number from 0 to 10"),
    ("a NumPy simplex limit of 0", lambda t: analyze(iteration_limit=np.int64(0)),
     qev.InvalidOptions, "iteration_limit is 0, expected a whole number from 1 to 10000"),
    ("a simplex tolerance of 0", lambda t: analyze(simplex_tolerance=0),
     qev.InvalidOptions, "simplex_tolerance is 0, expected a number above 0, at most 10"),
    ("a span of no years", lambda t: analyze(span_t=0),
     qev.InvalidOptions, "span_t is 0, expected a number from 0.001 to 1e+07"),
    ("units of no choice", lambda t: analyze(units="richter"),
     qev.InvalidOptions, 'units is "richter", expected one of "magnitude", "intensity"'),
    ("an Mmax of each run above 10", lambda t: analyze(mmax_values=[7.0, 10.5]),
     qev.InvalidOptions, "mmax is [7, 10.5], expected at most 100 numbers from -10 to 10"),
    ("a cap as text", lambda t: analyze(mmax_cap="8"),
     qev.InvalidOptions, 'mmax_cap is "8", expected a number from -10 to 10'),
    ("an SD of the prior b of 11", lambda t: analyze(prior_b=(1.0, 11)),
     qev.InvalidOptions, "prior_b_sd is 11, expected a number from 0 to 10"),
    ("a given start of no events", lambda t: analyze(start=(0.0, 7.0)),
     qev.InvalidOptions, "start_lambda is 0, expected a number from 1e-30 to 1e+30"),
    ("a start of one number", lambda t: analyze(start=7.0),
     TypeError, "start is 7.0, expected (lambda_, mmax)"),
    ("a prior of three numbers", lambda t: analyze(prior_b=(1.0, 0.1, 0.2)),
     TypeError, "prior_b is (1.0, 0.1, 0.2), expected (b, sd)"),
    ("a hazard row given to the analysis", lambda t: analyze(hazard_spans=[50]),
     TypeError, "analyze() got an unexpected keyword argument 'hazard_spans' (its keywords: "),
    ("the key of the Mmax of each run", lambda t: analyze(mmax=[7.0]),
     TypeError, "unexpected keyword argument 'mmax'"),
    ("a member of a pair alone", lambda t: analyze(prior_b_sd=0.1),
     TypeError, "unexpected keyword argument 'prior_b_sd'"),
    ("a key of no analysis row given to the module",
     lambda t: qev._qev.analyze(SMALL, {"hazard_spans": [50.0]}),
     TypeError, "'hazard_spans' is no key of the analysis settings"),
    ("the intervals' runs of 0", lambda t: qev.calibrated_intervals(SMALL, mmin=3.0, max_runs=0),
     qev.InvalidOptions, "max_runs is 0, expected a whole number from 1 to 1000"),
    ("a misspelt key of the intervals",
     lambda t: qev.calibrated_intervals(SMALL, mmin=3.0, sigxmax=0.2),
     TypeError, "calibrated_intervals() got an unexpected keyword argument 'sigxmax'"),
]


@pytest.mark.parametrize("what,call,error,words", BAD_KEYWORDS, ids=[b[0] for b in BAD_KEYWORDS])
def test_a_bad_table_keyword_names_the_key(tonga, what, call, error, words):
    with pytest.raises(error) as caught:
        call(tonga)
    assert words in str(caught.value)


def test_numpy_numbers_reach_the_analysis_as_numbers(example_catalog):
    """NumPy scalars and arrays are the numbers they hold (float32 values are
    the floats the library keeps), and an int where a whole number goes."""
    plain = qev.analyze(example_catalog, mmin=3.4, sig_xmax=0.25, max_runs=5,
                        mmax_values=[6.9, 7.1], prior_b=(0.9, 0.2))
    numpy = qev.analyze(example_catalog, mmin=np.float32(3.4), sig_xmax=np.float32(0.25),
                        max_runs=np.int32(5), mmax_values=np.array([6.9, 7.1], np.float32),
                        prior_b=np.array([0.9, 0.2]))
    assert [r.mmax for r in numpy.runs] == [r.mmax for r in plain.runs] == pytest.approx(
        [6.9, 7.1])
    assert (numpy.beta, numpy.lambda_, numpy.settings) == (plain.beta, plain.lambda_,
                                                           plain.settings)


# The defaults analyze had before its keywords were the table's rows, and
# still has: each written out gives the same result, field by field.
WRITTEN_DEFAULTS = dict(procedure="cramer", prior_b=(1.0, 0.1), sig_xmax=0.2, xmax=None,
                        span_t=None, units="magnitude", data=None, start=None, mmax_values=None,
                        mmax_tolerance=0.005, max_runs=20, simplex_tolerance=0.002,
                        iteration_limit=99, mmax_cap=None, strict=False)


def test_the_defaults_of_the_table_are_those_analyze_had(example_catalog):
    import dataclasses

    rows = {row["key"]: row for row in qev.settings_table("analysis")}
    for key in ("sig_xmax", "mmax_tolerance", "simplex_tolerance", "max_runs",
                "iteration_limit"):
        assert float(rows[key]["default"]) == WRITTEN_DEFAULTS[key], key
    assert (rows["units"]["default"], rows["procedure"]["default"]) == ("magnitude", "cramer")
    assert (float(rows["prior_b"]["default"]), float(rows["prior_b_sd"]["default"])) == (1.0, 0.1)
    implied = qev.analyze(example_catalog, mmin=3.4)
    written = qev.analyze(example_catalog, mmin=3.4, **WRITTEN_DEFAULTS)
    assert len(implied.runs) > 1 and implied.mmax_status == "settled"
    for field in dataclasses.fields(qev.AnalysisResult):
        assert getattr(implied, field.name) == getattr(written, field.name), field.name
    # procedure None is the row's "none": the runs stay at the given start's Mmax.
    none = qev.analyze(example_catalog, mmin=3.4, procedure=None, start=(5.0, 7.0))
    assert none.mmax_status == "fixed" and {r.mmax for r in none.runs} == {np.float32(7.0)}
    assert none.runs == qev.analyze(example_catalog, mmin=3.4, procedure="NONE",
                                    start=(5.0, 7.0)).runs
