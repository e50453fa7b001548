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


TABLES = ["analysis", "prepare", "read", "select", "decluster", "split", "completeness", "homogenise",
          "batch", "layer", "zone", "classic_file", "alternative", "openquake"]


def test_the_analysis_keywords_are_the_keys_of_the_settings_table():
    keys = {row["key"] for row in qev.settings_table()}
    options = qev._analysis_options(3.0, "cramer", (1.0, 0.1), 0.2, 7.0, 100.0, "magnitude",
                                    None, (1.0, 7.0), [7.0], 0.005, 20, 0.002, 99, 8.0)
    assert set(options) - {"data_kind"} <= keys
    # Only the hazard's keys are not the analysis's (qev.hazard takes them).
    assert keys - set(options) == {"hazard_spans", "hazard_magnitudes"}


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
]


@pytest.mark.parametrize("what,call,error,words", BAD_KEYWORDS, ids=[b[0] for b in BAD_KEYWORDS])
def test_a_bad_table_keyword_names_the_key(tonga, what, call, error, words):
    with pytest.raises(error) as caught:
        call(tonga)
    assert words in str(caught.value)
