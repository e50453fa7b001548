"""One magnitude scale: an event table converted to the target scale by a
relation per magnitude type (and agency), the same relations and checks as the
[homogenise] table of a prepare job (docs/catalogs.md)."""

from __future__ import annotations

import json
import math
import numbers
import os
from dataclasses import dataclass
from typing import Optional

from . import _qev
from ._files import _readable
from ._keywords import _known_end, _optional_real
from ._qev import EventTable


@dataclass(frozen=True)
class TypeConversion:
    """Events whose fate one magnitude type decided: the type of the magnitude
    used, or for an event left out, of its first magnitude in priority order."""

    type: str
    read: int
    converted: int
    out_of_range: int
    unlisted: int

    @property
    def left_out(self) -> int:
        return self.out_of_range + self.unlisted


@dataclass(frozen=True)
class Homogenised:
    """What the conversion did: the target scale, per type the events read,
    converted and left out, and the totals."""

    target: str
    types: tuple
    converted: int
    left_out: int
    from_other_magnitudes: int


def _toml(value, where: str) -> str:
    """A value of a relations table as TOML text (inline tables, arrays)."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, str):
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        number = float(value)
        return repr(number) if math.isfinite(number) else ("nan" if number != number else
                                                           ("inf" if number > 0 else "-inf"))
    if isinstance(value, dict):
        return "{" + ", ".join(f"{_key(k, where)} = {_toml(v, where + '.' + str(k))}"
                               for k, v in value.items()) + "}"
    if isinstance(value, (list, tuple)):
        return "[" + ", ".join(_toml(v, where) for v in value) + "]"
    raise TypeError(f"{where} is {type(value).__name__}, expected a number, a text, "
                    "a list or a dict")


def _key(key, where: str) -> str:
    if not isinstance(key, str):
        raise TypeError(f"a key of {where} is {type(key).__name__}, expected a text")
    return json.dumps(key, ensure_ascii=False)


def _relations_text(relations) -> tuple[str, str]:
    """(TOML text, source) of a relations file or of a dict of its keys; one
    relation a line, so that a message's line names the relation."""
    if isinstance(relations, (str, os.PathLike)):
        path = _readable(relations)
        with open(path, "rb") as f:
            return f.read().decode("utf-8", errors="replace"), path
    if not isinstance(relations, dict):
        raise TypeError(f"relations is {type(relations).__name__}, expected a TOML file or "
                        "a dict of its keys")
    lines = []
    for key, value in relations.items():
        if key == "relation" and isinstance(value, (list, tuple)):
            lines += [f"[[relation]]\n" + "\n".join(
                f"{_key(k, 'relation')} = {_toml(v, 'relation.' + str(k))}"
                for k, v in (r.items() if isinstance(r, dict) else _not_a_dict(r)))
                for r in value]
        else:
            lines.insert(0, f"{_key(key, 'relations')} = {_toml(value, str(key))}")
    return "\n".join(lines) + "\n", "relations"


def _not_a_dict(r):
    raise TypeError(f"a relation is {type(r).__name__}, expected a dict of its keys")


def homogenise(events: EventTable, relations, *,
               default_sd: Optional[float] = None) -> EventTable:
    """The events converted to one magnitude scale, as a new table.

    relations: a TOML file, or a dict of the same keys: target (the scale,
    e.g. "Mw"), target_types (types already on it, converted by identity),
    priority (types in order of preference when an event has several
    magnitudes), default_sd, and relation: a list of dicts, each with type,
    optionally agency, and a, b, sd and range=[from, to] (M_target = a + b M)
    or segments=[{from, to, a, b, sd}, ...]. Each event's magnitude becomes
    a + b M and its SD sqrt((b SD)^2 + sd^2); default_sd is the SD of a
    further magnitude given without one. Events of a type without a relation
    or outside its range are left out and counted.

    The table's `homogenised` is a Homogenised (per type: read, converted,
    left out), `rows` the converted events' rows in `events`; its
    original_magnitude and original_type hold the magnitude converted.
    Raises ReadingError for a bad relation (the line and key named)."""
    text, source = _relations_text(relations)
    table, rows, counts = _qev.homogenise(events, text, source,
                                          _optional_real("default_sd", default_sd))
    table.rows = rows
    counts["types"] = tuple(TypeConversion(*t) for t in counts["types"])
    table.homogenised = Homogenised(**counts)
    table.catalog_end = _known_end(events)
    return table
