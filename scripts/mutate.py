#!/usr/bin/python3
"""Mutation run: how many planted one-line faults the test suite catches.

Each mutant of scripts/mutants.tsv changes one source line (a comparison or
arithmetic operator, or a constant). For each one in turn the script plants
it, builds the tests incrementally in a build directory of its own, runs the
tests and puts the original file back. A mutant is

  killed        a test failed or timed out,
  survived      every test passed (a hint of a gap in the tests),
  stillborn     the mutated source did not build (not counted as killed),
  not applicable  its snippet is gone from the sources or is ambiguous.

The snippet is looked for in the hinted file first; when that file is gone or
no longer holds it, anywhere under src/ and include/. It must occur exactly
once where it is found, else the mutant is not applicable: the script never
guesses.

Every planted mutant is undone from a saved copy, also after Ctrl-C, a
termination signal or a crash of the script; a run killed outright leaves a
journal that the next start of the script (or --restore) undoes first.

  scripts/mutate.py                     every mutant, results in the build dir
  scripts/mutate.py --only 3,17,40      a subset
  scripts/mutate.py --list              where each mutant applies, or why not
  scripts/mutate.py --count-lines       test and code line counts
  scripts/mutate.py --compare OLD NEW   mutants killed in OLD but not in NEW
  scripts/mutate.py --out docs/mutation-baseline.txt   the committed record
  scripts/mutate.py --random 60 --seed 7 --dirs src/events,src/batch
                                        a random sample instead of the list

A random sample is drawn from the code lines of the folders given: a line that
holds a mutable token (a comparison, arithmetic or logical operator, a number,
true or false, ++ or --, the value of a return statement), then one mutation
of one of its tokens. Comments, literals and preprocessor lines are left out.
The sample is written beside the results as a mutant list (FILE.mutants.tsv,
each mutant hinted with the file and line it was drawn from), which --mutants
and --only run again.

To keep a mutant cheap the unit-test binary is built and run first (with the
programs it starts); only a mutant it lets live has everything built and the
whole suite run.

Standard library only; run with /usr/bin/python3.
"""

import argparse
import dataclasses
import datetime
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_MUTANTS = ROOT / "scripts" / "mutants.tsv"
SEARCH_ROOTS = ("src", "include")
SOURCE_SUFFIXES = (".cpp", ".h")
# The journal of a planted mutant and the saved original: one fixed place in
# the worktree (ignored by git like every build folder), whatever build
# directory a run uses, so that any later start finds what is left to undo.
STATE_DIR = ROOT / "build-mutate" / "mutate-state"
# Everything the suite runs: the tests, the programs, the Python module and the
# manual pages that the install check installs.
BUILD_TARGET = "all"
# The unit tests alone, with the programs they start: built and run first; a
# mutant they kill needs neither the rest of the build nor the rest of the suite.
# They stop at the first failure; the tests that take longer than SLOW_SECONDS
# on the unmutated sources are left to the whole suite.
FAST_TARGET = "qev_tests"
SLOW_SECONDS = 5.0

# Line counts of the test budget: tests against the program.
TEST_DIRS = ("tests", "fuzz")
CODE_DIRS = ("src", "include", "tools")


@dataclasses.dataclass
class Mutant:
    ident: int
    hint: str
    snippet: str
    replacement: str
    description: str


@dataclasses.dataclass
class Place:
    path: Path
    start: int
    end: int

    def line(self, text):
        return text.count("\n", 0, self.start) + 1


@dataclasses.dataclass
class Outcome:
    ident: int
    status: str  # killed, survived, stillborn, not-applicable
    place: str
    seconds: float
    detail: str


class Interrupted(Exception):
    pass


# ---------------------------------------------------------------- mutant list


def read_mutants(path):
    mutants = []
    seen = set()
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not raw.strip() or raw.startswith("#"):
            continue
        fields = raw.split("\t")
        if len(fields) != 5:
            sys.exit(f"{path}:{number}: expected 5 tab-separated fields, found {len(fields)}")
        ident, hint, snippet, replacement, description = fields
        if not ident.isdigit():
            sys.exit(f"{path}:{number}: the id '{ident}' is not a number")
        if int(ident) in seen:
            sys.exit(f"{path}:{number}: the id {ident} is used twice")
        if snippet == replacement:
            sys.exit(f"{path}:{number}: the replacement equals the snippet")
        if "\n" in replacement:
            sys.exit(f"{path}:{number}: the replacement must stay on one line")
        seen.add(int(ident))
        mutants.append(Mutant(int(ident), hint, snippet, replacement, description))
    return mutants


