"""QEV from Python: Gutenberg-Richter Beta (b-value), activity rate Lambda and
maximum magnitude Mmax, with their uncertainties, from an incomplete earthquake
catalog whose magnitudes carry known errors, and the seismic hazard they imply.

Units throughout: magnitudes (or intensities) and their standard deviations in
magnitude units, times in decimal years, rates in events per year, return
periods and spans in years. Beta is per unit magnitude on the natural-log scale
(b = 0.43429 Beta); Lambda is the annual rate of events at or above Mmin.

Every number the library computes is single precision; the values returned here
are those floats exactly (as NumPy float32 arrays, or Python floats that hold
them without rounding).

Typical use::

    import qev
    cat = qev.read_classic(extreme="ext_l1.dat",
                           complete=["cp1900_l2.dat", "cp1960_l2.dat"],
                           complete_layout="common_sd")
    result = qev.analyze(cat, mmin=3.4, procedure="cramer", prior_b=(1.0, 0.1))
    table = result.hazard([5.0, 6.0, 6.5], spans=[50, 100, 1000])

The library's errors arrive as the `qev.Error` hierarchy; the computations
release the GIL, so Python threads run analyses in parallel.
"""

from __future__ import annotations

import calendar
import math
import numbers
import os
from dataclasses import dataclass, field
from typing import Iterable, Optional, Sequence

import numpy as np

from . import _qev
from ._files import _readable
from ._keywords import TableKeywords
from ._qev import (
    CatalogError,
    EndOfInput,
    Error,
    InvalidOptions,
    NoEstimate,
    ReadingError,
    TrialPointNotPositive,
    UnusableEstimate,
)

# The rows of a settings table ("analysis", "prepare", "read", "select",
# "decluster", "split", "completeness", "homogenise", "batch"): key, member,
# type, the values it takes, default and meaning, as the job files use them;
# the analysis table's rows also what they set ("target": "analysis", a
# keyword of analyze, or "hazard").
settings_table = _qev.settings_table

# The project's version, as `qev --version` prints it.
__version__ = _qev.__version__

__all__ = [
    "Error", "ReadingError", "EndOfInput", "CatalogError", "TrialPointNotPositive",
    "NoEstimate", "UnusableEstimate", "InvalidOptions",
    "ExtremePart", "CompletePart", "Catalog", "read_classic", "read_extreme_file",
    "read_complete_file", "decimal_year", "settings_table",
    "analyze", "AnalysisResult", "Run", "Settings", "Hazard", "hazard", "Weichert",
    "InputWarningsError", "calibrated_intervals", "CalibratedIntervals", "CalibratedValue",
]


class InputWarningsError(Error):
    """analyze(..., strict=True) met warnings of the input checks; `warnings`
    holds them as (kind, text) pairs."""

    def __init__(self, warnings):
        self.warnings = tuple(warnings)
        super().__init__("the inputs do not pass their checks (strict): "
                         + "; ".join(text for _, text in self.warnings))

# ---------------------------------------------------------------- checked values


