"""The code of docs/python.md runs as written, and prints what the page shows.

Each ```python block runs in turn in one namespace; a ```text block right
after one is the output it must print, line for line. The blocks run in a
temporary folder holding a link to examples/ and a docs/figures/ folder, so the
page's relative paths work and the checked-in figures stay as they are.

`python3 python/tests/test_docs.py --write` runs the blocks in the source tree
instead: that redraws docs/figures/ and writes each block's output into the
```text block after it.
"""

import contextlib
import io
import os
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
PAGE = ROOT / "docs" / "python.md"
BLOCK = re.compile(r"^```(python|text)\n(.*?)^```$", re.M | re.S)


def blocks(page: str):
    """(code, expected output or None, span of the python block, span of its
    output block or None) for each python block of the page."""
    found = [(m.group(1), m.group(2), m.span()) for m in BLOCK.finditer(page)]
    out = []
    for i, (kind, body, span) in enumerate(found):
        if kind != "python":
            continue
        following = found[i + 1] if i + 1 < len(found) else None
        if following and following[0] == "text" and not page[span[1]:following[2][0]].strip():
            out.append((body, following[1], span, following[2]))
        else:
            out.append((body, None, span, None))
    return out


def run_page(folder: Path):
    """Runs every block with `folder` as working folder; yields (code,
    expected, printed)."""
    namespace = {"__name__": "docs"}
    here = os.getcwd()
    os.chdir(folder)
    try:
        for code, expected, _, _ in blocks(PAGE.read_text()):
            printed = io.StringIO()
            with contextlib.redirect_stdout(printed):
                exec(compile(code, str(PAGE), "exec"), namespace)
            yield code, expected, printed.getvalue()
    finally:
        os.chdir(here)
        import matplotlib.pyplot as plt

        plt.close("all")


def test_every_example_of_the_python_page_runs_and_prints_what_it_shows(tmp_path):
    (tmp_path / "examples").symlink_to(ROOT / "examples")
    (tmp_path / "docs" / "figures").mkdir(parents=True)
    checked = 0
    for code, expected, printed in run_page(tmp_path):
        if expected is not None:
            assert printed == expected, f"the block\n{code}\nprinted\n{printed}"
            checked += 1
    assert checked > 0
    figures = {p.name for p in (ROOT / "docs" / "figures").glob("python-*.png")}
    drawn = {p.name for p in (tmp_path / "docs" / "figures").glob("python-*.png")}
    assert drawn == figures and drawn


if __name__ == "__main__" and sys.argv[1:] == ["--write"]:
    import matplotlib

    matplotlib.use("Agg")
    page = PAGE.read_text()
    outputs = [printed for _, _, printed in run_page(ROOT)]
    # From the end, so that the spans before stay valid.
    for (_, _, code_span, text_span), printed in reversed(list(zip(blocks(page), outputs))):
        if text_span:
            page = page[:text_span[0]] + f"```text\n{printed}```" + page[text_span[1]:]
        elif printed:
            page = page[:code_span[1]] + f"\n\n```text\n{printed}```" + page[code_span[1]:]
    PAGE.write_text(page)