def snippet_pattern(snippet):
    """The snippet as a regular expression that also matches it when a
    formatter has moved a line break into it: blanks match any white space,
    and white space may appear between two tokens that touch."""
    tokens = re.findall(r"\s+|\w+|\S", snippet.strip())
    parts = []
    previous_blank = True
    for token in tokens:
        if token.isspace():
            parts.append(r"\s+")
            previous_blank = True
            continue
        if not previous_blank:
            parts.append(r"\s*")
        parts.append(re.escape(token))
        previous_blank = False
    return re.compile("".join(parts))


def source_files():
    for root in SEARCH_ROOTS:
        base = ROOT / root
        if base.is_dir():
            for path in sorted(base.rglob("*")):
                if path.is_file() and path.suffix in SOURCE_SUFFIXES:
                    yield path


def find_spans(text, pattern):
    return [(m.start(), m.end()) for m in pattern.finditer(text)]


def split_hint(hint):
    """A hint is a file, or a file and the line the snippet was drawn from
    (FILE:LINE), which settles a snippet that occurs more than once in it."""
    match = re.fullmatch(r"(.+):(\d+)", hint)
    return (match.group(1), int(match.group(2))) if match else (hint, None)


def locate(mutant):
    """Where the mutant applies, or the reason it does not (a string)."""
    pattern = snippet_pattern(mutant.snippet)
    name, line = split_hint(mutant.hint)
    hint = ROOT / name
    if hint.is_file():
        text = hint.read_text(encoding="utf-8")
        spans = find_spans(text, pattern)
        if len(spans) > 1 and line is not None:
            spans = [s for s in spans if text.count("\n", 0, s[0]) + 1 == line] or spans
        if len(spans) == 1:
            return Place(hint, *spans[0])
        if len(spans) > 1:
            return f"ambiguous: the snippet occurs {len(spans)} times in {name}"
    hits = []
    for path in source_files():
        for span in find_spans(path.read_text(encoding="utf-8"), pattern):
            hits.append(Place(path, *span))
    if not hits:
        return "gone: the snippet is in no file under " + " or ".join(SEARCH_ROOTS)
    if len(hits) > 1:
        where = sorted({str(h.path.relative_to(ROOT)) for h in hits})
        return f"ambiguous: the snippet occurs {len(hits)} times ({', '.join(where)})"
    return hits[0]


def describe_place(place):
    text = place.path.read_text(encoding="utf-8")
    return f"{place.path.relative_to(ROOT)}:{place.line(text)}"


# ------------------------------------------------------------- random sample

# One mutation per kind of token. Binary operators are taken only with a blank
# on each side, as the house format writes them: that leaves out template
# brackets, pointers, references, unary signs and the arrow.
BINARY_SWAPS = {
    "<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
    "+": "-", "-": "+", "*": "/", "/": "*", "%": "*",
    "+=": "-=", "-=": "+=", "*=": "/=", "/=": "*=",
    "&&": "||", "||": "&&",
}
BINARY_KIND = {
    "<": "comparison", "<=": "comparison", ">": "comparison", ">=": "comparison",
    "==": "comparison", "!=": "comparison", "&&": "logical", "||": "logical",
}
TOKEN = re.compile(
    r"(?<=\s)(?P<binary><=|>=|==|!=|\+=|-=|\*=|/=|&&|\|\||[<>+\-*/%])(?=\s)"
    r"|(?P<step>\+\+|--)"
    r"|(?<![\w.])(?P<number>(?:\d+\.\d*|\.\d+|\d+)(?:[eE][+-]?\d+)?)(?P<suffix>[fFuUlL]*)(?![\w.'])"
    r"|\b(?P<boolean>true|false)\b"
)
# A whole return statement on one line: its value becomes the type's default.
RETURN = re.compile(r"\breturn\s+(?P<value>[^;{}]+?|\{[^;]+\});\s*$")