def _real(name: str, value) -> float:
    """A real number given as an option (bool and text are refused)."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} is {type(value).__name__} {value!r}, expected a real number")
    return float(value)


def _integer(name: str, value, low: int = -(2**31), high: int = 2**31 - 1) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} is {type(value).__name__} {value!r}, expected a whole number")
    if not low <= int(value) <= high:
        raise ValueError(f"{name} is {value}, expected a whole number from {low} to {high}")
    return int(value)


def _choice(name: str, value, choices: dict):
    """An option named by text (any case) or given by its number."""
    key = value.lower() if isinstance(value, str) else value
    if key in choices:
        return choices[key]
    names = ", ".join(repr(c) for c in choices if c is None or isinstance(c, str))
    raise ValueError(f"{name} is {value!r}, expected one of {names}")


def _array(what: str, values, dtype, length: Optional[int] = None) -> np.ndarray:
    """A read-only 1-D array of `dtype` holding finite numbers; a scalar is
    repeated to `length`."""
    if values is None or isinstance(values, (str, bytes)):
        raise TypeError(f"{what} is {type(values).__name__}, expected an array of numbers")
    raw = np.asarray(values)
    if raw.dtype.kind not in "biuf":
        raise TypeError(f"{what} holds {raw.dtype} values, expected numbers")
    if raw.ndim == 0 and length is not None:
        raw = np.full(length, raw)
    if raw.ndim != 1:
        raise ValueError(f"{what} has shape {raw.shape}, expected a 1-D array")
    if length is not None and raw.size != length:
        raise ValueError(f"{what} has {raw.size} values, expected {length}")
    if raw.dtype.kind == "f":
        bad = np.flatnonzero(~np.isfinite(raw))
        if bad.size:
            raise CatalogError(f"{what}[{bad[0]}] is {raw[bad[0]]:g}, expected a finite number")
    if np.dtype(dtype).kind == "i":
        if raw.dtype.kind == "f" and np.any(raw != np.trunc(raw)):
            raise ValueError(f"{what} holds fractions, expected whole numbers")
        info = np.iinfo(dtype)
        if raw.size and (raw.min() < info.min or raw.max() > info.max):
            raise ValueError(f"{what} holds values beyond {info.min}..{info.max}")
    out = np.array(raw, dtype=dtype)
    out.flags.writeable = False
    return out


def _not_negative(what: str, values: np.ndarray) -> None:
    bad = np.flatnonzero(values < 0)
    if bad.size:
        raise CatalogError(f"{what}[{bad[0]}] is {values[bad[0]]:g}, expected a value not below 0")


def _finite(what: str, value) -> float:
    value = _real(what, value)
    if not math.isfinite(value):
        raise CatalogError(f"{what} is {value}, expected a finite number")
    return value


def _years(start: float, end: float) -> str:
    """The calendar years of a period given in decimal years: year 1 begins at
    0.0 (no year 0), and an end on 31 December of year Y lies a little past Y.0,
    so the year named is that of the day just before the end."""
    def year(t):
        return math.floor(t) + 1 if t >= 0 else math.floor(t)

    return f"{year(start)}-{year(end - 0.01)}"


def _classic_decimal(year: int, month: int, day: int) -> float:
    """decimal_year of a date, in Python: months as twelfths, days as 1/365.25
    of a year, year 1 beginning at 0.0 (no year 0), rounded to float32."""
    t = float(np.float32((month - 1) / 12 + (year - 1) + day / 365.25))
    return float(np.float32(t + 1.0)) if year < 0 else t


def _date(t: float) -> str:
    """The calendar date whose decimal year lies nearest to `t`, as
    YYYY-MM-DD. Months count as twelfths of a year, so the last day of a month
    lies a little past the first of the next one's twelfth: the nearest date,
    not a division, names the day."""
    if not math.isfinite(t):
        return f"{t:g}"
    near = math.floor(t) + 1 if t >= 0 else math.floor(t)
    best = None
    for year in (near - 1, near, near + 1):
        if year == 0:
            continue
        for month in range(1, 13):
            last = calendar.monthrange(year, month)[1] if 1 <= year <= 9999 else 31
            for day in range(1, last + 1):
                gap = abs(_classic_decimal(year, month, day) - t)
                if best is None or gap < best[0]:
                    best = (gap, year, month, day)
    _, year, month, day = best
    return f"{year:04d}-{month:02d}-{day:02d}" if year > 0 else f"{year}-{month:02d}-{day:02d}"


def _array_repr(values: np.ndarray) -> str:
    if values.size <= 4:
        return "[" + ", ".join(f"{v:g}" for v in values) + "]"
    return f"[{values[0]:g}, {values[1]:g}, ..., {values[-1]:g}] ({values.size} values)"


# ---------------------------------------------------------------- the catalog


@dataclass(frozen=True, repr=False)
class ExtremePart:
    """The largest earthquakes of a long historical period, with their dates.

    start, end: decimal years of the period. time: decimal year of each event,
    in time order (at least 0.001 year apart, the first after `start`).
    magnitude: apparent magnitude (or intensity). sd: its standard deviation,
    per event or one number for all. Arrays are kept as read-only float32.
    """

    start: float
    end: float
    time: np.ndarray
    magnitude: np.ndarray
    sd: np.ndarray

    def __post_init__(self):
        what = "extreme part"
        object.__setattr__(self, "start", _finite(f"{what}: start", self.start))
        object.__setattr__(self, "end", _finite(f"{what}: end", self.end))
        time = _array(f"{what}: time", self.time, np.float32)
        n = time.size
        magnitude = _array(f"{what}: magnitude", self.magnitude, np.float32, n)
        sd = _array(f"{what}: sd", self.sd, np.float32, n)
        _not_negative(f"{what}: sd", sd)
        back = np.flatnonzero(np.diff(time) <= 0)
        if back.size:
            i = back[0] + 1
            raise CatalogError(
                f"{what}: time[{i}] = {time[i]:g} is not after time[{i - 1}] = {time[i - 1]:g};"
                " extreme events must be given in time order")
        for name, value in (("time", time), ("magnitude", magnitude), ("sd", sd)):
            object.__setattr__(self, name, value)

    def __len__(self) -> int:
        return int(self.time.size)

    def __repr__(self) -> str:
        return (f"ExtremePart({_date(self.start)} to {_date(self.end)}, {len(self)} events, "
                f"magnitude={_array_repr(self.magnitude)})")


@dataclass(frozen=True, repr=False)
class CompletePart:
    """A period complete at and above `threshold`.

    start, end: decimal years. magnitude: each row's magnitude. sd: each row's
    standard deviation (one number: the same for all rows). frequency: events
    per row (default one each). part_sd: the part's SD, used for the starting
    point and the score of Lambda; default the one SD given, else the mean of
    the rows' SDs weighted by frequency. Rows more than 0.02 below the
    threshold are kept but not used by the analysis.
    """

    start: float
    end: float
    threshold: float
    magnitude: np.ndarray
    sd: np.ndarray
    frequency: Optional[np.ndarray] = None
    part_sd: Optional[float] = None

    def __post_init__(self):
        what = "complete part"
        for name in ("start", "end", "threshold"):
            object.__setattr__(self, name, _finite(f"{what}: {name}", getattr(self, name)))
        magnitude = _array(f"{what}: magnitude", self.magnitude, np.float32)
        n = magnitude.size
        one_sd = np.ndim(self.sd) == 0
        sd = _array(f"{what}: sd", self.sd, np.float32, n)
        _not_negative(f"{what}: sd", sd)
        frequency = _array(f"{what}: frequency",
                           1 if self.frequency is None else self.frequency, np.int32, n)
        _not_negative(f"{what}: frequency", frequency)
        if self.part_sd is not None:
            part_sd = _finite(f"{what}: part_sd", self.part_sd)
            if part_sd < 0:
                raise CatalogError(f"{what}: part_sd is {part_sd}, expected a value not below 0")
        elif one_sd:
            part_sd = float(np.float32(self.sd))
        else:
            part_sd = _qev.mean_sd(sd, frequency)
        for name, value in (("magnitude", magnitude), ("sd", sd), ("frequency", frequency),
                            ("part_sd", part_sd)):
            object.__setattr__(self, name, value)

    def __len__(self) -> int:
        return int(self.magnitude.size)

    @property
    def events(self) -> int:
        """Number of events (the sum of the frequencies)."""
        return int(self.frequency.sum(dtype=np.int64))

    def __repr__(self) -> str:
        return (f"CompletePart({_date(self.start)} to {_date(self.end)}, "
                f"threshold={self.threshold:g}, {self.events} events, sd={self.part_sd:g})")


@dataclass(frozen=True, repr=False)
class Catalog:
    """An optional extreme part and any number of complete parts, earliest first."""

    extreme: Optional[ExtremePart] = None
    complete: tuple = ()

    def __post_init__(self):
        if self.extreme is not None and not isinstance(self.extreme, ExtremePart):
            raise TypeError(f"extreme is {type(self.extreme).__name__}, expected ExtremePart")
        complete = tuple(self.complete)
        for i, part in enumerate(complete, 1):
            if not isinstance(part, CompletePart):
                raise TypeError(f"complete part {i} is {type(part).__name__}, "
                                "expected CompletePart")
        object.__setattr__(self, "complete", complete)

    def __repr__(self) -> str:
        parts = [repr(self.extreme)] if self.extreme is not None else []
        parts += [repr(p) for p in self.complete]
        return "Catalog(" + ", ".join(parts) + ")"


def _extreme_from(t) -> ExtremePart:
    return ExtremePart(*t)


def _complete_from(t) -> CompletePart:
    start, end, threshold, magnitude, sd, frequency, part_sd = t
    return CompletePart(start, end, threshold, magnitude, sd, frequency, part_sd)


def _catalog_from(t) -> Catalog:
    extreme, complete = t
    return Catalog(None if extreme is None else _extreme_from(extreme),
                   tuple(_complete_from(p) for p in complete))


def decimal_year(year: float, month: float = 1, day: float = 1) -> float:
    """Decimal year of a date as the classic catalogs count it: months as
    twelfths and days as 1/365.25 of a year (no calendar, no year 0)."""
    return _qev.decimal_year(_real("year", year), _real("month", month), _real("day", day))


_EXTREME_LAYOUTS = {1: 1, 2: 2, 3: 3, "per_event_sd": 1, "common_sd": 2, "no_sd": 3}
_COMPLETE_LAYOUTS = {1: 1, 2: 2, 3: 3, "per_event_sd": 1, "common_sd": 2, "grouped": 3}


def _read_text(path) -> tuple[str, str]:
    path = _readable(path)
    with open(path, "rb") as f:
        return f.read(), path


def read_extreme_file(path, layout="per_event_sd") -> ExtremePart:
    """The extreme part from a classic extreme file. layout: "per_event_sd"
    (1: year month day magnitude SD), "common_sd" (2: one SD after the dates)
    or "no_sd" (3)."""
    text, source = _read_text(path)
    part, _, _ = _qev.read_extreme_text(text, source, _choice("layout", layout, _EXTREME_LAYOUTS))
    return _extreme_from(part)


def read_complete_file(path, layout="per_event_sd") -> CompletePart:
    """A complete part from a classic complete file. layout: "per_event_sd"
    (1: magnitude SD per line), "common_sd" (2: one SD after the threshold)
    or "grouped" (3: frequency magnitude per line, one SD)."""
    text, source = _read_text(path)
    part, _, _, _ = _qev.read_complete_text(text, source,
                                            _choice("layout", layout, _COMPLETE_LAYOUTS))
    return _complete_from(part)


def read_classic(extreme=None, complete: Iterable = (), *, extreme_layout="per_event_sd",
                 complete_layout="per_event_sd") -> Catalog:
    """A catalog from the classic files: an extreme file and complete files
    (earliest first), each complete file in the same layout, as the classic
    program reads them. Raises ReadingError or CatalogError naming the file and
    line of a bad value."""
    if isinstance(complete, (str, bytes, os.PathLike)):
        complete = [complete]
    return Catalog(None if extreme is None else read_extreme_file(extreme, extreme_layout),
                   tuple(read_complete_file(p, complete_layout) for p in complete))


# ---------------------------------------------------------------- the analysis


@dataclass(frozen=True)
class Run:
    """One estimation run at a fixed Mmax: Beta and Lambda found by the
    simplex, its iterations, and the Mmax the procedure suggests after it
    (None when it gives none)."""

    mmax: float
    beta: float
    lambda_: float
    iterations: int
    converged: bool
    suggested_mmax: Optional[float]


@dataclass(frozen=True)
class Settings:
    """Settings as resolved from the catalog and the options: the parts in
    use, Mmin, Xmax and its error, the span SpanT (years) to which Xmax
    belongs, and the prior converted to Beta."""

    data_kind: str
    mmin: float
    xmax: float
    sig_xmax: float
    span_t: float
    prior_beta: float
    prior_beta_sd: float


_KIND_NAMES = {1: "extremes", 2: "complete", 3: "extremes_and_complete"}


@dataclass(frozen=True, repr=False)
class Hazard:
    """The hazard of a law at given magnitudes: annual rate of exceedance
    (events per year), return period (years; 1e35 for no rate) with the band of
    Lambda +- its SD, the probability of exceedance within one year and within
    each span (rows: magnitudes, columns: spans). float32 arrays."""

    magnitude: np.ndarray
    annual_rate: np.ndarray
    return_period: np.ndarray
    return_period_lower: np.ndarray
    return_period_upper: np.ndarray
    probability_one_year: np.ndarray
    probabilities: np.ndarray
    spans: np.ndarray

    def __len__(self) -> int:
        return int(self.magnitude.size)

    def to_dataframe(self):
        """The table as a pandas DataFrame, one column per span."""
        import pandas as pd

        columns = {name: getattr(self, name) for name in (
            "magnitude", "annual_rate", "return_period", "return_period_lower",
            "return_period_upper", "probability_one_year")}
        for j, span in enumerate(self.spans):
            columns[f"probability_{span:g}_years"] = self.probabilities[:, j]
        return pd.DataFrame(columns)

    def __repr__(self) -> str:
        rows = [f"  m={m:4.1f}  rate={r:.3e}/yr  T={t:.4g} yr" for m, r, t in
                zip(self.magnitude[:6], self.annual_rate[:6], self.return_period[:6])]
        more = f"\n  ... ({len(self)} magnitudes)" if len(self) > 6 else ""
        return "Hazard(\n" + "\n".join(rows) + more + ")"


def _spans(spans) -> np.ndarray:
    values = _array("spans", spans, np.float32)
    if np.any(values <= 0):
        raise ValueError(f"spans are {values.tolist()}, expected years above 0")
    return values


def _hazard_from(d: dict, spans: np.ndarray) -> Hazard:
    return Hazard(spans=spans, **d)


def hazard(beta: float, lambda_: float, mmin: float, mmax: float, magnitudes=None,
           spans=(50, 100, 1000), sd_lambda: float = 0.0) -> Hazard:
    """The hazard of the doubly truncated law (beta, lambda_ above mmin, up to
    mmax) at the given magnitudes, or the classic table (mmin in steps of 0.1
    below mmax) when magnitudes is None."""
    model = tuple(_real(n, v) for n, v in (("beta", beta), ("lambda_", lambda_),
                                           ("sd_lambda", sd_lambda), ("mmin", mmin),
                                           ("mmax", mmax)))
    spans = _spans(spans)
    if magnitudes is None:
        return _hazard_from(_qev.hazard_table(model, spans), spans)
    return _hazard_from(_qev.hazard(model, _array("magnitudes", magnitudes, np.float32), spans),
                        spans)


@dataclass(frozen=True)
class Weichert:
    """Weichert's (1980) maximum-likelihood b-value for bins observed over
    unequal periods, from the same complete parts: b and Beta with their SDs,
    the rate at or above Mmin (events a year) with its SD, the lower edge of
    the lowest bin of 0.1, the events and bins used."""

    b: float
    sd_b: float
    beta: float
    sd_beta: float
    rate: float
    sd_rate: float
    lowest_edge: float
    events: int
    bins: int


@dataclass(frozen=True, repr=False)
class AnalysisResult:
    """The analysis: settings, starting point, the runs in order, and at the
    last run's Mmax the estimates with their standard deviations.

    beta, sd_beta: per unit magnitude (natural log); b, sd_b: decimal;
    lambda_, sd_lambda: annual rate at or above Mmin; mmax, sd_mmax: the
    regional maximum magnitude. contributions: per part (complete parts in
    order, then the extreme part) the share, in percent, of the information
    about Beta and Lambda. mmax_status: "settled" (the suggestions settled),
    "unsettled" (they did not: mmax is no estimate) or "fixed" (given as
    mmax_values, without a procedure, or a cap reached). data_share_beta: the
    data's share of the information on Beta, in percent. weichert: Weichert's
    estimate from the complete parts (None without one). warnings: the input
    checks as (kind, text) pairs.
    """

    settings: Settings
    start: tuple
    runs: tuple
    mmax_converged: bool
    beta: float
    sd_beta: float
    b: float
    sd_b: float
    lambda_: float
    sd_lambda: float
    mmax: float
    sd_mmax: float
    transmission_coefficient: float
    contributions: tuple
    mmax_status: str = "unsettled"
    data_share_beta: float = math.nan
    weichert: Optional[Weichert] = None
    warnings: tuple = ()

    def hazard(self, magnitudes=None, spans=(50, 100, 1000)) -> Hazard:
        """The hazard of the estimated law at the magnitudes (the classic
        table from Mmin in steps of 0.1 when None) and spans in years; the
        return-period band is that of Lambda +- its SD."""
        return hazard(self.beta, self.lambda_, self.settings.mmin, self.mmax, magnitudes,
                      spans, self.sd_lambda)

    def __repr__(self) -> str:
        return (f"AnalysisResult(beta={self.beta:.4g} +- {self.sd_beta:.2g} "
                f"(b={self.b:.4g} +- {self.sd_b:.2g}), "
                f"lambda_={self.lambda_:.4g} +- {self.sd_lambda:.2g} per year "
                f"(Mmin {self.settings.mmin:g}), mmax={self.mmax:.4g} +- {self.sd_mmax:.2g}, "
                f"{len(self.runs)} runs"
                f"{'' if self.mmax_status == 'settled' else f', Mmax {self.mmax_status}'})")


_DATA_KINDS = {None: None, "all": None, "extremes": 1, "complete": 2,
               "extremes_and_complete": 3}
# analyze's keywords in forms of their own: the pairs prior_b=(b, sd) and
# start=(lambda_, mmax) of two rows each (a start given is the start row's
# "given"), and mmax_values for the row mmax. These are the only keys of the
# analysis table Python spells; every other row is a keyword as it stands.
_PAIRS = {"prior_b": ("(b, sd)", "prior_b", "prior_b_sd"),
          "start": ("(lambda_, mmax)", "start_lambda", "start_mmax")}
_MARKS = {"start": "given"}
_SPELLED = {"mmax": "mmax_values"}


def _analysis_keywords(function) -> TableKeywords:
    """The rows of the analysis table as keywords of `function` (the hazard's
    rows are the keywords of AnalysisResult.hazard and qev.hazard instead)."""
    return TableKeywords(function, "analysis", spelled=_SPELLED, pairs=_PAIRS, marks=_MARKS,
                         rows=lambda row: row["target"] == "analysis")


def _catalog_of(parts) -> Catalog:
    if isinstance(parts, Catalog):
        return parts
    catalog = getattr(parts, "catalog", None)
    if isinstance(catalog, Catalog):
        return catalog
    raise TypeError(f"parts is {type(parts).__name__}, expected a qev.Catalog "
                    "(or a split result holding one)")


def _analysis_options(keywords: TableKeywords, settings: dict, procedure, data) -> dict:
    """The library's options: the keywords of the analysis table as given
    (None: the row's default; the library checks the values by the rows and
    names the key and the bound of one it refuses), procedure None as
    "none", and the parts in use."""
    options = keywords.settings(dict(settings, procedure="none" if procedure is None
                                     else procedure))
    options["data_kind"] = _choice("data", data, _DATA_KINDS)
    return options


def analyze(parts, *, mmin: float, procedure: Optional[str] = "cramer",
            prior_b: Optional[Sequence[float]] = None, start: Optional[Sequence[float]] = None,
            data: Optional[str] = None, strict: bool = False, **settings) -> AnalysisResult:
    """Estimates Beta, Lambda and Mmax of the catalog with their uncertainties.

    parts: a qev.Catalog (or a split result). mmin: threshold magnitude of the
    whole catalog. procedure: "cramer", "bayes" or None ("none": no Mmax
    estimate; the runs use `start` or `mmax_values`). prior_b: prior decimal
    b-value and its SD. start: (Lambda, Mmax) of a given starting point;
    default the catalog's. data: the parts used, "extremes", "complete" or
    all (None). strict: raise InputWarningsError when the input checks warn.
    The other keywords are the rows of the analysis table
    (qev.settings_table("analysis")), listed below with their defaults:
    mmax_values (the row mmax) gives the Mmax of each run, by default each
    run after the first takes the previous suggestion; a cap reached (mmax_cap)
    makes Mmax fixed.

    Raises NoEstimate, TrialPointNotPositive, CatalogError or InvalidOptions
    (a value the table's row refuses, naming the key and the bound; also for
    an Mmin above the lowest completeness threshold), and UnusableEstimate (a
    NoEstimate) when the figures are no estimate: a value that is not a
    finite number, Mmax not above Mmin. Ctrl-C stops it (KeyboardInterrupt).
    """
    catalog = _catalog_of(parts)
    options = _analysis_options(_ANALYZE, dict(settings, mmin=mmin, prior_b=prior_b,
                                               start=start), procedure, data)
    d = _qev.analyze(catalog, options)
    s = d["settings"]
    settings = Settings(**dict(s, data_kind=_KIND_NAMES[s["data_kind"]]))
    result = AnalysisResult(
        settings=settings, start=tuple(d["start"]), runs=tuple(Run(**r) for r in d["runs"]),
        mmax_converged=d["mmax_converged"], beta=d["beta"], sd_beta=d["sd_beta"], b=d["b"],
        sd_b=d["sd_b"], lambda_=d["lambda_"], sd_lambda=d["sd_lambda"], mmax=d["mmax"],
        sd_mmax=d["sd_mmax"], transmission_coefficient=d["transmission_coefficient"],
        contributions=tuple(d["contributions"]), mmax_status=d["mmax_status"],
        data_share_beta=d["data_share_beta"],
        weichert=None if d["weichert"] is None else Weichert(**d["weichert"]),
        warnings=tuple(tuple(w) for w in d["warnings"]))
    if strict and result.warnings:
        raise InputWarningsError(result.warnings)
    return result


_ANALYZE = _analysis_keywords(analyze)

# Real catalogs and batch runs, where the module was built with them.
if hasattr(_qev, "EventTable"):
    from ._events import (EventTable, Zone, ReadSummary, SelectionCounts, Declustered,  # noqa
                          Split, read_catalog, select, decluster, split)
    __all__ += ["EventTable", "Zone", "ReadSummary", "SelectionCounts", "Declustered", "Split",
                "read_catalog", "select", "decluster", "split"]
    from ._completeness import Completeness, completeness  # noqa: E402
    __all__ += ["Completeness", "completeness"]
if hasattr(_qev, "homogenise"):
    from ._homogenise import Homogenised, TypeConversion, homogenise  # noqa: E402
    __all__ += ["Homogenised", "TypeConversion", "homogenise"]
if hasattr(_qev, "run_batch"):
    from ._batch import BatchResult, job_to_toml, run_batch  # noqa: E402
    __all__ += ["BatchResult", "job_to_toml", "run_batch"]

from . import plots  # noqa: E402  (figures need matplotlib only when drawn)


@dataclass(frozen=True)
class CalibratedValue:
    """One quantity of the parametric bootstrap: the estimate, the bias the
    simulated catalogs show (their mean less the estimate), the corrected
    estimate, the SD of the re-estimates and the 68 % and 95 % intervals."""

    estimate: float
    bias: float
    corrected: float
    sd: float
    lower68: float
    upper68: float
    lower95: float
    upper95: float


@dataclass(frozen=True)
class CalibratedIntervals:
    """Parametric-bootstrap intervals of b, Lambda and Mmax (see
    calibrated_intervals). hazard: per magnitude (magnitude, annual rate,
    corrected rate, lower68, upper68, lower95, upper95). calibrated is False,
    with the reason in warning, where the intervals cannot be trusted (Mmax far
    above the largest event, a bias that changes fast with the law, many
    unsettled or failed replicates). method: how the intervals were built,
    "inverted", "studentized" (bootstrap-t) or "basic"."""

    b: CalibratedValue
    lambda_: CalibratedValue
    mmax: CalibratedValue
    hazard: tuple
    replicates: int
    failed: int
    unsettled_share: float
    calibrated: bool
    warning: str
    method: str


def calibrated_intervals(parts, *, mmin: float, replicates: int = 200, seed: int = 1,
                         threads: int = 1, hazard_magnitudes=(), method: str = "inverted",
                         procedure: Optional[str] = "cramer",
                         prior_b: Optional[Sequence[float]] = None,
                         start: Optional[Sequence[float]] = None, data: Optional[str] = None,
                         **settings) -> CalibratedIntervals:
    """Parametric-bootstrap intervals: the catalog is analysed as analyze()
    does (the same keyword settings), `replicates` catalogs are simulated from
    the fitted law with the catalog's own design and analysed alike, and the
    spread of their estimates gives the bias-corrected estimates and intervals
    (docs/method.md). method: "inverted" (the default: the laws under which
    the estimate lies at the percentiles of the re-estimates), "studentized"
    (bootstrap-t: the replicates' errors in units of their own reported SDs)
    or "basic" (the spread of the re-estimates). Raises the errors of
    analyze, and InvalidOptions for fewer than 20 replicates or an unknown
    method."""
    options = _analysis_options(_CALIBRATED, dict(settings, mmin=mmin, prior_b=prior_b,
                                                  start=start), procedure, data)
    d = _qev.bootstrap_intervals(_catalog_of(parts), options,
                                 _integer("replicates", replicates, 20),
                                 _integer("seed", seed, 0, 2**63 - 1),
                                 _integer("threads", threads, 1, 256),
                                 _array("hazard_magnitudes", hazard_magnitudes, np.float32),
                                 str(method))
    return CalibratedIntervals(
        b=CalibratedValue(*d["b"]), lambda_=CalibratedValue(*d["lambda_"]),
        mmax=CalibratedValue(*d["mmax"]), hazard=tuple(d["hazard"]),
        replicates=d["replicates"], failed=d["failed"], unsettled_share=d["unsettled_share"],
        calibrated=d["calibrated"], warning=d["warning"], method=d["method"])


_CALIBRATED = _analysis_keywords(calibrated_intervals)


def __dir__():
    """The package's own names: what it exports, its figures and its version
    (not the modules and helpers it uses)."""
    return sorted(set(__all__) | {"plots", "__version__", "__doc__", "__name__", "__file__",
                                  "__path__", "__all__"})
