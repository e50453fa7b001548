"""The figures' arithmetic: Poisson limits against Gehrels' exact tables, the
incremental counts of a part, and the batch figures of a small run."""

from pathlib import Path

import numpy as np
import pytest

import qev
from qev import plots

ROOT = Path(__file__).resolve().parents[2]

# Gehrels (1986), tables 1 and 2, one standard deviation (S = 1): n, lower,
# upper. The approximations of eqs. 7 and 12 hold to about 1 %.
GEHRELS = [(1, 0.173, 3.300), (2, 0.708, 4.638), (5, 2.840, 8.382), (10, 6.891, 14.27),
           (20, 15.57, 25.56)]


@pytest.mark.parametrize("n, lower, upper", GEHRELS)
def test_poisson_limits_agree_with_the_exact_tables(n, lower, upper):
    lo, hi = plots.poisson_limits([n])
    assert lo[0] == pytest.approx(lower, rel=0.015)
    assert hi[0] == pytest.approx(upper, rel=0.01)


def test_no_event_has_lower_limit_zero():
    lo, hi = plots.poisson_limits([0])
    assert lo[0] == 0.0 and hi[0] == pytest.approx(1.866, rel=1e-3)


def test_counts_fall_in_bins_of_a_tenth_from_the_threshold():
    part = qev.CompletePart(start=1900.0, end=2000.0, threshold=4.0,
                            magnitude=[3.99, 4.0, 4.04, 4.26, 4.3, 3.9],
                            sd=[0.1] * 6, frequency=[1, 2, 1, 1, 3, 5])
    m, counts = plots.binned_counts(part)
    # 3.99 lies within 0.02 of the threshold and counts; 3.9 does not.
    assert np.allclose(m, [4.0, 4.1, 4.2, 4.3])
    assert counts.tolist() == [4, 0, 0, 4]


def test_batch_figures_draw_every_branch_and_span():
    import matplotlib
    matplotlib.use("Agg")
    batch = qev.run_batch({
        "seed": 5, "replicates": 8,
        "defaults": {"mmin": 3.4, "hazard_spans": [50, 475]},
        "zone": [{"name": "ex", "extreme": "examples/ext_l1.dat",
                  "complete": ["examples/cp1900_l1.dat"]}],
        "branch_set": [{"name": "proc", "alternative": [
            {"name": "cramer", "weight": 0.6, "procedure": "cramer"},
            {"name": "bayes", "weight": 0.4, "procedure": "bayes"}]}],
    }, base=ROOT)
    fig = plots.batch_magnitude_frequency(batch, "ex")
    lines = [l for l in fig.axes[0].get_lines() if l.get_label().startswith("proc=")]
    assert len(lines) == 2  # both branches named in the legend
    assert fig.axes[0].get_lines()[0].get_linewidth() > 0
    fig = plots.batch_hazard(batch, "ex")
    assert [a.get_title() for a in fig.axes] == ["within 50 years", "within 475 years"]