def mutate_number(text, suffix):
    """0 becomes 1, 1 becomes 0, another integer grows by one, a real doubles."""
    if re.fullmatch(r"\d+", text) and "f" not in suffix.lower():
        value = int(text)
        return str(1 - value if value <= 1 else value + 1) + suffix
    value = float(text)
    changed = 1.0 if value == 0.0 else 2.0 * value
    shown = repr(changed)
    return (shown if "." in shown or "e" in shown else shown + ".0") + suffix


def joins_text(code, start, end):
    """Whether the operator between start and end has a string literal (masked
    to quote marks) right beside it."""
    return code[:start].rstrip().endswith('"') or code[end:].lstrip().startswith('"')


def mutations_of_line(code):
    """Every one-token mutation of a line whose comments and literals are
    masked: (start, end, replacement, kind) in the line's columns."""
    found = []
    for m in TOKEN.finditer(code):
        if m.group("binary"):
            op = m.group("binary")
            if op in ("+", "+=") and joins_text(code, m.start(), m.end()):
                continue  # text joined to text: minus would not build
            kind = BINARY_KIND.get(op, "arithmetic")
            found.append((m.start("binary"), m.end("binary"), BINARY_SWAPS[op], kind))
        elif m.group("step"):
            op = m.group("step")
            found.append((m.start(), m.end(), "--" if op == "++" else "++", "increment"))
        elif m.group("number"):
            new = mutate_number(m.group("number"), m.group("suffix"))
            found.append((m.start(), m.end(), new, "constant"))
        elif m.group("boolean"):
            new = "false" if m.group("boolean") == "true" else "true"
            found.append((m.start(), m.end(), new, "boolean"))
    returned = RETURN.search(code)
    if returned and returned.group("value").strip() != "{}":
        found.append((returned.start("value"), returned.end("value"), "{}", "return value"))
    return found


def candidate_lines(dirs):
    """(path, line number, source line, mutations) of every code line that
    holds a mutable token; preprocessor lines and their continuations left out."""
    candidates = []
    for d in dirs:
        base = ROOT / d
        if not base.is_dir():
            sys.exit(f"no folder {d}")
        for path in sorted(base.rglob("*")):
            if not (path.is_file() and path.suffix in SOURCE_SUFFIXES):
                continue
            source = path.read_text(encoding="utf-8").splitlines()
            continued = False
            for number, code in enumerate(masked_lines("\n".join(source)), 1):
                directive = continued or code.lstrip().startswith("#")
                continued = directive and code.rstrip().endswith("\\")
                if directive or not code.strip() or "\t" in source[number - 1]:
                    continue
                found = mutations_of_line(code)
                if found:
                    candidates.append((path, number, source[number - 1], found))
    return candidates


def draw_sample(dirs, count, seed):
    """count mutants, at most one per line: a line drawn at random among those
    with a mutable token, then one of its tokens. Mutants whose line reads
    the same afterwards are skipped. The same seed and sources give the same
    sample."""
    generator = random.Random(seed)
    candidates = candidate_lines(dirs)
    order = generator.sample(range(len(candidates)), len(candidates))
    mutants = []
    for index in order:
        if len(mutants) == count:
            break
        path, number, line, found = candidates[index]
        start, end, new, kind = found[generator.randrange(len(found))]
        mutated = line[:start] + new + line[end:]
        if mutated.strip() == line.strip():
            continue
        relative = path.relative_to(ROOT)
        description = f"{kind}: {line[start:end]} -> {new}"
        mutants.append(Mutant(len(mutants) + 1, f"{relative}:{number}", line.strip(),
                              mutated.strip(), description))
    if len(mutants) < count:
        sys.exit(f"only {len(mutants)} mutable lines in {', '.join(dirs)}")
    return mutants


def write_mutants(path, mutants, heading):
    """The sample as a mutant list that --mutants reads back."""
    lines = [f"# {h}" for h in heading]
    lines += [f"{m.ident}\t{m.hint}\t{m.snippet}\t{m.replacement}\t{m.description}"
              for m in mutants]
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


# ------------------------------------------------------- planting and undoing


HELD_SIGNALS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}


class SignalsHeld:
    """Holds back Ctrl-C and termination signals while a file and its journal
    are being changed; they arrive as soon as the change is complete."""

    def __enter__(self):
        self.previous = signal.pthread_sigmask(signal.SIG_BLOCK, HELD_SIGNALS)

    def __exit__(self, *exc):
        signal.pthread_sigmask(signal.SIG_SETMASK, self.previous)
        return False


