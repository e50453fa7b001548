"""Keyword arguments as the library takes them: dates and numbers checked for
their kind here, and the keywords of a function that are the keys of one of the
library's settings tables (qev.settings_table). Such a function takes each key
of its table as a keyword, its signature and docstring list them, and the
library checks the values by the rows, so a new row is a new keyword."""

from __future__ import annotations

import datetime
import inspect
from typing import Optional

import numpy as np

from . import _qev


def _date_text(name, value) -> Optional[str]:
    """A date bound as the library reads it: YYYY, YYYY-MM or YYYY-MM-DD."""
    if value is None or isinstance(value, str):
        return value
    if isinstance(value, (datetime.date, np.datetime64)):
        return str(np.datetime64(value, "D"))
    if isinstance(value, (int, np.integer)) and not isinstance(value, bool):
        return f"{'-' if value < 0 else ''}{abs(int(value)):04d}"
    raise TypeError(f"{name} is {type(value).__name__}, expected a date (text YYYY[-MM[-DD]], "
                    "a datetime.date or a year)")


def _optional_real(name, value):
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float, np.number)):
        raise TypeError(f"{name} is {type(value).__name__}, expected a number")
    return float(value)


def _known_end(events):
    """The end of the catalog a table came from, where it is known."""
    return events.catalog_end


class TableKeywords:
    """The keywords of `function` that are the keys of a settings table:
    every row's key but those the function takes in a form of its own
    (`own`), spelled as the key or, where the key is a word Python reserves,
    as `spelled` gives it ({"from": "start"}). `pairs` gives keywords that
    take two rows' values as one pair, {keyword: (form, key, key)}, the form
    as messages name it ("(b, sd)"); a pair given sets the row of the
    keyword's own name, if any, to `marks`' value for it (start=(lambda_,
    mmax) is the start "given"). `rows` keeps the rows it holds true of (the
    analysis table's hazard rows are no keywords of analyze). The function's
    own **keywords stay in its signature when `rest` (read_catalog's CSV
    columns); otherwise they are the table's."""

    def __init__(self, function, table: str, *, own=(), spelled=None, rest=False, pairs=None,
                 marks=None, rows=None):
        spelled = spelled or {}
        self.function = function.__name__
        self.pairs = pairs or {}
        self.marks = marks or {}
        every = {row["key"]: row for row in _qev.settings_table(table)}
        paired = {key for _, *keys in self.pairs.values() for key in keys} | set(self.marks)
        self.rows = {spelled.get(key, key): row for key, row in every.items()
                     if key not in own and key not in paired and (rows is None or rows(row))}
        self._paired = {name: [every[key] for key in keys]
                        for name, (_, *keys) in self.pairs.items()}
        self._marked = {name: every[name] for name in self.marks}
        self._document(function, rest)

    def settings(self, given: dict) -> dict:
        """The table's keys and the values given for them (None: the default),
        dates as the library's text, pairs as their two rows; TypeError for a
        keyword of no row."""
        out = {}
        for name in self._required:
            if given.get(name) is None:
                row = self.rows[name]
                raise TypeError(f"{self.function}() needs {name} ({row['description']}), "
                                f"{row['expected']}; it is None")
        for name, value in given.items():
            if name in self.pairs:
                out.update(self._pair(name, value))
                continue
            row = self.rows.get(name)
            if row is None:
                raise TypeError(f"{self.function}() got an unexpected keyword argument {name!r} "
                                f"(its keywords: {', '.join(sorted(self._keywords))})")
            if value is None:
                continue
            out[row["key"]] = _date_text(name, value) if row["type"] == "date" else value
        return out

    def _pair(self, name, value) -> dict:
        if value is None:
            return {}
        if isinstance(value, (str, bytes)) or np.ndim(value) != 1 or len(value) != 2:
            raise TypeError(f"{name} is {value!r}, expected {self.pairs[name][0]}")
        out = {row["key"]: v for row, v in zip(self._paired[name], value)}
        if name in self.marks:
            out[name] = self.marks[name]
        return out

    def _document(self, function, rest: bool) -> None:
        """The rows as keyword-only parameters of the signature (default None:
        the row's default) and as lines of the docstring."""
        signature = inspect.signature(function)
        kept = [p for p in signature.parameters.values() if p.kind is not p.VAR_KEYWORD]
        var = [p for p in signature.parameters.values() if p.kind is p.VAR_KEYWORD and rest]
        taken = {p.name for p in kept}
        extra = [inspect.Parameter(name, inspect.Parameter.KEYWORD_ONLY, default=None)
                 for name in self.rows if name not in taken]
        function.__signature__ = signature.replace(parameters=kept + extra + var)
        self._keywords = [p.name for p in kept + extra if p.default is not p.empty]
        # A row the signature requires (analyze's mmin) has no default to take.
        self._required = [p.name for p in kept if p.default is p.empty and p.name in self.rows]
        lines = []
        for name, row in self.rows.items():
            key = "" if name == row["key"] else f" (key {row['key']})"
            lines.append(f"      {name}{key}: {row['description']}; {row['expected']}; "
                         f"default {row['default']}\n")
        for name, rows in self._paired.items():
            form = self.pairs[name][0]
            keys = ", ".join(row["key"] for row in rows)
            what = "; ".join(f"{row['description']} ({row['expected']})" for row in rows)
            marked = self._marked.get(name)
            if marked is not None:
                # The row of the pair's own name: the pair given is its mark.
                keys = f"{marked['key']} {self.marks[name]!r}, {keys}"
                what = f"{marked['description']}; {what}"
            default = (marked["default"] if marked is not None else
                       "(" + ", ".join(row["default"] for row in rows) + ")")
            lines.append(f"      {name}={form} (keys {keys}): {what}; default {default}\n")
        function.__doc__ = (function.__doc__ or "") + "\n\n    Settings:\n" + "".join(lines)
