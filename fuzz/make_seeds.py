#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses into fuzz/corpus/<harness>/.

The seeds are whole sessions (answer scripts with their catalog files), the
catalog files and console answers alone for the reader, and the program's own
format texts with fitting items for the formatter. Catalogs come from the
bundled examples (examples/, when present) and from the small test catalogs
below. Inputs that once made a harness fail are kept in fuzz/corpus/<harness>/
under names starting with "found-"; this script leaves those alone.

Run from anywhere: python3 fuzz/make_seeds.py
"""
import hashlib
import os
import re
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")

# ---------------------------------------------------------------- catalogs

COMPLETE_MAGS = ("4.0 4.1 4.0 4.2 4.3 4.1 4.4 4.0 4.2 4.3 4.1 4.0 4.4 4.2 4.1 4.0 4.3 4.2 4.1 4.4 "
                 "4.5 4.7 4.6 4.9 4.5 4.8 4.6 4.5 4.7 4.9 5.0 5.2 5.1 5.4 5.0 5.3 5.6 5.8 5.5 6.3").split()

COMPLETE_COMMON_SD = "1950 1 1\n1999 12 31\n4.0\n0.1\n" + "".join(m + "\n" for m in COMPLETE_MAGS)
COMPLETE_PER_EVENT_SD = "1960 0 0\n1999 0 0\n4.0\n" + "".join(
    "%s %.2f\n" % (m, 0.1 + 0.05 * (i % 4)) for i, m in enumerate(COMPLETE_MAGS))
COMPLETE_GROUPED = "1970 1 1\n1999 12 31\n4.5\n0.15\n21 4.5\n9 4.8\n5 5.1\n3 5.4\n1 5.9\n"
EXTREME_PER_EVENT_SD = ("1800 0 0\n1999 0 0\n1805 3 12 6.1 0.3\n1822 0 0 5.8 0.25\n1850 7 1 6.5 0.4\n"
                        "1871 2 2 5.9 0.3\n1890 11 30 6.0 0.2\n1911 1 16 6.8 0.2\n1935 0 0 5.7 0.1\n"
                        "1962 4 4 6.2 0.1\n1988 9 9 5.6 0.1\n")
EXTREME_COMMON_SD = ("1700,1,1\n1949,12,31\n0.3\n1703 5 5 6.6\n1751 0 0 6.0\n1799 12 31 6.9\n"
                     "1800 1 1 5.9\n1880 6 6 6.3\n1933 3 3 6.1\n")

INTRO = "\n\nout.txt\n"
SETUP = "1\n1\n0.2\n1\n1.0 0.1\n1\n"  # Mmin accepted, Xmax from the catalog, its error, procedure 1, prior, start


def session(datakind, catalog_answers, files, runs="0\n", hazard="0\n", spans="50 100 1000\n", setup=SETUP):
    text = INTRO + "1\n" + datakind + "\n" + spans + catalog_answers + setup + runs + hazard
    for name, body in files:
        text += "\n##FILE " + name + "\n" + body
    return text


def session_seeds():
    seeds = {
        "complete-common-sd": session("2", "2\n1\ncomp.dat\n", [("comp.dat", COMPLETE_COMMON_SD)], runs="6.8\n0\n"),
        "complete-per-event-sd": session("2", "1\n1\ncomp1.dat\n", [("comp1.dat", COMPLETE_PER_EVENT_SD)]),
        "complete-grouped-two-parts": session("2", "3\n2\ng1.dat\ng2.dat\n",
                                              [("g1.dat", COMPLETE_GROUPED), ("g2.dat", COMPLETE_GROUPED)]),
        "extreme-only": session("1", "1\next.dat\n", [("ext.dat", EXTREME_PER_EVENT_SD)],
                                runs="7.0\n7.2\n0\n", hazard="1\n6.0\n6.5\n0\n"),
        "extreme-common-sd-and-complete": session("3", "2\next2.dat\n2\n1\ncomp.dat\n",
                                                  [("ext2.dat", EXTREME_COMMON_SD), ("comp.dat", COMPLETE_COMMON_SD)],
                                                  setup="2\n3.8\n2\n7.0\n0\n0.25\n2\n1.0 0.1\n2\n0.5\n7.5\n"),
        "bayes-procedure": session("1", "1\next.dat\n", [("ext.dat", EXTREME_PER_EVENT_SD)],
                                   setup="1\n1\n0.2\n2\n1.0 0.1\n1\n"),
        # Bad input: a missing catalog, a directory, a blank name answered again.
        "missing-catalog": session("2", "2\n1\nnothere.dat\n", []),
        "directory-as-catalog": session("2", "2\n1\nsub\n", []) + "\n##DIR sub\n",
        "blank-names": "\n\n \n\nout.txt\n1\n2\n50,100,1000\n2\n1\n\ncomp.dat\n" + SETUP + "0\n0\n"
                       + "\n##FILE comp.dat\n" + COMPLETE_COMMON_SD,
        "values-beyond-single-precision": session("2", "2\n1\nbig.dat\n",
                                                  [("big.dat", "1950 1 1\n1999 12 31\n4.0\n0.1\n4.5\n1e39\n")]),
        "huge-scaled-magnitude": session("2", "2\n1\nbig.dat\n",
                                         [("big.dat", "1950 1 1\n1999 12 31\n4.0\n0.1\n4.5\n3e37\n")]),
        "negative-sd-and-frequency": session("2", "3\n1\nneg.dat\n",
                                             [("neg.dat", "1950 1 1\n1999 12 31\n4.0\n-0.1\n-3 4.5\n2 5.0\n")]),
        "malformed-answer": INTRO + "1.0\n",
        # The output file named as the catalog; an earlier report kept at an error
        # stop; the last event cut short; answers out of their bounds asked again.
        "catalog-as-output-file": "\n\ncomp.dat\n1\n2\n50 100 1000\n2\n1\ncomp.dat\n" + SETUP + "0\n0\n"
                                  + "\n##FILE comp.dat\n" + COMPLETE_COMMON_SD,
        "earlier-report-kept": session("2", "2\n1\ncomp.dat\n", [("comp.dat", COMPLETE_COMMON_SD),
                                                                 ("out.txt", "earlier\r\n")], setup="2\n6.5abc\n"),
        "last-event-cut-short": session("1", "1\next.dat\n", [("ext.dat", EXTREME_PER_EVENT_SD + "1995 1 1 6.9\n")]),
        "answers-asked-again": INTRO + "1\n4\n2\n0 100 1000\n50 100 1000\n2\n1\ncomp.dat\n1\n2\n11\n7\n1\n"
                               "2001 1 1\n1900 0 0\n-1\n0.2\n1\n0 0.1\n1 0.1\n2\n0\n10\n1e30\n8\n0\n0\n"
                               + "\n##FILE comp.dat\n" + COMPLETE_COMMON_SD,
        "repeat-and-null-answers": INTRO + "1*1\n2,\n3*100\n2\n1\ncomp.dat\n" + SETUP + "0\n0\n"
                                   + "\n##FILE comp.dat\n" + COMPLETE_COMMON_SD,
    }
    examples = {os.path.basename(p): read(p) for p in example_files()}
    if {"ext_l1.dat", "cp1900_l3.dat", "cp1960_l3.dat"} <= examples.keys():
        seeds["examples-extreme-l1-complete-l3"] = session(
            "3", "1\next_l1.dat\n3\n2\ncp1900_l3.dat\ncp1960_l3.dat\n",
            [(n, examples[n]) for n in ("ext_l1.dat", "cp1900_l3.dat", "cp1960_l3.dat")], runs="7.5\n0\n")
    if {"ext_l2.dat", "cp1900_l2.dat"} <= examples.keys():
        seeds["examples-extreme-l2-complete-l2"] = session(
            "3", "2\next_l2.dat\n2\n1\ncp1900_l2.dat\n",
            [(n, examples[n]) for n in ("ext_l2.dat", "cp1900_l2.dat")], hazard="1\n6.0\n0\n")
    if {"cp1900_l1.dat", "cp1960_l1.dat"} <= examples.keys():
        seeds["examples-complete-l1"] = session(
            "2", "1\n2\ncp1900_l1.dat\ncp1960_l1.dat\n",
            [(n, examples[n]) for n in ("cp1900_l1.dat", "cp1960_l1.dat")])
    for path in example_files():
        name = os.path.basename(path)
        with open(path, "rb") as f:
            body = f.read().decode("latin-1")
        if name.endswith((".ans", ".answers", ".txt")) and "\n" in body and len(body) < 4000:
            # An answer script: pair it with every example catalog.
            catalogs = [(os.path.basename(p), read(p)) for p in example_files() if p != path]
            text = body + "".join("\n##FILE " + n + "\n" + b for n, b in catalogs if len(b) < 20000)
            seeds["example-" + name] = text
    return seeds


def read(path):
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def example_files():
    folder = os.path.join(ROOT, "examples")
    if not os.path.isdir(folder):
        return []
    return sorted(os.path.join(folder, n) for n in os.listdir(folder)
                  if os.path.isfile(os.path.join(folder, n)) and not n.startswith("."))


# ------------------------------------------------------------- FuzzedDataProvider

class Tail:
    """The bytes that FuzzedDataProvider consumes from the end of the input."""

    def __init__(self):
        self.consumed = []  # in the order of consumption

    def integral(self, value, nbytes):
        for shift in range(nbytes - 1, -1, -1):
            self.consumed.append((value >> (8 * shift)) & 0xFF)

    def in_range(self, value, lo, hi):
        span = hi - lo
        nbytes = 1 if span < 256 else 2 if span < 65536 else 4 if span < 2 ** 32 else 8
        self.integral(value - lo, nbytes)

    def bytes(self):
        return bytes(reversed(self.consumed))


def reader_seed(text, is_file, eof_branch, statements):
    """statements: ("line", length) or ("free", "IRRI...")."""
    tail = Tail()
    tail.in_range(1 if is_file else 0, 0, 255)
    tail.in_range(1 if eof_branch else 0, 0, 255)
    tail.in_range(len(statements), 1, 24)
    for kind, arg in statements:
        tail.in_range(0 if kind == "line" else 1, 0, 7)
        tail.in_range(arg if kind == "line" else 0, 0, 300)
        if kind == "line":
            tail.in_range(0, 0, 8)
            tail.in_range(0, 0, 255)
        else:
            tail.in_range(len(arg), 0, 8)
            tail.in_range(sum(1 << i for i, t in enumerate(arg) if t == "R"), 0, 255)
    return text.encode("latin-1") + tail.bytes()


def reader_seeds():
    seeds = {}
    header = [("free", "RRR"), ("free", "RRR")]
    seeds["extreme-per-event-sd"] = reader_seed(EXTREME_PER_EVENT_SD, True, True, header + [("free", "RRRRR")] * 10)
    seeds["extreme-common-sd"] = reader_seed(EXTREME_COMMON_SD, True, True, header + [("free", "R")] + [("free", "RRRR")] * 7)
    seeds["complete-common-sd"] = reader_seed(COMPLETE_COMMON_SD, True, True, header + [("free", "R")] * 20)
    seeds["complete-grouped"] = reader_seed(COMPLETE_GROUPED, True, True, header + [("free", "R")] * 2 + [("free", "RR")] * 6)
    seeds["complete-per-event-no-branch"] = reader_seed(COMPLETE_PER_EVENT_SD, True, False, header + [("free", "R")] + [("free", "RR")] * 20)
    answers = "\n\nout.txt\n1\n2\n50 100 1000\n2\n1\ncomp.dat\n1 , 2\n3*0.5\n,,7\n4 /\n-12 +5\n1.5D3 2e-3\n"
    seeds["console-answers"] = reader_seed(answers, False, False,
                                           [("line", 1), ("line", 1), ("line", 15), ("free", "I"), ("free", "I"),
                                            ("free", "RRR"), ("free", "I"), ("free", "I"), ("line", 15),
                                            ("free", "II"), ("free", "RRR"), ("free", "RRR"), ("free", "II"),
                                            ("free", "II"), ("free", "RR")])
    seeds["console-bad-integer"] = reader_seed("1.0\n", False, False, [("free", "I")])
    seeds["console-crlf-and-tabs"] = reader_seed("\t3\r\n 2,\r\n", False, False, [("free", "I"), ("free", "I")])
    for path in example_files():
        body = read(path)
        if len(body) < 20000:
            seeds["example-" + os.path.basename(path)] = reader_seed(body, True, True, header + [("free", "RRRRR")] * 20)
    return seeds


# ------------------------------------------------------------------ formatter

def formats_from_sources():
    """The program's own format texts, as they stand in its sources."""
    found = set()
    pattern = re.compile(r'"(\((?:[^"\\]|\\.)*\))"')
    for folder, _, names in os.walk(os.path.join(ROOT, "src")):
        for name in names:
            if name.endswith((".cpp", ".h")):
                for match in pattern.finditer(read(os.path.join(folder, name))):
                    found.add(match.group(1).encode("latin-1").decode("unicode_escape"))
    return sorted(found)