class Planter:
    """Plants one mutant at a time and always puts the original back.

    Before a file is changed, its original bytes are copied beside a journal
    in STATE_DIR; the journal is removed only once the original is back and
    checked."""

    def __init__(self, state_dir=STATE_DIR):
        self.state_dir = state_dir
        self.journal = self.state_dir / "journal.json"

    def restore_pending(self):
        """Undoes a mutant left planted by a run that was killed outright.
        Returns the file put back, or None."""
        with SignalsHeld():
            return self._restore()

    def _restore(self):
        if not self.journal.exists():
            return None
        entry = json.loads(self.journal.read_text(encoding="utf-8"))
        target = Path(entry["path"])
        backup = Path(entry["backup"])
        original = backup.read_bytes()
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(original)
        if target.read_bytes() != original:
            raise RuntimeError(f"could not put {target} back; its original is in {backup}")
        self.journal.unlink()
        backup.unlink()
        return target

    def plant(self, place, replacement):
        with SignalsHeld():
            self._plant(place, replacement)

    def _plant(self, place, replacement):
        self.state_dir.mkdir(parents=True, exist_ok=True)
        original = place.path.read_bytes()
        backup = self.state_dir / "original"
        backup.write_bytes(original)
        temporary = self.state_dir / "journal.tmp"
        temporary.write_text(json.dumps({"path": str(place.path), "backup": str(backup)}),
                             encoding="utf-8")
        os.replace(temporary, self.journal)
        text = original.decode("utf-8")
        mutated = text[: place.start] + replacement + text[place.end:]
        place.path.write_bytes(mutated.encode("utf-8"))


# ------------------------------------------------------- building and testing


class Runner:
    def __init__(self, build_dir, jobs, suite_timeout, log_dir):
        self.build_dir = build_dir
        self.jobs = jobs
        self.suite_timeout = suite_timeout
        self.log_dir = log_dir
        self.fast_timeout = 600
        self.slow_tests = []
        self.fast_times = []
        self.child = None

    def run(self, command, timeout, log):
        """Runs a command in its own process group; returns (exit status or
        None on time-out, output)."""
        with open(log, "w", encoding="utf-8", errors="replace") as out:
            self.child = subprocess.Popen(
                command, cwd=self.build_dir, stdout=out, stderr=subprocess.STDOUT,
                start_new_session=True,
            )
            try:
                status = self.child.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.stop_child()
                status = None
            except BaseException:
                self.stop_child()
                raise
            finally:
                self.child = None
        return status, Path(log).read_text(encoding="utf-8", errors="replace")

    def stop_child(self):
        """Ends the process group of the command this runner started."""
        child = self.child
        if child is None or child.poll() is not None:
            return
        try:
            os.killpg(child.pid, signal.SIGTERM)
            child.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
        except ProcessLookupError:
            pass

    def configure(self):
        self.build_dir.mkdir(parents=True, exist_ok=True)
        launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
        status, output = self.run(
            ["cmake", "-S", str(ROOT), "-B", str(self.build_dir),
             "-DCMAKE_BUILD_TYPE=RelWithDebInfo"] + launcher,
            600, self.log_dir / "configure.log")
        if status != 0:
            sys.exit("cmake configure failed:\n" + output[-3000:])

    def build(self, name, target=BUILD_TARGET):
        return self.run(
            ["cmake", "--build", str(self.build_dir), "-j", str(self.jobs), "--target", target],
            1800, self.log_dir / f"{name}-{target}-build.log")

    def fast_test(self, name):
        """Runs the unit-test binary alone. Returns (exit status or None on
        time-out, failing tests)."""
        command = [str(self.build_dir / FAST_TARGET), "--gtest_fail_fast"]
        if self.slow_tests:
            command.append("--gtest_filter=-" + ":".join(self.slow_tests))
        status, output = self.run(command, self.fast_timeout, self.log_dir / f"{name}-fast.log")
        if status == 0:
            self.fast_times = [(float(ms) / 1000.0, test) for test, ms in
                               re.findall(r"^\[       OK \] (\S+) \((\d+) ms\)", output, re.M)]
        failed = re.findall(r"^\[  FAILED  \] (\S+\.\S+)", output, re.M)
        return status, list(dict.fromkeys(failed))  # each named once, not again in the summary

    def test(self, name):
        """Runs the whole suite. Each test keeps the time limit the project
        gives it; the suite as a whole is stopped after suite_timeout seconds.
        Returns (exit status or None, output, failing tests, timed out)."""
        failed_list = self.build_dir / "Testing" / "Temporary" / "LastTestsFailed.log"
        if failed_list.exists():
            failed_list.unlink()
        status, output = self.run(["ctest", "-j", str(self.jobs)], self.suite_timeout,
                                  self.log_dir / f"{name}-test.log")
        if status is None:  # stopped: the tests that had started and not finished
            started = dict(re.findall(r"Start\s+(\d+): (\S+)", output))
            finished = set(re.findall(r"Test\s+#(\d+):", output))
            failed = [test for n, test in started.items() if n not in finished]
        else:
            failed = []
            if failed_list.exists():
                for line in failed_list.read_text(encoding="utf-8").splitlines():
                    failed.append(line.split(":", 1)[-1].split("  #")[0])
        timed_out = status is None or "***Timeout" in output
        return status, output, failed, timed_out


