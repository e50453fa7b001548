"""One magnitude scale from Python: the relations as a file or as a dict give
the same conversion as qev-prepare --homogenise, the original magnitudes stay
as columns, and a bad relation is refused naming its key."""

import subprocess

import numpy as np
import pytest

import qev
from conftest import EXAMPLES, build_dir

pytestmark = pytest.mark.skipif(not hasattr(qev, "homogenise"),
                                reason="built without the catalog import")
TONGA = EXAMPLES / "usgs_tonga_m5_2022_2024.csv"
RELATIONS = EXAMPLES / "magnitude_relations.toml"

# The example file's keys as a dict (Scordilis 2006, docs/method.md).
SCORDILIS = {
    "target": "Mw",
    "target_types": ["mww", "mwc", "mwb", "mwr", "mw"],
    "priority": ["Mw", "mww", "mwc", "mwb", "mwr", "Ms", "ms_20", "mb"],
    "relation": [{"type": "mb", "a": 1.03, "b": 0.85, "sd": 0.29, "range": [3.5, 6.2]}] + [
        {"type": t, "segments": [dict(zip(("from", "to", "a", "b", "sd"), s)) for s in
                                 ((3.0, 6.1, 2.07, 0.67, 0.17), (6.2, 8.2, 0.08, 0.99, 0.20))]}
        for t in ("Ms", "ms_20")
    ],
}


@pytest.fixture(scope="module")
def tonga():
    return qev.read_catalog(TONGA, default_sd=0.1)


def test_file_and_dict_convert_alike_by_hand_and_as_the_tool_counts(tonga):
    by_file = qev.homogenise(tonga, RELATIONS)
    by_dict = qev.homogenise(tonga, SCORDILIS)
    np.testing.assert_array_equal(by_file.magnitude, by_dict.magnitude)
    np.testing.assert_array_equal(by_file.sd, by_dict.sd)
    assert by_file.homogenised == by_dict.homogenised
    h = by_file.homogenised
    assert h.converted + h.left_out == len(tonga) and h.converted == len(by_file)
    assert {t.type: t.left_out for t in h.types}["Mi"] == np.sum(
        np.asarray(tonga.magnitude_types)[tonga.magnitude_type] == "Mi")

    frame = by_file.to_dataframe()
    source = tonga.to_dataframe().iloc[by_file.rows].reset_index(drop=True)
    assert (frame.original_magnitude == source.magnitude).all()
    assert (frame.original_type.astype(str) == source.magnitude_type.astype(str)).all()
    mb = frame[frame.original_type == "mb"]
    # Hand-worked: Mw = 1.03 + 0.85 mb, SD = sqrt((0.85 SD)^2 + 0.29^2).
    np.testing.assert_allclose(mb.magnitude, 1.03 + 0.85 * mb.original_magnitude, atol=2e-6)
    np.testing.assert_allclose(
        mb.sd, np.hypot(0.85 * source.sd[mb.index], 0.29), atol=2e-6)
    assert set(frame.magnitude_type.astype(str)) == {"Mw"}

    tool = build_dir() / "qev-prepare"
    if tool.exists():
        out = subprocess.run([str(tool), "--default-sd", "0.1", "--homogenise", str(RELATIONS),
                              "--completeness", "2022:4.0", str(TONGA)],
                             capture_output=True, text=True, check=True).stdout
        for t in h.types:
            assert (f"{t.read} read, {t.converted} converted, {t.left_out} left out") in out


@pytest.mark.parametrize("relations, message", [
    ({"relation": []}, "a target scale"),
    ({"target": "Mw", "relation": [{"type": "mb", "a": 1, "b": -1, "sd": 0.1,
                                    "range": [3, 6]}]}, "a slope b above 0"),
    ({"target": "Mw", "relation": [{"type": "mb", "a": 1, "b": 1, "sd": 0.1,
                                    "range": [3, 6], "slope": 2}]},
     "relation.slope, expected one of the keys"),
    ({"target": "Mw", "priority": ["ML"]}, "the type of a relation or a target type"),
])
def test_bad_relations_are_refused_naming_the_key(tonga, relations, message):
    with pytest.raises(qev.ReadingError, match=None) as error:
        qev.homogenise(tonga, relations)
    assert message in str(error.value)


def test_a_table_converted_goes_through_pandas_with_its_originals(tonga):
    converted = qev.homogenise(tonga, RELATIONS)
    back = qev.EventTable.from_dataframe(converted.to_dataframe())
    np.testing.assert_array_equal(back.original_magnitude, converted.original_magnitude)
    assert back.to_dataframe().original_type.astype(str).tolist() == \
        converted.to_dataframe().original_type.astype(str).tolist()


def test_magnitude_columns_give_further_magnitudes_picked_by_priority(tmp_path):
    path = tmp_path / "two_scales.csv"
    path.write_text("year,lat,lon,MS,MS_unc,MB\n1960,1,2,6.5,0.2,5.5\n1961,1,2,,,5.2\n")
    events = qev.read_catalog(path, default_sd=0.3, magnitude_columns={"Ms": ("MS", "MS_unc"),
                                                                       "mb": "MB"})
    assert list(events.other_end) == [1, 1]  # the second row: mb alone, the main one
    mw = qev.homogenise(events, RELATIONS)
    frame = mw.to_dataframe()
    assert frame.original_type.astype(str).tolist() == ["Ms", "mb"]
    # 0.08 + 0.99 * 6.5 and 1.03 + 0.85 * 5.2, SDs from 0.2 and the default 0.3.
    np.testing.assert_allclose(frame.magnitude, [6.515, 5.45], atol=2e-6)
    np.testing.assert_allclose(frame.sd, [np.hypot(0.198, 0.2), np.hypot(0.255, 0.29)],
                               atol=2e-6)
