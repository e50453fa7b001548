"""Real catalogs: reading, selection, declustering and the split into the parts
of a qev.Catalog. The event table's numeric columns are read-only NumPy views of
the library's memory."""

from __future__ import annotations

import os
from dataclasses import dataclass
from typing import Optional

import numpy as np

from . import _qev
from ._completeness import completeness as _estimate_completeness
from ._files import _readable
from ._keywords import TableKeywords, _date_text, _known_end, _optional_real
from ._qev import EventTable, Zone

_FORMATS = {None: None, "csv": 0, "zmap": 1, "quakeml": 2}
_COLUMNS = ("year", "month", "day", "hour", "minute", "second", "longitude", "latitude",
            "depth", "magnitude", "sd")


@dataclass(frozen=True)
class ReadSummary:
    """What a read saw besides the events it kept: data rows met, events whose
    SD came from the default, and skipped rows as (reason, count, message of the
    first), and notes on what the read decided by itself (a column 'type'
    that holds no event types left unused)."""

    source: str
    format: str
    rows_read: int
    sd_defaulted: int
    skipped: tuple
    notes: tuple = ()

    def __repr__(self) -> str:
        shown = (f"ReadSummary(source={self.source!r}, format={self.format!r}, "
                 f"rows_read={self.rows_read!r}, sd_defaulted={self.sd_defaulted!r}, "
                 f"skipped={self.skipped!r}")
        return shown + (f", notes={self.notes!r})" if self.notes else ")")

    @property
    def skipped_total(self) -> int:
        return sum(count for _, count, _ in self.skipped)


@dataclass(frozen=True)
class SelectionCounts:
    """Events each criterion left out (each under the first that does) and the
    events kept."""

    outside_time: int
    outside_magnitude: int
    other_magnitude_type: int
    outside_depth: int
    outside_zone: int
    kept: int




def _choice(name, value, choices):
    key = value.lower() if isinstance(value, str) else value
    if key not in choices:
        raise ValueError(f"{name} is {value!r}, expected one of "
                         + ", ".join(repr(c) for c in choices))
    return choices[key]


def read_catalog(path, format: Optional[str] = None, *, default_sd: Optional[float] = None,
                 skip_bad_rows: bool = False, magnitude_columns=None,
                 **columns: str) -> EventTable:
    """Reads an earthquake catalog into an EventTable.

    format: "csv" (a header row), "zmap" or "quakeml"; default from the file name
    and its first bytes. default_sd: the magnitude SD of events whose file
    gives none (without it such an event is a bad row). skip_bad_rows: skip and
    count bad rows instead of raising ReadingError at the first. columns: CSV
    column names for roles (id, time, year, month, day, hour, minute, second,
    longitude, latitude, depth, magnitude, magtype, sd, type), e.g.
    magnitude="Mw", sd="unc". magnitude_columns: CSV columns of magnitudes of
    one type each, {type: column} or {type: (column, sd_column)}: a value on
    a row is one more magnitude of the event (qev.homogenise picks among
    them). The table's `summary` is a ReadSummary.
    """
    # The keys of the reading table are settings, the other keywords columns.
    given = {"default_sd": default_sd, "skip_bad_rows": skip_bad_rows}
    given.update((k, columns.pop(k)) for k in list(columns) if k in _READ.rows)
    for role, name in columns.items():
        if not isinstance(name, str):
            raise TypeError(f"column {role} is {type(name).__name__}, expected a column name")
    extra = []
    for type_, column in (magnitude_columns or {}).items():
        value, sd = (column, "") if isinstance(column, str) else tuple(column)
        if not isinstance(value, str) or not isinstance(sd, str):
            raise TypeError(f"magnitude column {type_} is {column!r}, expected a column name "
                            "or (column, sd column)")
        extra.append((str(type_), value, sd))
    table, summary = _qev.read_event_file(_readable(path), _choice("format", format, _FORMATS),
                                          _READ.settings(given), columns, extra)
    summary["skipped"] = tuple(summary["skipped"])
    summary["notes"] = tuple(summary["notes"])
    table.summary = ReadSummary(**summary)
    table._ends_with_itself = True  # its end is found when first asked for
    return table


