"""The random draw of scripts/mutate.py: which tokens of a line it mutates and
how, what it leaves alone, and that a drawn sample runs again as a list."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import mutate  # noqa: E402

# A line of C++ and every mutation the draw may make of it, as the line reads
# afterwards; an empty set: nothing in it is mutable.
LINES = [
    ("if (a < b) x = 2;", {"if (a <= b) x = 2;", "if (a < b) x = 3;"}),
    ("ok = a >= b && c != d;", {"ok = a > b && c != d;", "ok = a >= b || c != d;",
                                "ok = a >= b && c == d;"}),
    ("y = 0.25f * -x % n;", {"y = 0.5f * -x % n;", "y = 0.25f / -x % n;", "y = 0.25f * -x * n;"}),
    ("for (int i = 0; i < n; ++i) s += v[i];",
     {"for (int i = 1; i < n; ++i) s += v[i];", "for (int i = 0; i <= n; ++i) s += v[i];",
      "for (int i = 0; i < n; --i) s += v[i];", "for (int i = 0; i < n; ++i) s -= v[i];"}),
    ("return a - 1;", {"return a + 1;", "return a - 0;", "return {};"}),
    ("bool on = true;", {"bool on = false;"}),
    ("std::vector<std::int32_t> v = p->q;", set()),  # template brackets, names, arrow
    ("text = \"a < b\" + name + 'x';", set()),  # literals; text joined to text
    ("// a < b, 3", set()),
    ("x = y; /* 1 + 2 */", set()),
    ("return {};", set()),
]


@pytest.mark.parametrize("line,expected", LINES)
def test_mutations_of_a_line(line, expected):
    code = mutate.masked_lines(line)[0]
    found = {line[:start] + new + line[end:] for start, end, new, _ in
             mutate.mutations_of_line(code)}
    assert found == expected


SOURCE = """// header comment: 1 + 2
#include <vector>
#define TWICE(x) \\
  ((x) * 2)
int F(int a) {
  const char* s = R"(a < b
  c + 1)";
  if (a > 3) return a - 1;
  if (a > 3) return a - 1;
  return a * 2;
}
"""


@pytest.fixture
def tree(tmp_path, monkeypatch):
    (tmp_path / "src").mkdir()
    (tmp_path / "src" / "f.cpp").write_text(SOURCE)
    monkeypatch.setattr(mutate, "ROOT", tmp_path)
    return tmp_path


def test_the_draw_takes_code_lines_only_and_is_reproducible(tree):
    lines = {n for _, n, _, _ in mutate.candidate_lines(["src"])}
    assert lines == {8, 9, 10}  # not the comment, directives, the raw string
    first = mutate.draw_sample(["src"], 3, seed=11)
    assert first == mutate.draw_sample(["src"], 3, seed=11)
    assert sorted(m.hint for m in first) == ["src/f.cpp:10", "src/f.cpp:8", "src/f.cpp:9"]
    with pytest.raises(SystemExit):
        mutate.draw_sample(["src"], 4, seed=11)


def test_a_sample_runs_again_from_its_list_at_its_line(tree):
    sample = mutate.draw_sample(["src"], 3, seed=5)
    listed = tree / "sample.tsv"
    mutate.write_mutants(listed, sample, ["a sample"])
    again = mutate.read_mutants(listed)
    assert again == sample
    text = (tree / "src" / "f.cpp").read_text()
    for m in again:
        place = mutate.locate(m)  # lines 8 and 9 read the same: the line settles it
        assert isinstance(place, mutate.Place), place
        assert place.line(text) == int(m.hint.split(":")[1])
        mutated = text[:place.start] + m.replacement + text[place.end:]
        assert mutated != text and mutated.count("\n") == text.count("\n")
