"""The Python package computes the C++ library's floats: qev.analyze and the
hazard against the qev-batch tool on the same classic files (its results are
written with nine digits, which read back as the same single-precision
numbers), on the example catalogs and on random ones; and run_batch from Python
writes the tool's files byte for byte."""

import filecmp
import subprocess

import numpy as np
import pytest

import qev
from conftest import EXAMPLES, build_dir
from synthetic import write_random_catalog

TOOL = build_dir() / "qev-batch"
pytestmark = pytest.mark.skipif(not hasattr(qev, "run_batch") or not TOOL.exists(),
                                reason="built without the batch runs")

SPANS = [50.0, 100.0]

# Zones of the job: name, classic files (extreme, complete with layouts) or a
# random catalog's seed, and the analysis settings of the zone.
EXAMPLE = {"extreme": str(EXAMPLES / "ext_l1.dat"),
           "complete": [{"file": str(EXAMPLES / "cp1900_l2.dat"), "layout": 2},
                        {"file": str(EXAMPLES / "cp1960_l2.dat"), "layout": 2}]}
ZONES = [
    ("cramer", EXAMPLE, {"mmin": 3.4}),
    ("bayes", EXAMPLE, {"mmin": 3.4, "procedure": "bayes", "prior_b": 0.9, "prior_b_sd": 0.2}),
    ("grouped-listed-mmax",
     {"extreme": str(EXAMPLES / "ext_l1.dat"),
      "complete": [{"file": str(EXAMPLES / "cp1900_l3.dat"), "layout": 3},
                   {"file": str(EXAMPLES / "cp1960_l3.dat"), "layout": 3}]},
     {"mmin": 3.3, "procedure": "none", "mmax": [7.0, 7.5], "sig_xmax": 0.3}),
    ("extremes-only", {"extreme": {"file": str(EXAMPLES / "ext_l2.dat"), "layout": 2}},
     {"mmin": 4.5, "hazard_magnitudes": [4.6, 5.5, 6.5, 9.0]}),
    ("complete-only", {"complete": [str(EXAMPLES / "cp1900_l1.dat"),
                                    str(EXAMPLES / "cp1960_l1.dat")]},
     {"mmin": 3.4, "xmax": 6.9, "span_t": 150.0}),
] + [(f"random-{seed}", seed, {"procedure": ("cramer", "bayes")[seed % 2]})
     for seed in range(1, 7)]

ANALYSIS_KEYS = {"procedure": "procedure", "sig_xmax": "sig_xmax", "xmax": "xmax",
                 "span_t": "span_t", "mmax": "mmax_values"}
RESULT_FIELDS = [("beta", "beta"), ("sd_beta", "sd_beta"), ("lambda", "lambda_"),
                 ("sd_lambda", "sd_lambda"), ("b", "b"), ("sd_b", "sd_b"), ("mmax", "mmax"),
                 ("sd_mmax", "sd_mmax"), ("transmission", "transmission_coefficient")]


@pytest.fixture(scope="module")
def job(tmp_path_factory):
    """The job over every zone; random catalogs written into its folder."""
    folder = tmp_path_factory.mktemp("identity")
    zones = []
    for name, files, settings in ZONES:
        settings = dict(settings)
        if isinstance(files, int):
            (folder / name).mkdir()
            written = write_random_catalog(folder / name, seed=files)
            files = {"extreme": str(written["extreme"]),
                     "complete": [str(p) for p in written["complete"]]}
            settings["mmin"] = round(written["lowest"] - 0.1, 2)
        zones.append({"name": name, **files, **settings})
    job = {"output": str(folder / "tool"), "defaults": {"hazard_spans": SPANS}, "zone": zones}
    (folder / "job.toml").write_text(qev.job_to_toml(job))
    subprocess.run([str(TOOL), "--quiet", "--jobs", "2", str(folder / "job.toml")], check=True)
    return folder, job


def python_analysis(zone):
    def layout(entry):
        return (entry["file"], entry["layout"]) if isinstance(entry, dict) else (entry, 1)

    catalog = qev.Catalog(
        None if "extreme" not in zone else qev.read_extreme_file(*layout(zone["extreme"])),
        tuple(qev.read_complete_file(*layout(c)) for c in zone.get("complete", [])))
    options = {ANALYSIS_KEYS[k]: v for k, v in zone.items() if k in ANALYSIS_KEYS}
    if "procedure" in options and options["procedure"] == "none":
        options["procedure"] = None
    return qev.analyze(catalog, mmin=zone["mmin"],
                       prior_b=(zone.get("prior_b", 1.0), zone.get("prior_b_sd", 0.1)), **options)


def same(a, b) -> bool:
    """The same float, NaN included."""
    return np.float32(a) == np.float32(b) or (np.isnan(a) and np.isnan(b))


def test_analyze_and_hazard_give_the_floats_of_the_batch_tool(job):
    folder, job_dict = job
    from qev._batch import _read_table

    results = {r["zone"]: r for r in _read_table(folder / "tool" / "results.csv")}
    hazard = _read_table(folder / "tool" / "hazard.csv")
    compared = 0
    for zone in job_dict["zone"]:
        row = results[zone["name"]]
        assert row["status"] == "ok", row
        r = python_analysis(zone)
        for column, field in RESULT_FIELDS:
            assert same(row[column], getattr(r, field)), (zone["name"], column)
        assert same(row["xmax"], r.settings.xmax) and same(row["mmin"], r.settings.mmin)
        runs = [run.split(":") for run in row["runs"].split()]
        assert len(runs) == len(r.runs)
        for (mmax, suggested, iterations, _), run in zip(runs, r.runs):
            assert same(float(np.float32(mmax)), run.mmax) and int(iterations) == run.iterations
            assert (suggested in ("", "nan") and run.suggested_mmax is None) or \
                same(float(np.float32(suggested)), run.suggested_mmax)
        rows = [h for h in hazard if h["zone"] == zone["name"]]
        magnitudes = sorted({h["magnitude"] for h in rows})
        table = r.hazard(magnitudes if "hazard_magnitudes" in zone else None, SPANS)
        assert np.array_equal(table.magnitude, np.float32(magnitudes))
        for h in rows:
            i = int(np.flatnonzero(table.magnitude == np.float32(h["magnitude"]))[0])
            j = SPANS.index(h["span"])
            assert same(h["annual_rate"], table.annual_rate[i])
            assert same(h["return_period"], table.return_period[i])
            assert same(h["exceedance_probability"], table.probabilities[i, j])
            compared += 1
    assert compared > 100


def test_run_batch_writes_the_files_of_the_tool(job):
    folder, job_dict = job
    result = qev.run_batch({**job_dict, "output": str(folder / "python")}, threads=2)
    assert result.failed == 0 and result.tasks == len(ZONES)
    for name in ("results.csv", "results.jsonl", "hazard.csv", "summary.csv"):
        assert filecmp.cmp(folder / "tool" / name, folder / "python" / name, shallow=False), name
    assert [r["beta"] for r in result.results] == list(result.column("beta"))