_READ = TableKeywords(read_catalog, "read", own=("columns", "magnitude_columns"), rest=True)


def _catalog_end(self) -> Optional[str]:
    """The last day the catalog this table came from observes (YYYY-MM-DD):
    the day of the latest event as read, or the day before a selection's
    `until`. None for a table whose origin is not known."""
    d = self.__dict__
    if "_catalog_end" not in d and d.get("_ends_with_itself"):
        d["_catalog_end"] = _qev.catalog_end(self, None, None)
    return d.get("_catalog_end")


def _set_catalog_end(self, value: Optional[str]) -> None:
    self.__dict__["_catalog_end"] = value


def select(events: EventTable, *, zone=None, **criteria) -> EventTable:
    """The events kept by every criterion given, in table order, as a new table
    whose `rows` are their rows in `events` and `selection` a SelectionCounts.

    start: first day kept; until: first day no longer kept (dates as text
    YYYY[-MM[-DD]], datetime.date or a year). Magnitudes and depths (km) are
    kept at and between the bounds; an event of unknown depth is left out when
    a depth bound is given. magnitude_types: the types kept (any case). zone:
    a qev.Zone or a zone file (WKT when it ends in .wkt, GeoJSON otherwise).
    The criteria are the keys of the selection table (`from` spelled start).
    """
    if isinstance(zone, (str, os.PathLike)):
        zone = Zone.read(_readable(zone))
    elif zone is not None and not isinstance(zone, Zone):
        raise TypeError(f"zone is {type(zone).__name__}, expected a qev.Zone or a file name")
    settings = _SELECT.settings(criteria)
    rows, counts = _qev.select(events, settings, zone)
    kept = events.subset(rows)
    kept.rows = rows
    kept.selection = SelectionCounts(**counts)
    # The catalog still observes the days after the last event kept, but
    # not the days before `from`: the split's periods begin there.
    kept.catalog_end = _qev.catalog_end(events, _known_end(events), settings.get("until"))
    first = settings.get("from")
    earlier = getattr(events, "catalog_start", None)
    kept.catalog_start = max(first, earlier, key=_date_key) if first and earlier else (
        first or earlier)
    return kept


_SELECT = TableKeywords(select, "select", own=("zone", "zone_wkt"), spelled={"from": "start"})


def _date_key(text: str):
    """A date bound as a sortable tuple (year, month, day); a missing part first."""
    negative = text.startswith("-")
    parts = [int(p) for p in text.lstrip("-").split("-")]
    parts[0] = -parts[0] if negative else parts[0]
    return tuple(parts + [0] * (3 - len(parts)))


@dataclass(frozen=True, repr=False)
class Declustered:
    """Declustering: the mainshocks as a table, their rows in the input
    (time order), the events each removed besides itself, and for every row of
    the input the row of the mainshock that claimed it."""

    mainshocks: EventTable
    rows: np.ndarray
    removed: np.ndarray
    mainshock_of: np.ndarray

    @property
    def removed_total(self) -> int:
        return int(self.removed.sum())

    def __repr__(self) -> str:
        return (f"Declustered({self.rows.size} mainshocks, {self.removed_total} events removed, "
                f"largest cluster {int(self.removed.max(initial=0))})")


def decluster(events: EventTable, method: Optional[str] = None, *,
              window: Optional[str] = None, **parameters) -> Declustered:
    """Declustering by one of the library's methods; `method` (or `window`,
    its older name) a name of the table below, default "gk". The parameters
    are keywords of the table below (each method reads its own)."""
    if method is not None and window is not None:
        raise TypeError("give method or window, not both")
    name = method if method is not None else window if window is not None else "gk"
    if not isinstance(name, str):
        raise TypeError(f"method is {type(name).__name__}, expected a method name")
    given = []
    for key, value in parameters.items():
        if key not in _DECLUSTER_KEYS:
            raise TypeError(f"decluster() got an unexpected keyword argument '{key}' "
                            f"(declustering parameters: {', '.join(_DECLUSTER_KEYS)})")
        if value is not None:
            given.append((key, _optional_real(key, value)))
    rows, removed, mainshock_of = _qev.decluster(events, name, given)
    mainshocks = events.subset(rows)
    mainshocks.catalog_end = _known_end(events)
    mainshocks.catalog_start = getattr(events, "catalog_start", None)
    return Declustered(mainshocks, rows, removed, mainshock_of)


