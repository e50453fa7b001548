"""Bad input from Python ends in a Python exception with a clear message, never
a crash of the interpreter."""

import math

import numpy as np
import pytest

import qev
from conftest import EXAMPLES


def part(**change):
    values = dict(start=1960.0, end=2000.0, threshold=3.5, magnitude=[3.6, 4.1, 5.0], sd=0.1)
    values.update(change)
    return qev.CompletePart(**values)


def extreme(**change):
    values = dict(start=1500.0, end=1900.0, time=[1600.5, 1700.5], magnitude=[6.0, 6.5],
                  sd=[0.2, 0.3])
    values.update(change)
    return qev.ExtremePart(**values)


GOOD = qev.Catalog(extreme(), (part(),))

CASES = [
    # what, call, exception, words of the message
    ("text as magnitudes", lambda: part(magnitude=["a", "b"]), TypeError, "expected numbers"),
    ("magnitudes of None", lambda: part(magnitude=None), TypeError, "expected an array"),
    ("a matrix of magnitudes", lambda: part(magnitude=[[3.6, 4.0]]), ValueError, "1-D"),
    ("NaN magnitude", lambda: part(magnitude=[3.6, math.nan, 4.0]), qev.CatalogError,
     "magnitude[1] is nan"),
    ("infinite start", lambda: part(start=math.inf), qev.CatalogError, "start is inf"),
    ("negative SD", lambda: part(sd=[0.1, -0.2, 0.1]), qev.CatalogError, "sd[1] is -0.2"),
    ("SDs of another length", lambda: part(sd=[0.1, 0.2]), ValueError, "expected 3"),
    ("fractional frequency", lambda: part(frequency=[1, 2.5, 1]), ValueError, "fractions"),
    ("negative frequency", lambda: part(frequency=[1, -2, 1]), qev.CatalogError, "frequency[1]"),
    ("frequency beyond 32 bits", lambda: part(frequency=[1, 2**40, 1]), ValueError, "beyond"),
    ("unsorted extreme dates", lambda: extreme(time=[1700.5, 1600.5]), qev.CatalogError,
     "time order"),
    ("two extreme events on one date", lambda: extreme(time=[1600.5, 1600.5]), qev.CatalogError,
     "time order"),
    ("a list as a part", lambda: qev.Catalog(None, ([3.6, 4.0],)), TypeError, "CompletePart"),
    ("a list as the catalog", lambda: qev.analyze([1, 2], mmin=3.0), TypeError, "qev.Catalog"),
    ("text as Mmin", lambda: qev.analyze(GOOD, mmin="3.4"), qev.InvalidOptions,
     'mmin is "3.4", expected a number from -10 to 10'),
    ("NaN Mmin", lambda: qev.analyze(GOOD, mmin=math.nan), qev.InvalidOptions, "nan"),
    ("Mmin missing", lambda: qev.analyze(GOOD), TypeError, "mmin"),
    ("unknown procedure", lambda: qev.analyze(GOOD, mmin=3.0, procedure="kijko"),
     qev.InvalidOptions, 'procedure is "kijko", expected one of "cramer", "bayes", "none"'),
    ("negative prior SD", lambda: qev.analyze(GOOD, mmin=3.0, prior_b=(1.0, -0.1)),
     qev.InvalidOptions, "prior_b_sd is -0.1, expected a number from 0 to 10"),
    # The settings table's bounds, with the message of every front end.
    ("prior b of 10 with an SD of 0", lambda: qev.analyze(GOOD, mmin=3.0, prior_b=(10, 0)),
     qev.InvalidOptions, "prior_b is 10, expected a number above 0, at most 3"),
    ("prior b of 1e30", lambda: qev.analyze(GOOD, mmin=3.0, prior_b=(1e30, 0.1)),
     qev.InvalidOptions, "prior_b is 1e+30, expected a number above 0, at most 3"),
    ("SIG(Xmax) of 1e30", lambda: qev.analyze(GOOD, mmin=3.0, sig_xmax=1e30), qev.InvalidOptions,
     "sig_xmax is 1e+30, expected a number from 0 to 10 (12 for intensity)"),
    ("Mmin of -1e30", lambda: qev.analyze(GOOD, mmin=-1e30), qev.InvalidOptions,
     "mmin is -1e+30, expected a number from -10 to 10 (12 for intensity)"),
    ("simplex tolerance of NaN", lambda: qev.analyze(GOOD, mmin=3.0, simplex_tolerance=math.nan),
     qev.InvalidOptions, "simplex_tolerance is nan, expected a number above 0, at most 10"),
    ("an endless simplex", lambda: qev.analyze(GOOD, mmin=3.0, iteration_limit=10**9),
     qev.InvalidOptions, "iteration_limit is 1e+09, expected a whole number from 1 to 10000"),
    ("an Xmax above the magnitude limit", lambda: qev.analyze(GOOD, mmin=3.0, xmax=11.0),
     qev.InvalidOptions, "xmax is 11, expected a number from -10 to 10"),
    ("intervals with Mmax of 100",
     lambda: qev.calibrated_intervals(GOOD, mmin=3.0, mmax_values=[100.0]), qev.InvalidOptions,
     "mmax is [100], expected at most 100 numbers from -10 to 10 (12 for intensity)"),
    ("prior as one number", lambda: qev.analyze(GOOD, mmin=3.0, prior_b=1.0), TypeError,
     "expected (b, sd)"),
    ("negative SIG(Xmax)", lambda: qev.analyze(GOOD, mmin=3.0, sig_xmax=-0.2), qev.InvalidOptions,
     "sig_xmax is -0.2, expected a number from 0 to 10"),
    ("listed Mmax below Mmin", lambda: qev.analyze(GOOD, mmin=3.0, mmax_values=[2.0]),
     qev.InvalidOptions, "2"),
    ("runs beyond 32 bits", lambda: qev.analyze(GOOD, mmin=3.0, max_runs=2**40), ValueError,
     "max_runs"),
    ("Mmin above the lowest threshold", lambda: qev.analyze(GOOD, mmin=3.6), qev.InvalidOptions,
     "Mmin 3.60 lies above the lowest completeness threshold 3.50 (complete part 1)"),
    ("a cap not above Mmin", lambda: qev.analyze(GOOD, mmin=3.0, mmax_cap=2.5),
     qev.InvalidOptions, "the cap on Mmax 2.5"),
    ("strict with a part of three events", lambda: qev.analyze(GOOD, mmin=3.0, strict=True),
     qev.InputWarningsError, "complete part 1 holds 3 events (fewer than 10)"),
    ("no part at all", lambda: qev.analyze(qev.Catalog(), mmin=3.0), qev.CatalogError, ""),
    ("a part without events", lambda: qev.analyze(qev.Catalog(None, (part(magnitude=[]),)),
                                                  mmin=3.0), qev.NoEstimate, ""),
    ("spans of zero years", lambda: qev.hazard(2.3, 10.0, 3.0, 7.0, [4.0], spans=[0]),
     ValueError, "spans"),
    ("hazard magnitudes as text", lambda: qev.hazard(2.3, 10.0, 3.0, 7.0, "4.0"), TypeError,
     "magnitudes"),
    # Hazard figures that could only be NaN, and a table of millions of rows.
    ("hazard of a NaN Beta", lambda: qev.hazard(math.nan, 10.0, 3.0, 7.0), qev.InvalidOptions,
     "the hazard's Beta nan is not a finite number"),
    ("hazard of a zero Lambda", lambda: qev.hazard(2.3, 0.0, 3.0, 7.0), qev.InvalidOptions,
     "the hazard's Lambda 0 is not a finite number at or above 1.18e-38"),
    ("hazard spans of 1e-45 years", lambda: qev.hazard(2.3, 10.0, 3.0, 7.0, [4.0], spans=[1e-45]),
     qev.InvalidOptions, "the hazard span 1 (years) 1.401298e-45"),
    ("hazard of Beta 1e30", lambda: qev.hazard(1e30, 10.0, 3.0, 7.0, [4.0]), qev.InvalidOptions,
     "gives no finite hazard at magnitude 4"),
    ("hazard Mmax at Mmin", lambda: qev.hazard(2.3, 10.0, 7.0, 7.0), qev.InvalidOptions,
     "the hazard's Mmax 7 is not above its Mmin 7"),
    ("hazard table of ten million rows", lambda: qev.hazard(2.3, 10, -1e6, 7), qev.InvalidOptions,
     "rows, more than the 10000 a hazard table may have"),
    # Results whose figures are no estimate are an exception, not a result.
    ("a logic tree of 2^20 branches", lambda: qev.run_batch(
        {"zone": [{"name": "z", "complete": ["none.dat"], "mmin": 3.0}],
         "branch_set": [{"name": f"s{k}", "alternative": [{"name": "a", "weight": 0.5},
                                                           {"name": "b", "weight": 0.5}]}
                        for k in range(20)]}),
     qev.InvalidOptions, "the job makes 1048576 tasks (1 zones x 1048576 branches of 20 branch "
     "sets x 1 replicates), more than the limit of 1000000"),
    # The catalog import's settings, refused by the library with the key and the bound.
    ("a default SD of 11", lambda: qev.read_catalog(EXAMPLES / "usgs_tonga_m5_2022_2024.csv",
                                                    default_sd=11), qev.InvalidOptions,
     "default_sd is 11, expected a number from 0 to 10"),
    ("a negative default SD", lambda: qev.read_catalog(EXAMPLES / "usgs_tonga_m5_2022_2024.csv",
                                                       default_sd=-0.1), qev.InvalidOptions,
     "default_sd is -0.1, expected a number from 0 to 10"),
    ("a magnitude bound of 20", lambda: qev.select(
        qev.read_catalog(EXAMPLES / "usgs_tonga_m5_2022_2024.csv", default_sd=0.1),
        min_magnitude=20), qev.InvalidOptions,
     "min_magnitude is 20, expected a number from -10 to 10"),
    ("a depth bound of 1e30 km", lambda: qev.select(
        qev.read_catalog(EXAMPLES / "usgs_tonga_m5_2022_2024.csv", default_sd=0.1),
        max_depth=1e30), qev.InvalidOptions, "max_depth is 1e+30, expected a number from -10 to 1000"),
    ("unknown layout", lambda: qev.read_extreme_file(EXAMPLES / "ext_l1.dat", layout=4),
     ValueError, "layout is 4"),
    ("missing file", lambda: qev.read_classic(extreme=EXAMPLES / "none.dat"), FileNotFoundError,
     "none.dat"),
]


