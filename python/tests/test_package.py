"""What a user sees of the package itself: its version is the tools' version,
dir() lists the package's own names, and printed parts name their periods by
calendar dates."""

import re
import subprocess

import pytest

import qev
from conftest import ROOT, build_dir


def test_version_is_the_project_version_the_tools_print():
    project = re.search(r"project\(qev VERSION ([0-9.]+)",
                        (ROOT / "CMakeLists.txt").read_text()).group(1)
    assert qev.__version__ == project
    tool = build_dir() / "qev"
    if tool.exists():
        printed = subprocess.run([str(tool), "--version"], capture_output=True, text=True,
                                 check=True).stdout
        assert printed == f"qev {qev.__version__}\n"


def test_dir_lists_only_the_package_names():
    names = set(dir(qev))
    assert set(qev.__all__) <= names
    assert {"plots", "__version__"} <= names
    assert not names & {"np", "os", "math", "numbers", "Optional", "Iterable", "Sequence",
                        "dataclass", "field", "annotations", "calendar"}
    assert all(not n.startswith("_") or n.startswith("__") for n in names)


# Dates as the classic files give them, and the date a part prints for each:
# the last day of a month lies past the next month's twelfth, the days of a
# leap year, a first and a last day of a year, a date before the common era.
DATES = [(1900, 1, 1), (1959, 12, 31), (1960, 1, 1), (2000, 2, 29), (2000, 3, 1),
         (2024, 5, 15), (1500, 6, 30), (1899, 12, 31), (-44, 3, 15)]


@pytest.mark.parametrize("date", DATES, ids=[f"{y}-{m}-{d}" for y, m, d in DATES])
def test_printed_parts_show_their_dates(date):
    start = qev.decimal_year(*date)
    end = qev.decimal_year(2024, 5, 16)
    part = qev.CompletePart(start, end, 4.0, [4.5, 5.0], 0.1)
    y, m, d = date
    shown = f"{y:04d}-{m:02d}-{d:02d}" if y > 0 else f"{y}-{m:02d}-{d:02d}"
    assert repr(part).startswith(f"CompletePart({shown} to 2024-05-16, threshold=4,"), repr(part)
    extreme = qev.ExtremePart(start, end, [(start + end) / 2], [6.0], [0.2])
    assert repr(extreme).startswith(f"ExtremePart({shown} to 2024-05-16, 1 events"), repr(extreme)