# The names, keywords and their descriptions come from the library's tables.
_DECLUSTER_KEYS = tuple(row[0] for row in _qev.decluster_parameters())
decluster.__doc__ += "\n\n    Methods:\n" + "".join(
    f"      {name}{f' ({aliases})' if aliases else ''}: {description}\n"
    for name, aliases, description in _qev.decluster_methods()) + "\n    Parameters:\n" + "".join(
    f"      {key} ({methods}): {description}\n"
    for key, methods, description, _, _ in _qev.decluster_parameters())


@dataclass(frozen=True, repr=False)
class Split:
    """An event table split into the parts of a catalog: `catalog` ready for
    qev.analyze, the periods as ((year, month, day) first, last), the rows of
    the table in each part, and the events below their part's threshold or in
    no part at all."""

    catalog: object
    extreme_period: Optional[tuple]
    extreme_rows: np.ndarray
    complete_periods: tuple
    complete_rows: tuple
    below_threshold: int
    outside_parts: int

    def __repr__(self) -> str:
        return (f"Split({self.catalog!r}, {self.below_threshold} below threshold, "
                f"{self.outside_parts} outside the parts)")


def _completeness(steps):
    out = []
    for step in steps:
        if isinstance(step, (str, bytes)) or np.ndim(step) != 1 or len(step) != 2:
            raise TypeError(f"completeness step {step!r}, expected [year, magnitude]")
        year, threshold = step
        if isinstance(year, bool) or float(year) != int(year):
            raise ValueError(f"completeness year {year!r}, expected a whole year")
        out.append((int(year), float(threshold)))
    return out


def split(events: EventTable, completeness=(), extreme_window: int = 0, *, end=None,
          **settings) -> Split:
    """Splits the table into catalog parts.

    completeness: [[year, Mc], ...]: from 1 January of each year on, the catalog
    is complete at and above Mc (until the next step), or "auto" for the table
    qev.completeness(events) estimates; end: last day of the
    youngest complete period, default the end of the catalog as read (the day
    of its latest event, or the day before a selection's `until`), which
    read_catalog, select and decluster pass on as `catalog_end`, else the day
    of the table's latest event.
    The periods begin no earlier than the table's `catalog_start` (the start
    of a selection by qev.select), so that a time selection shortens them.
    extreme_window: the extreme part holds the largest event of each window of
    this many years (0: no extreme part), from extreme_from to extreme_to
    (default from the first event's year to the day before the first complete
    period). Raises CatalogError for steps out of order or extreme events less
    than 0.001 year apart."""
    from . import _catalog_from

    if isinstance(extreme_window, bool) or not isinstance(extreme_window, (int, np.integer)):
        raise TypeError(f"extreme_window is {extreme_window!r}, expected a whole number of years")
    if isinstance(completeness, str):
        # "auto": the table qev.completeness estimates with its defaults.
        if completeness.lower() != "auto":
            raise ValueError(f"completeness is {completeness!r}, expected steps or 'auto'")
        completeness = _estimate_completeness(events, end=end).table
    settings.update(extreme_window=int(extreme_window),
                    end=_date_text("end", end) or _known_end(events))
    d = _qev.split(events, _completeness(completeness), _SPLIT.settings(settings),
                   getattr(events, "catalog_start", None))
    return Split(_catalog_from(d["catalog"]), d["extreme_period"], d["extreme_rows"],
                 tuple(d["complete_periods"]), tuple(d["complete_rows"]), d["below_threshold"],
                 d["outside_parts"])


_SPLIT = TableKeywords(split, "split", own=("completeness",))


# ---------------------------------------------------------------- pandas