def tests_ran(output):
    match = re.search(r"(\d+)% tests passed, (\d+) tests? failed out of (\d+)", output)
    return int(match.group(3)) if match else 0


def baseline(runner, whole_suite=True):
    """The unmutated sources must build and pass, or no mutant means anything."""
    status, output = runner.build("baseline")
    if status != 0:
        sys.exit("the unmutated sources do not build:\n" + output[-3000:])
    status, failed = runner.fast_test("baseline")
    if status != 0:
        sys.exit(f"the unmutated sources fail {FAST_TARGET} (" + ", ".join(failed) + ")")
    runner.slow_tests += [test for seconds, test in runner.fast_times if seconds > SLOW_SECONDS]
    rest = sum(seconds for seconds, test in runner.fast_times if seconds <= SLOW_SECONDS)
    runner.fast_timeout = max(60, round(10 * rest))
    print(f"baseline: {FAST_TARGET} passes; {len(runner.slow_tests)} tests skipped or slower than "
          f"{SLOW_SECONDS:.0f} s left to the whole suite, the rest takes {rest:.0f} s", flush=True)
    if not whole_suite:
        return 0, None
    start = time.monotonic()
    status, output, failed, timed_out = runner.test("baseline")
    if status != 0 or tests_ran(output) == 0:
        sys.exit("the unmutated sources fail their tests (" + ", ".join(failed) + "):\n"
                 + output[-3000:])
    seconds = time.monotonic() - start
    print(f"baseline: {tests_ran(output)} tests pass in {seconds:.0f} s", flush=True)
    return tests_ran(output), seconds


def try_mutant(mutant, planter, runner, unit_only=False):
    found = locate(mutant)
    if isinstance(found, str):
        return Outcome(mutant.ident, "not-applicable", "-", 0.0, found)
    place = describe_place(found)
    start = time.monotonic()
    planter.plant(found, mutant.replacement)
    try:
        name = f"mutant-{mutant.ident}"
        for target in (FAST_TARGET, BUILD_TARGET):
            status, output = runner.build(name, target)
            if status != 0:
                reason = "build timed out" if status is None else "does not build"
                errors = [l.strip() for l in output.splitlines() if "error" in l][:1]
                detail = reason + (": " + errors[0] if errors else "")
                return Outcome(mutant.ident, "stillborn", place, time.monotonic() - start, detail)
            if target == FAST_TARGET:
                status, failed = runner.fast_test(name)
                if status != 0:
                    shown = ", ".join(failed[:3]) + (", ..." if len(failed) > 3 else "")
                    detail = (f"{FAST_TARGET} timed out after {runner.fast_timeout} s"
                              if status is None else f"{FAST_TARGET}: {len(failed)} failed: {shown}")
                    return Outcome(mutant.ident, "killed", place, time.monotonic() - start, detail)
                if unit_only:
                    return Outcome(mutant.ident, "survived", place, time.monotonic() - start,
                                   f"{FAST_TARGET} passed (the whole suite not run)")
        status, output, failed, timed_out = runner.test(name)
        seconds = time.monotonic() - start
        if status == 0 and not timed_out:
            return Outcome(mutant.ident, "survived", place, seconds,
                           f"all {tests_ran(output)} tests passed")
        if timed_out:
            cut = f" (suite stopped after {runner.suite_timeout} s)" if status is None else ""
            detail = "timeout" + cut + (": " + ", ".join(failed[:3]) if failed else "")
        else:
            shown = ", ".join(failed[:3]) + (", ..." if len(failed) > 3 else "")
            detail = f"{len(failed)} failed: {shown}" if failed else f"ctest exit {status}"
        return Outcome(mutant.ident, "killed", place, seconds, detail)
    finally:
        planter.restore_pending()


