"""Completeness from the data: the completeness table estimated from an event
table (Mc in successive time windows, or the Stepp 1971 analysis), with the
Mc of each window and its bootstrap SD, and its figures (matplotlib, imported
when a figure is drawn). Methods and sources: docs/method.md."""

from __future__ import annotations

import os
from dataclasses import dataclass
from typing import Optional

import numpy as np

from . import _qev
from ._keywords import _date_text, _known_end


@dataclass(frozen=True, repr=False)
class Completeness:
    """An estimated completeness table.

    table: ((year, Mc), ...) as qev.split takes it (the one `table_method`
    names); windows_table and stepp_table: both estimates. option: the table as
    qev-prepare's --completeness takes it ("1964:5.5,1990:4.5"); toml: as the
    prepare job's [split] completeness. windows: per time window a dict of
    start, end (decimal years), mc, mc_mean, mc_sd (bootstrap), b, b_sd,
    events, fallback. stepp: per magnitude class a dict of low, high, spans,
    events, rate_sd (arrays over the spans), complete_span, complete_from and
    rate. report: the printed account. figures: SVG files written."""

    table: tuple
    windows_table: tuple
    stepp_table: tuple
    windows: tuple
    stepp: tuple
    start: float
    end: float
    option: str
    toml: str
    method: str
    table_method: str
    report: str
    figures: tuple

    def __repr__(self) -> str:
        return f"Completeness({self.option!r}, {self.table_method}, {self.method})"

    def __str__(self) -> str:
        return self.report

    def plot_cumulative(self, events, ax=None):
        """See qev.completeness's plot_cumulative."""
        return plot_cumulative(self, events, ax)

    def plot_stepp(self, ax=None):
        return plot_stepp(self, ax)

    def plot_mc(self, ax=None):
        return plot_mc(self, ax)


def completeness(events, *, table: str = "windows", mc_method: str = "maxc", end=None,
                 figures=None, **options) -> Completeness:
    """Estimates the completeness table of an EventTable.

    table: "windows" (Mc in successive windows, merged into steps whose Mc
    only falls with time) or "stepp". mc_method: "maxc" (maximum curvature
    plus maxc_correction, default 0.2), "gft90", "gft95" (goodness of fit) or
    "mbs" (b-value stability). end: the last day observed (default the end of
    the catalog as read). figures: a folder for the three SVG figures.
    options: bin, maxc_correction, min_events, mbs_span, bootstrap (default
    200), seed, window_years (default 5), window_min_events, merge_tolerance,
    stepp_class_width, stepp_interval_years, stepp_significance,
    stepp_min_events. Raises InvalidOptions naming a bad option."""
    known = set(_qev.completeness_keys())
    settings = {"table": str(table), "mc_method": str(mc_method)}
    for key, value in options.items():
        if key not in known:
            raise TypeError(f"completeness() got an unexpected option {key!r}; "
                            f"known: {', '.join(sorted(known))}")
        if isinstance(value, bool) or not isinstance(value, (int, float, np.integer,
                                                             np.floating)):
            raise TypeError(f"{key} is {value!r}, expected a number")
        settings[key] = repr(float(value)) if isinstance(value, (float, np.floating)) \
            else str(int(value))
    d = _qev.completeness(events, settings, _date_text("end", end) or _known_end(events),
                          None if figures is None else os.fspath(figures))
    return Completeness(tuple(d["table"]), tuple(d["windows_table"]), tuple(d["stepp_table"]),
                        tuple(d["windows"]), tuple(d["stepp"]), d["start"], d["end"],
                        d["option"], d["toml"], d["method"], d["table_method"], d["report"],
                        tuple(d["figures"]))


def _calendar_years(events) -> np.ndarray:
    """The events' calendar decimal years (unknown month 1 July, unknown day
    the 15th), as the library counts them for the table."""
    y = np.asarray(events.year, dtype=np.int64)
    m = np.asarray(events.month, dtype=np.int64)
    d = np.asarray(events.day, dtype=np.int64)
    m, d = np.where(m == 0, 7, m), np.where(d == 0, 15, d)
    first = (y - 1970).astype("datetime64[Y]").astype("datetime64[D]")
    date = (first.astype("datetime64[M]") + (m - 1).astype("timedelta64[M]")).astype(
        "datetime64[D]") + (d - 1).astype("timedelta64[D]")
    length = ((y + 1 - 1970).astype("datetime64[Y]").astype("datetime64[D]") - first).astype(float)
    seconds = (np.asarray(events.hour, dtype=float) * 3600 + np.asarray(events.minute) * 60
               + np.asarray(events.second, dtype=float))
    return y + ((date - first).astype(float) + seconds / 86400.0) / length


