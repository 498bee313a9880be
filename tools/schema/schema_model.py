"""Building blocks of the declarative data-file schema (bank_schema.py).

A schema is a list of File objects. Each File holds record types (Record),
each Record its columns (Column) in layout order, its key, its further
indexes and, when the library has classes for it, the record class, key
classes, enumerations and cursor. gen_records.py turns a schema into the
data-dictionary source of the framework and the record/key classes of the
library, so that the dictionary and the classes cannot drift apart.

Column types (the `kind` of a ColumnType):
  alpha, text, phone   text values, width = characters
  double               tsDouble, width = total digits, decimals = stored places
  currency             tsCurrency, 2 stored decimals
  date, time, bool     tsDate, tsTime, tsBool
  choice               tsChoice or tclTSEnum<E> (stored as a whole number)
  short, long          tsNum<short>, tsNum<long>
"""
from __future__ import annotations

from dataclasses import dataclass, field
from typing import Optional

# kind -> (C++ value class, tsDataType enumerator)
KINDS = {
    "alpha": ("tsAlpha", "kAlpha"),
    "text": ("tsText", "kText"),
    "phone": ("tsPhone", "kPhone"),
    "double": ("tsDouble", "kDouble"),
    "currency": ("tsCurrency", "kCurrency"),
    "date": ("tsDate", "kDate"),
    "time": ("tsTime", "kTime"),
    "bool": ("tsBool", "kBool"),
    "choice": ("tsChoice", "kChoice"),
    "short": ("tsNum<short>", "kNum"),
    "long": ("tsNum<long>", "kNum"),
}


@dataclass(frozen=True)
class ColumnType:
    kind: str
    width: int
    decimals: int = 0
    default: int = 0
    enum: Optional[str] = None  # enumeration of a choice: "BatchSourceEnum" or "BankAccountData::TranTypeEnum"

    def __post_init__(self):
        if self.kind not in KINDS:
            raise ValueError(f"unknown column kind {self.kind}")
        if self.width <= 0:
            raise ValueError("every column needs a width")

    @property
    def ts_type(self) -> str:
        return KINDS[self.kind][1]

    def cpp(self, scope: str = "") -> str:
        """C++ field type; enumerations of `scope` are named without the scope."""
        if self.enum:
            name = self.enum
            if scope and name.startswith(scope + "::"):
                name = name[len(scope) + 2:]
            return f"tclTSEnum<{name}>"
        return KINDS[self.kind][0]


@dataclass(frozen=True)
class Column:
    name: str
    type: ColumnType
    accessor: str
    setter: bool = True  # False: getter only

    def __post_init__(self):
        if not (1 <= len(self.name) <= 7) or not self.name.isalnum() or self.name.upper() != self.name:
            raise ValueError(f"column name {self.name!r}: at most seven upper-case letters and digits")


@dataclass(frozen=True)
class Enum:
    name: str
    values: tuple  # ((enumerator, value), ...)


@dataclass
class KeyClass:
    name: str
    default_ctor: bool = True
    from_record: bool = True    # constructor from the table's record class
    record_class: Optional[str] = None  # record class of that constructor when it is another table's
    field_types: dict = field(default_factory=dict)  # column -> C++ type replacing the record's


@dataclass
class Record:
    record_type: int
    description: str
    columns: list
    key: list
    indexes: dict = field(default_factory=dict)  # number -> [columns]
    # number -> [columns the index also stores, so that walks reading only
    # them read the index alone; no part in order or searches]
    index_carries: dict = field(default_factory=dict)
    notes: bool = False
    file_links: bool = False
    cls: Optional[str] = None          # record class; None for a record type with a key class only
    key_classes: list = field(default_factory=list)
    key_list: Optional[str] = None     # key column list given to the record base (default: key joined by ";")
    enums: list = field(default_factory=list)  # enumerations nested in the record class
    cursor: Optional[str] = None
    exported: bool = True
    stem: Optional[str] = None         # file stem of the generated header/source
    summary: str = ""                  # first line of the generated header

    def column(self, name: str) -> Column:
        for c in self.columns:
            if c.name == name:
                return c
        raise KeyError(name)

    @property
    def key_column_list(self) -> str:
        return self.key_list if self.key_list is not None else ";".join(self.key)


@dataclass
class Header:
    number: int
    columns: list  # Column objects; accessors unused


@dataclass
class File:
    code: str
    dictionary_ids: tuple  # every dictionary id this definition is registered under (instances)
    description: str
    records: list
    headers: list = field(default_factory=list)
    descriptions: dict = field(default_factory=dict)  # dictionary id -> description when it differs


# Short-hands for the schema ----------------------------------------------

def alpha(name, accessor, width, **kw):
    return Column(name, ColumnType("alpha", width), accessor, **kw)


def text(name, accessor, width, **kw):
    return Column(name, ColumnType("text", width), accessor, **kw)


def phone(name, accessor, **kw):
    return Column(name, ColumnType("phone", 20), accessor, **kw)


def money(name, accessor, **kw):
    return Column(name, ColumnType("currency", 15, 2), accessor, **kw)


def whole(name, accessor, width=9, **kw):
    """A tsDouble holding whole numbers (runs, sequences, check numbers, ids)."""
    return Column(name, ColumnType("double", width, 0), accessor, **kw)


def number(name, accessor, width, decimals, **kw):
    """A tsDouble stored with `decimals` places (tax amounts, rates)."""
    return Column(name, ColumnType("double", width, decimals), accessor, **kw)


def date(name, accessor, **kw):
    return Column(name, ColumnType("date", 8), accessor, **kw)


def time(name, accessor, **kw):
    return Column(name, ColumnType("time", 6), accessor, **kw)


def boolean(name, accessor, **kw):
    return Column(name, ColumnType("bool", 1), accessor, **kw)


def choice(name, accessor, enum=None, default=1, **kw):
    return Column(name, ColumnType("choice", 3, 0, default, enum), accessor, **kw)


def short_num(name, accessor, **kw):
    return Column(name, ColumnType("short", 5), accessor, **kw)


def long_num(name, accessor, width=12, **kw):
    return Column(name, ColumnType("long", width), accessor, **kw)
