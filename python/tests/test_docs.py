"""The code of docs/python.md runs as written, and prints what the page shows.

Each ```python block runs in turn in one namespace; a ```text block right
after one is the output it must print, line for line. The blocks start in a
temporary folder holding a link to examples/, as the top of a clone would; the
page's first block moves to a scratch folder of its own and writes the figures
into its figures/, which must then hold the page's figures by name.

`python3 python/tests/test_docs.py --write` starts the blocks in the source
tree instead, copies the figures drawn to docs/figures/ and writes each block's
output into the ```text block after it.
"""

import contextlib
import io
import os
import re
import shutil
import sys
import tempfile
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


def run_page(folder: Path, left: list):
    """Runs every block starting in `folder`; yields (code, expected,
    printed). `left` receives the working folder the blocks ended in."""
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
        left.append(Path(os.getcwd()))
        os.chdir(here)
        import matplotlib.pyplot as plt

        plt.close("all")


def test_every_example_of_the_python_page_runs_and_prints_what_it_shows(tmp_path, monkeypatch):
    start = tmp_path / "clone"
    start.mkdir()
    (start / "examples").symlink_to(ROOT / "examples")
    monkeypatch.setattr(tempfile, "tempdir", str(tmp_path))
    checked = 0
    left = []
    for code, expected, printed in run_page(start, left):
        if expected is not None:
            assert printed == expected, f"the block\n{code}\nprinted\n{printed}"
            checked += 1
    assert checked > 0
    # Nothing written beside the examples; everything in the scratch folder.
    assert sorted(p.name for p in start.iterdir()) == ["examples"]
    assert left[0] != start and left[0].parent == tmp_path
    figures = {p.name for p in (ROOT / "docs" / "figures").glob("python-*.png")}
    drawn = {p.name for p in (left[0] / "figures").glob("python-*.png")}
    assert drawn == figures and drawn


if __name__ == "__main__" and sys.argv[1:] == ["--write"]:
    import matplotlib

    matplotlib.use("Agg")
    page = PAGE.read_text()
    left = []
    outputs = [printed for _, _, printed in run_page(ROOT, left)]
    for figure in (left[0] / "figures").glob("python-*.png"):
        shutil.copyfile(figure, ROOT / "docs" / "figures" / figure.name)
    # From the end, so that the spans before stay valid.
    for (_, _, code_span, text_span), printed in reversed(list(zip(blocks(page), outputs))):
        if text_span:
            page = page[:text_span[0]] + f"```text\n{printed}```" + page[text_span[1]:]
        elif printed:
            page = page[:code_span[1]] + f"\n\n```text\n{printed}```" + page[code_span[1]:]
    PAGE.write_text(page)
