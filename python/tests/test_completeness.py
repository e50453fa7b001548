"""The completeness table from Python: the same table, windows and report as
qev-prepare --completeness auto prints on the same catalog, options by the
library's names with its messages, split(events, "auto"), and the figures."""

import subprocess

import numpy as np
import pytest

import qev
from conftest import build_dir

pytestmark = pytest.mark.skipif(not hasattr(qev, "completeness"),
                                reason="built without the catalog import")


@pytest.fixture(scope="module")
def history(tmp_path_factory):
    """A synthetic catalog with steps 1900:6.0, 1964:5.0, 1990:4.5."""
    folder = tmp_path_factory.mktemp("history")
    subprocess.run([str(build_dir() / "qev-synth"), "--b", "1", "--mmin", "4", "--mmax", "8.5",
                    "--lambda", "1000", "--sd", "0.1", "--step", "0.1", "--seed", "3",
                    "--history", "1900:6.0,1964:5.0,1990:4.5", "--history-end", "2024",
                    "--csv", "h.csv", "--dir", str(folder)], check=True, capture_output=True)
    return folder / "h.csv"


@pytest.mark.parametrize("method", ["maxc", "gft95", "mbs"])
def test_the_table_is_the_one_the_tool_prints(history, method):
    events = qev.read_catalog(history)
    c = qev.completeness(events, mc_method=method, bootstrap=30)
    tool = subprocess.run([str(build_dir() / "qev-prepare"), "--completeness", "auto",
                           "--mc-method", method, "--completeness-set", "bootstrap=30",
                           str(history)], check=True, capture_output=True, text=True).stdout
    assert f"used (windows): --completeness {c.option}\n" in tool
    assert c.report in tool
    assert [year for year, _ in c.table] == [int(p.split(":")[0]) for p in c.option.split(",")]
    for (year, mc), (true_year, true_mc) in zip(c.table, [(1900, 6.0), (1964, 5.0), (1990, 4.5)]):
        assert abs(year - true_year) <= 5 and abs(mc - true_mc) <= 0.2 + 1e-6
    sd = np.array([w["mc_sd"] for w in c.windows])
    assert (sd >= 0).all() and sd.max() > 0


def test_options_are_checked_with_the_library_names(history):
    events = qev.read_catalog(history)
    with pytest.raises(TypeError, match="known: .*bootstrap"):
        qev.completeness(events, boot=3)
    with pytest.raises(qev.InvalidOptions, match="maxc, gft90, gft95 or mbs"):
        qev.completeness(events, mc_method="gft99")
    with pytest.raises(qev.InvalidOptions, match="window"):
        qev.completeness(events, window_years=0)


def test_split_auto_and_figures(history, tmp_path):
    import matplotlib
    matplotlib.use("Agg")
    events = qev.read_catalog(history)
    c = qev.completeness(events, bootstrap=0, figures=tmp_path)
    assert len(c.figures) == 3 and all(open(f).read().startswith("<svg") for f in c.figures)
    parts = qev.split(events, "auto")
    assert len(parts.complete_periods) == len(c.table)
    for draw in (lambda: c.plot_mc(), lambda: c.plot_stepp(), lambda: c.plot_cumulative(events)):
        ax = draw()
        ax.figure.savefig(tmp_path / "figure.png", dpi=60)
        assert ax.get_title()