# ------------------------------------------------------------------- reports

STATUSES = ("killed", "survived", "stillborn", "not-applicable")


def summary_lines(outcomes, mutants_by_id):
    counts = {s: sum(1 for o in outcomes if o.status == s) for s in STATUSES}
    viable = counts["killed"] + counts["survived"]
    share = f"{100.0 * counts['killed'] / viable:.1f}%" if viable else "-"
    lines = [
        f"mutants {len(outcomes)}: killed {counts['killed']}, survived {counts['survived']}, "
        f"stillborn {counts['stillborn']}, not applicable {counts['not-applicable']}",
        f"killed of those that built and ran: {counts['killed']}/{viable} = {share}",
    ]
    survivors = [o for o in outcomes if o.status == "survived"]
    if survivors:
        lines.append("survivors:")
        for o in survivors:
            lines.append(f"  {o.ident:3d}  {o.place}  {mutants_by_id[o.ident].description}")
    return lines


def git_commit():
    try:
        return subprocess.run(["git", "describe", "--always", "--dirty", "--abbrev=12"],
                              cwd=ROOT, capture_output=True, text=True,
                              check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def write_results(path, header, outcomes, mutants_by_id, complete):
    lines = [f"# {h}" for h in header]
    if not complete:
        lines.append("# INCOMPLETE: the run has not finished or was interrupted")
    lines += [f"# {line}" for line in summary_lines(outcomes, mutants_by_id)]
    lines.append("# id\tstatus\tplace\tseconds\tdetail\toriginal\tmutated")
    for o in outcomes:
        m = mutants_by_id[o.ident]
        lines.append(f"{o.ident}\t{o.status}\t{o.place}\t{o.seconds:.1f}\t{o.detail}"
                     f"\t{m.snippet}\t{m.replacement}")
    path.parent.mkdir(parents=True, exist_ok=True)
    temporary = path.with_name(path.name + ".tmp")
    temporary.write_text("\n".join(lines) + "\n", encoding="utf-8")
    os.replace(temporary, path)


def read_results(path):
    results = {}
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        if line.startswith("#") or not line.strip():
            continue
        fields = line.split("\t")
        results[int(fields[0])] = fields[1]
    return results


def compare(old_path, new_path):
    old, new = read_results(old_path), read_results(new_path)
    lost = sorted(i for i, s in old.items() if s == "killed" and new.get(i) != "killed")
    gained = sorted(i for i, s in new.items() if s == "killed" and old.get(i) != "killed")
    for name, results in ((old_path, old), (new_path, new)):
        killed = sum(1 for s in results.values() if s == "killed")
        print(f"{name}: {killed} killed of {len(results)}")
    print("killed before, not after:", ", ".join(map(str, lost)) or "none")
    print("killed after, not before:", ", ".join(map(str, gained)) or "none")
    return 1 if lost else 0


# ---------------------------------------------------------------- line counts


def masked_lines(text):
    """The lines of a C++ source with comments blanked out and the contents of
    string, character and raw string literals replaced by quote marks, column
    for column: what is left of a line is its code, and no operator or number
    inside a comment or a literal is seen as one."""
    masked = []
    in_block = False
    raw_end = None  # closing delimiter of an open raw string literal
    for line in text.splitlines():
        out = list(line)
        i = 0
        n = len(line)

        def blank(a, b, fill):
            for k in range(a, min(b, n)):
                out[k] = fill

        while i < n:
            if raw_end is not None:
                j = line.find(raw_end, i)
                if j < 0:
                    blank(i, n, '"')
                    break
                blank(i, j + len(raw_end), '"')
                i = j + len(raw_end)
                raw_end = None
                continue
            if in_block:
                j = line.find("*/", i)
                if j < 0:
                    blank(i, n, " ")
                    break
                blank(i, j + 2, " ")
                in_block = False
                i = j + 2
                continue
            c = line[i]
            if line.startswith("//", i):
                blank(i, n, " ")
                break
            if line.startswith("/*", i):
                in_block = True
                blank(i, i + 2, " ")
                i += 2
                continue
            if c.isspace():
                i += 1
                continue
            raw = re.match(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(', line[i:])
            if raw:
                raw_end = ")" + raw.group(1) + '"'
                blank(i, i + raw.end(), '"')
                i += raw.end()
                continue
            if c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isalnum()):
                j = i + 1
                while j < n and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                blank(i, j + 1, '"')
                i = j + 1
                continue
            i += 1
        masked.append("".join(out))
    return masked


def code_lines(text):
    """Non-blank lines that hold something besides comments (C++ lexing of
    comments, string, character and raw string literals)."""
    return sum(1 for line in masked_lines(text) if line.strip())


def count_tree(dirs):
    total = 0
    for d in dirs:
        base = ROOT / d
        if base.is_dir():
            for path in base.rglob("*"):
                if path.is_file() and path.suffix in SOURCE_SUFFIXES:
                    total += code_lines(path.read_text(encoding="utf-8", errors="replace"))
    return total


def line_count_text():
    tests = count_tree(TEST_DIRS)
    code = count_tree(CODE_DIRS)
    return (f"lines of C++ (non-blank, non-comment, .cpp/.h): tests ({' '.join(TEST_DIRS)}) "
            f"{tests}, code ({' '.join(CODE_DIRS)}) {code}, ratio {tests / code:.2f}")


# ----------------------------------------------------------------------- main


def parse_only(text):
    try:
        return {int(part) for part in text.split(",") if part.strip()}
    except ValueError:
        raise argparse.ArgumentTypeError("expected ids such as 3,17,40")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mutants", type=Path, default=DEFAULT_MUTANTS, help="mutant list")
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build-mutate",
                        help="build directory of the run (default build-mutate)")
    parser.add_argument("--only", type=parse_only, help="run only these ids, e.g. 3,17,40")
    parser.add_argument("--list", action="store_true", help="show where each mutant applies")
    parser.add_argument("--restore", action="store_true",
                        help="only undo a mutant left by an interrupted run")
    parser.add_argument("--count-lines", action="store_true", help="print the line counts")
    parser.add_argument("--compare", nargs=2, metavar=("OLD", "NEW"),
                        help="compare two result files; exit 1 if NEW kills fewer of OLD's")
    parser.add_argument("--out", type=Path,
                        help="result file (default: mutation-results.txt in the build dir)")
    parser.add_argument("--jobs", type=int, default=2, help="build and test jobs (default 2)")
    parser.add_argument("--suite-timeout", type=int,
                        help="seconds the whole suite may run for one mutant (default: ten "
                        "times the unmutated suite's time, at least 120)")
    parser.add_argument("--skip-baseline", action="store_true",
                        help="do not first check that the unmutated sources pass")
    parser.add_argument("--unit-baseline", action="store_true",
                        help=f"check the unmutated sources with {FAST_TARGET} alone (the whole "
                        "suite having just passed on them)")
    parser.add_argument("--unit-only", action="store_true",
                        help=f"run {FAST_TARGET} alone on each mutant: a survivor is one it lets "
                        "live (the killed share is then a lower bound)")
    parser.add_argument("--unit-skip", default="", metavar="TESTS",
                        help=f"{FAST_TARGET} tests (gtest patterns, separated by ':') left to the "
                        "whole suite, e.g. tests whose timing fails on a loaded machine")
    parser.add_argument("--random", type=int, metavar="N",
                        help="instead of the list, N mutants drawn at random from the code "
                        "lines of --dirs; the sample is written beside the results as a list")
    parser.add_argument("--seed", type=int, default=1, help="seed of the random draw (default 1)")
    parser.add_argument("--dirs", default="src/events,src/estimation,src/batch",
                        help="folders of the random draw, separated by commas")
    args = parser.parse_args()

    if args.count_lines:
        print(line_count_text())
        return 0
    if args.compare:
        return compare(*args.compare)

    build_dir = args.build_dir.resolve()
    planter = Planter()
    left = planter.restore_pending()
    if left is not None:
        print(f"put back {left.relative_to(ROOT)}, left mutated by an interrupted run")
    if args.restore:
        if left is None:
            print("nothing to put back")
        return 0

    out = args.out or build_dir / "mutation-results.txt"
    if args.random:
        dirs = [d.strip() for d in args.dirs.split(",") if d.strip()]
        mutants = draw_sample(dirs, args.random, args.seed)
        source = (f"--random {args.random} --seed {args.seed} --dirs {','.join(dirs)} "
                  f"(commit {git_commit()})")
        args.mutants = out.with_name(out.name + ".mutants.tsv")
        write_mutants(args.mutants, mutants, [f"random sample {source}"])
    else:
        mutants = read_mutants(args.mutants)
    by_id = {m.ident: m for m in mutants}
    if args.only:
        unknown = sorted(args.only - by_id.keys())
        if unknown:
            sys.exit("no such mutant: " + ", ".join(map(str, unknown)))
        mutants = [m for m in mutants if m.ident in args.only]

    if args.list:
        for m in mutants:
            found = locate(m)
            where = found if isinstance(found, str) else describe_place(found)
            print(f"{m.ident:3d}  {where}  {m.description}")
        return 0

    log_dir = build_dir / "mutate-logs"
    log_dir.mkdir(parents=True, exist_ok=True)
    runner = Runner(build_dir, args.jobs, args.suite_timeout or 300, log_dir)
    runner.slow_tests = [t for t in args.unit_skip.split(":") if t]

    def interrupt(signum, frame):
        raise Interrupted(signal.Signals(signum).name)

    for sig in HELD_SIGNALS:
        signal.signal(sig, interrupt)

    started = time.monotonic()
    started_at = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    outcomes = []
    complete = False
    header = []
    try:
        runner.configure()
        tests = 0
        if not args.skip_baseline:
            tests, seconds = baseline(runner, not args.unit_baseline)
            if args.suite_timeout is None and seconds is not None:
                runner.suite_timeout = max(120, round(10 * seconds))
        header = [
            f"mutation run of commit {git_commit()}, started {started_at}",
            f"mutants from {args.mutants.relative_to(ROOT) if args.mutants.is_relative_to(ROOT) else args.mutants}"
            + (f" (only {','.join(map(str, sorted(args.only)))})" if args.only else ""),
            f"build {build_dir.name} (RelWithDebInfo, -j{args.jobs}): target {FAST_TARGET} run "
            f"alone first (stopped after {runner.fast_timeout} s"
            + (f", without {', '.join(runner.slow_tests)}" if runner.slow_tests else "")
            + f"), then target {BUILD_TARGET} "
            f"and ctest for what it lets live, the suite stopped after {runner.suite_timeout} s"
            + (f"; the unmutated suite passes its {tests} tests" if tests else ""),
            line_count_text(),
        ]
        if args.unit_only:
            header.insert(3, f"--unit-only: {FAST_TARGET} alone on each mutant, the whole suite "
                          "not run; the killed share is a lower bound")
        for index, mutant in enumerate(mutants, 1):
            outcome = try_mutant(mutant, planter, runner, args.unit_only)
            outcomes.append(outcome)
            print(f"[{index}/{len(mutants)}] {outcome.ident:3d} {outcome.status:14s} "
                  f"{outcome.place}  {outcome.seconds:.0f} s  {outcome.detail}", flush=True)
            write_results(out, header, outcomes, by_id, False)
        complete = True
        # Leave the build directory built from the sources as they are.
        runner.build("final", FAST_TARGET if args.unit_only else BUILD_TARGET)
    except Interrupted as stop:
        print(f"interrupted ({stop}); the sources are back as they were", file=sys.stderr)
    finally:
        runner.stop_child()
        planter.restore_pending()
        elapsed = time.monotonic() - started
        if outcomes:
            header.append(f"wall time {elapsed / 60:.1f} min for {len(outcomes)} mutants")
            write_results(out, header, outcomes, by_id, complete)
    for line in summary_lines(outcomes, by_id):
        print(line)
    print(f"wall time {elapsed / 60:.1f} min; " + (f"results in {out}" if outcomes else "no results"))
    return 0 if complete else 130


if __name__ == "__main__":
    sys.exit(main())