@pytest.mark.parametrize("what,call,error,words", CASES, ids=[c[0] for c in CASES])
def test_bad_input_raises_a_python_exception_naming_the_fault(what, call, error, words):
    with pytest.raises(error) as caught:
        call()
    assert words in str(caught.value)


def test_an_unusable_estimate_is_a_no_estimate_naming_its_figure():
    # A given Xmax below Mmin: the run at Xmax + 0.5 has no range above Mmin.
    with pytest.raises(qev.NoEstimate) as caught:
        qev.analyze(GOOD, mmin=3.0, xmax=2.0, procedure="none")
    assert isinstance(caught.value, qev.UnusableEstimate)
    assert caught.value.figure == "Mmax"


def test_library_errors_are_the_qev_hierarchy_and_carry_their_values(tmp_path):
    bad = tmp_path / "bad.dat"
    bad.write_text("1500 1 1\n1899 12 31\n1505 5 1 4.7x 0.2\n")
    with pytest.raises(qev.ReadingError) as caught:
        qev.read_extreme_file(bad)
    e = caught.value
    assert isinstance(e, qev.Error) and isinstance(e, ValueError)
    assert (e.source, e.line, e.text) == (str(bad), 3, '"4.7x"')
    assert str(e).startswith(f"{bad}, line 3: read \"4.7x\"")

    late = tmp_path / "late.dat"
    late.write_text("1500 1 1\n1899 12 31\n1505 5 1 4.7 0.2\n1505 5 1 4.9 0.2\n")
    with pytest.raises(qev.CatalogError) as caught:
        qev.read_extreme_file(late)
    assert (caught.value.line, caught.value.event) == (4, 2)

    cut = tmp_path / "cut.dat"
    cut.write_text("1960 1 1\n")
    with pytest.raises(qev.EndOfInput) as caught:
        qev.read_complete_file(cut)
    assert caught.value.line == 1 and isinstance(caught.value, qev.ReadingError)


