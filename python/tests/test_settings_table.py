"""The settings tables as Python sees them: the keywords of qev.analyze are
keys of the analysis table, and every table lists each key once."""

import pytest

import qev

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
                               "texts", "path", "rows", "labels"}
        assert row["expected"] and row["description"], row
        # A table of numbers names its columns, each with its range.
        assert (row["type"] == "rows") <= bool(row["columns"]), row
        for column in row["columns"]:
            assert column["name"] and column["low"] <= column["high"], row


def test_an_unknown_table_names_the_tables():
    with pytest.raises(ValueError, match="expected one of 'analysis'"):
        qev.settings_table("reading")