def formatter_seed(fmt):
    tail = Tail()
    tail.in_range(9, 1, 40)           # field check: width
    tail.in_range(3, 0, 30)           # decimals
    tail.integral(struct.unpack("<I", struct.pack("<f", 2.0724))[0], 4)
    tail.integral(7 + 2 ** 31, 4)      # the integer 7
    kinds = re.findall(r"(\d*)([IFEA])", re.sub(r"'[^']*'", "", fmt))
    items = []
    front = ""
    for repeat, kind in kinds:
        for _ in range(int(repeat) if repeat else 1):
            items.append(kind)
    items = items[:12]
    tail.in_range(len(items), 0, 12)
    for kind in items:
        if kind == "I":
            tail.in_range(0, 0, 2)
            tail.integral(42 + 2 ** 31, 4)
        elif kind in "FE":
            tail.in_range(1, 0, 2)
            tail.integral(struct.unpack("<I", struct.pack("<f", 6.3))[0], 4)
        else:
            tail.in_range(2, 0, 2)
            front += "ext1.dat       \\;"
    return (front + fmt).encode("latin-1") + tail.bytes()


def formatter_seeds():
    seeds = {}
    for fmt in formats_from_sources() + ["(' ',/,/,/)", "(1X,I5,1X,F5.2,E10.4,A)", "(2(1X,I3),3('-'))"]:
        seeds["fmt-" + hashlib.sha1(fmt.encode()).hexdigest()[:12]] = formatter_seed(fmt)
    return seeds