def _to_dataframe(self):
    """The table as a pandas DataFrame: one column per field, magnitude_type
    as a categorical column, the event ids, the agency of the magnitude, and
    the magnitude and type as the catalog gave them (original_magnitude,
    original_type: the same as magnitude and magnitude_type unless the table
    was converted by qev.homogenise)."""
    import pandas as pd

    frame = pd.DataFrame({name: getattr(self, name) for name in _COLUMNS})
    frame["magnitude_type"] = pd.Categorical.from_codes(np.asarray(self.magnitude_type),
                                                        self.magnitude_types)
    frame["id"] = self.ids
    frame["agency"] = pd.Categorical.from_codes(np.asarray(self.magnitude_agency),
                                                self.agencies)
    frame["original_magnitude"] = self.original_magnitude
    frame["original_type"] = pd.Categorical.from_codes(np.asarray(self.original_type),
                                                       self.magnitude_types)
    return frame


def _from_dataframe(frame, default_sd: Optional[float] = None) -> EventTable:
    """An EventTable from a DataFrame (or a dict of columns) with the columns of
    to_dataframe; or a `time` column (datetime64) instead of year..second. Rows
    are checked as a reader checks them (ValueError naming the row)."""
    columns = {name: frame[name] for name in frame.keys()}
    n = len(columns["magnitude"]) if "magnitude" in columns else None
    if n is None or "longitude" not in columns or "latitude" not in columns:
        raise ValueError("the frame needs the columns longitude, latitude and magnitude")
    if "year" not in columns:
        if "time" not in columns:
            raise ValueError("the frame needs a year or a time column")
        time = np.asarray(columns["time"], dtype="datetime64[ns]")
        days = time.astype("datetime64[D]")
        columns["year"] = days.astype("datetime64[Y]").astype(np.int64) + 1970
        columns["month"] = days.astype("datetime64[M]").astype(np.int64) % 12 + 1
        columns["day"] = (days - days.astype("datetime64[M]")).astype(np.int64) + 1
        nanoseconds = (time - days).astype(np.int64)
        columns["hour"] = nanoseconds // 3_600_000_000_000
        columns["minute"] = nanoseconds // 60_000_000_000 % 60
        columns["second"] = (nanoseconds % 60_000_000_000) / 1e9
    for name, default in (("month", 0), ("day", 0), ("hour", 0), ("minute", 0),
                          ("second", 0.0), ("depth", np.nan)):
        columns.setdefault(name, np.full(n, default))
    if "sd" not in columns:
        if default_sd is None:
            raise ValueError("the frame has no sd column: give default_sd")
        columns["sd"] = np.full(n, float(default_sd))
    types = columns.get("magnitude_type", [""] * n)
    ids = columns.get("id", [""] * n)
    values = {name: np.asarray(columns[name]) for name in _COLUMNS}
    for name, v in values.items():
        if v.dtype.kind not in "biuf":
            raise TypeError(f"column {name} holds {v.dtype} values, expected numbers")
    values["magnitude_type"] = ["" if t is None or t != t else str(t) for t in types]
    values["id"] = ["" if t is None or t != t else str(t) for t in ids]
    for name in ("agency", "original_type"):
        if name in columns:
            values[name] = ["" if t is None or t != t else str(t) for t in columns[name]]
    if "original_magnitude" in columns:
        values["original_magnitude"] = np.asarray(columns["original_magnitude"])
    return EventTable._from_columns(values)


def _table_repr(self) -> str:
    n = len(self)
    if n == 0:
        return "EventTable(0 events)"
    order = np.lexsort((self.second, self.minute, self.hour, self.day, self.month, self.year))
    first, last = (f"{self.year[i]:04d}-{self.month[i]:02d}-{self.day[i]:02d}"
                   for i in (order[0], order[-1]))
    return (f"EventTable({n} events, {first} to {last}, magnitude "
            f"{self.magnitude.min():g} to {self.magnitude.max():g}, "
            f"types {', '.join(t or '(none)' for t in self.magnitude_types)})")


EventTable.to_dataframe = _to_dataframe
EventTable.from_dataframe = staticmethod(_from_dataframe)
EventTable.__repr__ = _table_repr
EventTable.catalog_end = property(_catalog_end, _set_catalog_end)
