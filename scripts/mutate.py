#!/usr/bin/python3
"""Mutation run: how many planted one-line faults the test suite catches.

Each mutant of scripts/mutants.tsv changes one source line (a comparison or
arithmetic operator, or a constant). For each one in turn the script plants
it, builds the tests incrementally in a build directory of its own, runs the
whole ctest suite and puts the original file back. A mutant is

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

Standard library only; run with /usr/bin/python3.
"""

import argparse
import dataclasses
import datetime
import json
import os
import re
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


def locate(mutant):
    """Where the mutant applies, or the reason it does not (a string)."""
    pattern = snippet_pattern(mutant.snippet)
    hint = ROOT / mutant.hint
    if hint.is_file():
        spans = find_spans(hint.read_text(encoding="utf-8"), pattern)
        if len(spans) == 1:
            return Place(hint, *spans[0])
        if len(spans) > 1:
            return f"ambiguous: the snippet occurs {len(spans)} times in {mutant.hint}"
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
        status, output = self.run(
            ["cmake", "-S", str(ROOT), "-B", str(self.build_dir),
             "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
            600, self.log_dir / "configure.log")
        if status != 0:
            sys.exit("cmake configure failed:\n" + output[-3000:])

    def build(self, name):
        return self.run(
            ["cmake", "--build", str(self.build_dir), "-j", str(self.jobs), "--target", BUILD_TARGET],
            1800, self.log_dir / f"{name}-build.log")

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


def baseline(runner):
    """The unmutated sources must build and pass, or no mutant means anything."""
    status, output = runner.build("baseline")
    if status != 0:
        sys.exit("the unmutated sources do not build:\n" + output[-3000:])
    start = time.monotonic()
    status, output, failed, timed_out = runner.test("baseline")
    if status != 0 or tests_ran(output) == 0:
        sys.exit("the unmutated sources fail their tests (" + ", ".join(failed) + "):\n"
                 + output[-3000:])
    seconds = time.monotonic() - start
    print(f"baseline: {tests_ran(output)} tests pass in {seconds:.0f} s", flush=True)
    return tests_ran(output), seconds


def try_mutant(mutant, planter, runner):
    found = locate(mutant)
    if isinstance(found, str):
        return Outcome(mutant.ident, "not-applicable", "-", 0.0, found)
    place = describe_place(found)
    start = time.monotonic()
    planter.plant(found, mutant.replacement)
    try:
        status, output = runner.build(f"mutant-{mutant.ident}")
        if status != 0:
            reason = "build timed out" if status is None else "does not build"
            errors = [l.strip() for l in output.splitlines() if "error" in l][:1]
            detail = reason + (": " + errors[0] if errors else "")
            return Outcome(mutant.ident, "stillborn", place, time.monotonic() - start, detail)
        status, output, failed, timed_out = runner.test(f"mutant-{mutant.ident}")
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
    lines.append("# id\tstatus\tplace\tseconds\tdetail")
    for o in outcomes:
        lines.append(f"{o.ident}\t{o.status}\t{o.place}\t{o.seconds:.1f}\t{o.detail}")
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


def code_lines(text):
    """Non-blank lines that hold something besides comments (C++ lexing of
    comments, string, character and raw string literals)."""
    count = 0
    in_block = False
    raw_end = None  # closing delimiter of an open raw string literal
    for line in text.splitlines():
        i = 0
        code = False
        n = len(line)
        while i < n:
            if raw_end is not None:
                code = True
                j = line.find(raw_end, i)
                if j < 0:
                    i = n
                    break
                i = j + len(raw_end)
                raw_end = None
                continue
            if in_block:
                j = line.find("*/", i)
                if j < 0:
                    i = n
                    break
                in_block = False
                i = j + 2
                continue
            c = line[i]
            if line.startswith("//", i):
                break
            if line.startswith("/*", i):
                in_block = True
                i += 2
                continue
            if c.isspace():
                i += 1
                continue
            code = True
            raw = re.match(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(', line[i:])
            if raw:
                raw_end = ")" + raw.group(1) + '"'
                i += raw.end()
                continue
            if c in "\"'":
                j = i + 1
                while j < n and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                i = j + 1
                continue
            i += 1
        if code:
            count += 1
    return count


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
    out = args.out or build_dir / "mutation-results.txt"
    runner = Runner(build_dir, args.jobs, args.suite_timeout or 300, log_dir)

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
            tests, seconds = baseline(runner)
            if args.suite_timeout is None:
                runner.suite_timeout = max(120, round(10 * seconds))
        header = [
            f"mutation run of commit {git_commit()}, started {started_at}",
            f"mutants from {args.mutants.relative_to(ROOT) if args.mutants.is_relative_to(ROOT) else args.mutants}"
            + (f" (only {','.join(map(str, sorted(args.only)))})" if args.only else ""),
            f"build {build_dir.name} (RelWithDebInfo, target {BUILD_TARGET}, -j{args.jobs}); "
            f"ctest, the suite stopped after {runner.suite_timeout} s"
            + (f"; the unmutated suite passes its {tests} tests" if tests else ""),
            line_count_text(),
        ]
        for index, mutant in enumerate(mutants, 1):
            outcome = try_mutant(mutant, planter, runner)
            outcomes.append(outcome)
            print(f"[{index}/{len(mutants)}] {outcome.ident:3d} {outcome.status:14s} "
                  f"{outcome.place}  {outcome.seconds:.0f} s  {outcome.detail}", flush=True)
            write_results(out, header, outcomes, by_id, False)
        complete = True
        # Leave the build directory built from the sources as they are.
        runner.build("final")
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
