import os
import sys
from pathlib import Path

import pytest

TESTS = Path(__file__).resolve().parent
ROOT = TESTS.parents[1]
EXAMPLES = ROOT / "examples"
sys.path.insert(0, str(TESTS))


def build_dir() -> Path:
    """The CMake build folder whose tools the tests compare with."""
    return Path(os.environ.get("QEV_BUILD_DIR", ROOT / "build"))


@pytest.fixture(scope="session")
def example_catalog():
    import qev

    return qev.read_classic(extreme=EXAMPLES / "ext_l1.dat",
                            complete=[EXAMPLES / "cp1900_l2.dat", EXAMPLES / "cp1960_l2.dat"],
                            complete_layout="common_sd")
