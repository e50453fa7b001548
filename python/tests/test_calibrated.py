"""Parametric-bootstrap intervals from Python: the estimate is analyze()'s,
the intervals nest around the corrected estimate, the threads do not change
the result, and bad requests are refused."""

import math
from pathlib import Path

import pytest

import qev

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


@pytest.fixture(scope="module")
def catalog():
    return qev.read_classic(extreme=EXAMPLES / "ext_l1.dat",
                            complete=[EXAMPLES / "cp1900_l2.dat", EXAMPLES / "cp1960_l2.dat"],
                            complete_layout="common_sd")


def test_intervals_nest_around_the_corrected_estimate_whatever_the_threads(catalog):
    fit = qev.analyze(catalog, mmin=3.4)
    one = qev.calibrated_intervals(catalog, mmin=3.4, replicates=20, seed=5, threads=1,
                                   hazard_magnitudes=[5.0, 6.0])
    two = qev.calibrated_intervals(catalog, mmin=3.4, replicates=20, seed=5, threads=2,
                                   hazard_magnitudes=[5.0, 6.0])
    assert one == two
    assert one.method == "inverted"
    # b in decimal units from analyze()'s Beta (log10 e in full, where the
    # classic b uses 0.43429)
    assert one.b.estimate == pytest.approx(fit.beta * math.log10(math.e), rel=1e-6)
    assert one.mmax.estimate == pytest.approx(fit.mmax, rel=1e-6)
    for v in (one.b, one.lambda_, one.mmax):
        assert v.corrected == pytest.approx(v.estimate - v.bias)
        assert v.lower95 <= v.lower68 < v.upper68 <= v.upper95
        assert v.sd > 0
    assert [h[0] for h in one.hazard] == pytest.approx([5.0, 6.0])
    for magnitude, rate, corrected, lower68, upper68, lower95, upper95 in one.hazard:
        assert lower95 <= lower68 < upper68 <= upper95
    assert one.hazard[0][1] > one.hazard[1][1]
    assert one.replicates + one.failed == 20
    assert one.calibrated == (one.warning == "")
    other = qev.calibrated_intervals(catalog, mmin=3.4, replicates=20, seed=6)
    assert other.b.corrected != one.b.corrected


def test_each_construction_is_named_and_shares_the_corrected_estimate(catalog):
    # The constructions differ only in the intervals built from the simulated
    # catalogs; the stages they share give the same corrected estimate.
    results = {m: qev.calibrated_intervals(catalog, mmin=3.4, replicates=20, seed=5, method=m)
               for m in ("inverted", "studentized", "basic")}
    for method, r in results.items():
        assert r.method == method
        assert r.b.corrected == results["basic"].b.corrected
        assert r.b.lower95 <= r.b.lower68 < r.b.upper68 <= r.b.upper95
    assert results["studentized"].b.lower68 != results["basic"].b.lower68


def test_bad_requests_are_refused(catalog):
    with pytest.raises(ValueError):
        qev.calibrated_intervals(catalog, mmin=3.4, replicates=5)
    with pytest.raises(TypeError):
        qev.calibrated_intervals(catalog, mmin=3.4, replicates=20, proceedure="bayes")
    with pytest.raises(ValueError):
        qev.calibrated_intervals(catalog, mmin=3.4, replicates=20, method="percentile")