def test_part_arrays_are_read_only_copies():
    magnitude = np.array([3.6, 4.1, 5.0])
    p = part(magnitude=magnitude)
    magnitude[0] = 9.0
    assert p.magnitude[0] == np.float32(3.6)
    with pytest.raises(ValueError):
        p.magnitude[0] = 9.0


def test_checks_mmax_status_and_weichert_come_with_the_result(example_catalog):
    r = qev.analyze(GOOD, mmin=3.0)
    assert ("few-events", "complete part 1 holds 3 events (fewer than 10)") in r.warnings
    fixed = qev.analyze(example_catalog, mmin=3.4, mmax_values=[7.0])
    assert fixed.mmax_status == "fixed" and "Mmax fixed" in repr(fixed)
    settled = qev.analyze(example_catalog, mmin=3.4)
    assert settled.mmax_status == "settled" and "Mmax" not in repr(settled).split("runs")[-1]
    capped = qev.analyze(example_catalog, mmin=3.4, mmax_cap=6.5)
    assert capped.mmax_status == "fixed" and capped.mmax == np.float32(6.5)
    # Weichert's b from the same complete parts, near the engine's.
    w = settled.weichert
    assert w is not None and w.events > 100
    assert abs(w.b - settled.b) < 2 * math.hypot(w.sd_b, settled.sd_b)
    assert 50.0 < settled.data_share_beta <= 100.0


def test_a_time_selection_shortens_the_complete_periods():
    columns = dict(year=np.arange(1960, 2020), month=np.full(60, 6), day=np.full(60, 1),
                   longitude=np.zeros(60), latitude=np.zeros(60),
                   magnitude=np.full(60, 5.0), sd=np.full(60, 0.1))
    events = qev.EventTable.from_dataframe(columns)
    whole = qev.split(events, [[1960, 5.0]], end="2019-12-31")
    later = qev.split(qev.select(events, start=1990), [[1960, 5.0]], end="2019-12-31")
    assert whole.complete_periods[0][0] == (1960, 1, 1)
    assert later.complete_periods[0][0] == (1990, 1, 1)
    assert len(later.complete_rows[0]) == 30
    # A threshold no magnitude reaches would pass every event at a rate of 0.
    with pytest.raises(qev.CatalogError, match="2000, -1e[+]30 needs .* magnitude from -10 to 10"):
        qev.split(events, [[1960, 5.0], [2000, -1e30]], end="2019-12-31")