def _axes(ax):
    if ax is None:
        import matplotlib.pyplot as plt
        _, ax = plt.subplots(figsize=(8, 5))
    return ax


def _class_name(c) -> str:
    return (f"M {c['low']:.1f}-{c['high']:.1f}" if np.isfinite(c["high"])
            else f"M \u2265 {c['low']:.1f}")


def plot_cumulative(estimate: Completeness, events, ax=None):
    """The cumulative number of events against time per Stepp class, as a
    fraction of the class's events, with the year from which each class is
    complete (dashed)."""
    ax = _axes(ax)
    years = _calendar_years(events)
    centres = np.round(np.asarray(events.magnitude, dtype=float) / 0.1) * 0.1
    for k, c in enumerate(estimate.stepp):
        inside = (centres >= c["low"] - 0.05) & (centres < c["high"] - 0.05)
        t = np.sort(years[inside])
        if t.size == 0:
            continue
        line, = ax.step(np.concatenate([[estimate.start], t, [estimate.end]]),
                        np.concatenate([[0.0], np.arange(1, t.size + 1) / t.size, [1.0]]),
                        where="post", label=_class_name(c))
        ax.axvline(c["complete_from"], color=line.get_color(), linestyle="--", linewidth=1)
    ax.set_xlabel("year")
    ax.set_ylabel("cumulative number / events of the class")
    ax.set_title("Cumulative number against time per magnitude class")
    ax.legend(fontsize="small")
    return ax


def plot_stepp(estimate: Completeness, ax=None):
    """Stepp (1971): the SD of the rate sqrt(lambda/T) against the span T per
    class, with the 1/sqrt(T) line of the rate over the complete span
    (dashed) and the complete span marked."""
    ax = _axes(ax)
    for c in estimate.stepp:
        spans, sd = np.asarray(c["spans"]), np.asarray(c["rate_sd"])
        keep = sd > 0
        line, = ax.loglog(spans[keep], sd[keep], "o-", markersize=4, label=_class_name(c))
        if c["rate"] > 0:
            t = np.array([spans.min(), spans.max()])
            ax.loglog(t, np.sqrt(c["rate"] / t), "--", color=line.get_color(), linewidth=1)
            ax.plot([c["complete_span"]], [np.sqrt(c["rate"] / c["complete_span"])], "|",
                    color=line.get_color(), markersize=18, markeredgewidth=3)
    ax.set_xlabel("span T (years back from the end)")
    ax.set_ylabel("SD of the rate, sqrt(\u03bb/T)")
    ax.set_title("Stepp (1971): SD of the rate against the observation span")
    ax.legend(fontsize="small")
    return ax


def plot_mc(estimate: Completeness, ax=None):
    """Mc of each window with its bootstrap SD (open marks: maximum curvature
    stood in) and the table as steps."""
    ax = _axes(ax)
    mid = np.array([(w["start"] + w["end"]) / 2 for w in estimate.windows])
    mc = np.array([w["mc"] for w in estimate.windows])
    sd = np.array([w["mc_sd"] for w in estimate.windows])
    ax.errorbar(mid, mc, yerr=sd, fmt="o", capsize=3, label=f"Mc \u00b1 SD ({estimate.method})")
    x, y = [], []
    for k, (year, threshold) in enumerate(estimate.table):
        x += [max(year, estimate.start),
              estimate.table[k + 1][0] if k + 1 < len(estimate.table) else estimate.end]
        y += [threshold, threshold]
    ax.plot(x, y, color="tab:red", linewidth=2.5, label=f"table ({estimate.table_method})")
    ax.set_xlabel("year")
    ax.set_ylabel("Mc")
    ax.set_title("Mc against time and the completeness table")
    ax.legend(fontsize="small")
    return ax