# ------------------------------------------------------- classic-file readers

def classic_file_seeds(kind):
    """A layout byte ('1', '2', '3') followed by a catalog file of that layout."""
    if kind == "extreme":
        files = {"per-event-sd": ("1", EXTREME_PER_EVENT_SD), "common-sd": ("2", EXTREME_COMMON_SD),
                 "no-sd": ("3", EXTREME_COMMON_SD.replace("0.3\n", "", 1)),
                 "first-event-on-start": ("1", "1900 1 1\n1990 0 0\n1900 1 1 6.0 0.2\n"),
                 "end-before-last-event": ("1", "1900 1 1\n1910 0 0\n1911 1 1 6.0 0.2\n"),
                 "cut-last-line": ("1", "1900 1 1\n1990 0 0\n1905 5 1 6.1 0.25\n1906 1 1 6.0")}
        examples = {"ext_l1.dat": "1", "ext_l2.dat": "2"}
    else:
        files = {"per-event-sd": ("1", COMPLETE_PER_EVENT_SD), "common-sd": ("2", COMPLETE_COMMON_SD),
                 "grouped": ("3", COMPLETE_GROUPED),
                 "wrong-period": ("2", "1950 0 0\n1949 0 0\n4.0\n0.2\n7.0\n"),
                 "below-threshold": ("2", "1960 1 1\n2000 12 31\n4.0\n0.2\n4.5\n3.98\n3.99\n")}
        examples = {"cp1900_l%d.dat" % n: str(n) for n in (1, 2, 3)}
    seeds = {name: layout + body for name, (layout, body) in files.items()}
    for path in example_files():
        name = os.path.basename(path)
        if name in examples:
            seeds["example-" + name] = examples[name] + read(path)
    return seeds


# ---------------------------------------------------------------------- main

def write(harness, seeds):
    folder = os.path.join(CORPUS, harness)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if not name.startswith("found-"):
            os.remove(os.path.join(folder, name))
    for name, data in seeds.items():
        if isinstance(data, str):
            data = data.encode("latin-1")
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print("%-10s %3d seeds" % (harness, len(seeds)))


def main():
    write("session", session_seeds())
    write("reader", reader_seeds())
    write("formatter", formatter_seeds())
    write("extreme_file", classic_file_seeds("extreme"))
    write("complete_file", classic_file_seeds("complete"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
