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
    as `spelled` gives it ({"from": "start"}). The function's own **keywords
    stay in its signature when `rest` (read_catalog's CSV columns); otherwise
    they are the table's."""

    def __init__(self, function, table: str, *, own=(), spelled=None, rest=False):
        spelled = spelled or {}
        self.function = function.__name__
        self.rows = {spelled.get(row["key"], row["key"]): row
                     for row in _qev.settings_table(table) if row["key"] not in own}
        self._document(function, rest)

    def settings(self, given: dict) -> dict:
        """The table's keys and the values given for them (None: the default),
        dates as the library's text; TypeError for a keyword of no row."""
        out = {}
        for name, value in given.items():
            row = self.rows.get(name)
            if row is None:
                raise TypeError(f"{self.function}() got an unexpected keyword argument {name!r} "
                                f"(its keywords: {', '.join(sorted(self._keywords))})")
            if value is None:
                continue
            out[row["key"]] = _date_text(name, value) if row["type"] == "date" else value
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
        lines = []
        for name, row in self.rows.items():
            key = "" if name == row["key"] else f" (key {row['key']})"
            lines.append(f"      {name}{key}: {row['description']}; {row['expected']}; "
                         f"default {row['default']}\n")
        function.__doc__ = (function.__doc__ or "") + "\n\n    Settings:\n" + "".join(lines)
