"""Annotation text: repr of a Validator for every node kind."""

import dataclasses
import enum
import types
from typing import Annotated, Any, Literal, NamedTuple, Never, NotRequired, Optional, TypedDict

import pytest

from tarmelix import Validator, anything, complement, intersection, nothing, recursive, union

NS = types.SimpleNamespace


class Movie(TypedDict):
    a: int
    b: NotRequired[str]


@dataclasses.dataclass
class Point:
    x: int


class Pair(NamedTuple):
    left: int


class Plain:
    pass


class BadRepr(enum.Enum):
    A = 1

    def __repr__(self):
        raise ValueError("no repr")


class NamelessMeta(type):
    __name__ = 5

    def __repr__(cls):
        return "<nameless>"


class RaisingNameMeta(type):
    @property
    def __name__(cls):
        raise KeyboardInterrupt

    def __repr__(cls):
        return "<raising name>"


REPRS = [
    # scalars and the two bounds of the lattice
    (object, "anything"),
    (anything, "anything"),
    (Any, "Any"),
    (Never, "nothing"),
    (nothing, "nothing"),
    (None, "None"),
    (bool, "bool"),
    (int, "int"),
    (float, "float"),
    (str, "str"),
    (bytes, "bytes"),
    # sequences
    (list[int], "list[int]"),
    (tuple[int, ...], "tuple[int, ...]"),
    (tuple[int, str], "tuple[int, str]"),
    (tuple[()], "tuple[]"),
    ([int], "list[int]"),
    ([int, str], "[int, str]"),
    ([int, str, ...], "[int, str, ...]"),
    ([], "[]"),
    (set[bytes], "set[bytes]"),
    (frozenset[str], "frozenset[str]"),
    # records
    (dict[str, float], "dict[str, float]"),
    (dict[str, object], "dict[str, anything]"),
    ({}, "{}"),
    (Movie, "{'a': int, 'b?': str}"),
    ({"a": int, "b?": str}, "{'a': int, 'b?': str}"),
    ({"a": int, str: int}, "{'a': int, str: int}"),
    ({"it's": int}, "{'it's': int}"),
    # unions, literals, combinators
    (Literal[1, "a"], "Literal[1] | Literal['a']"),
    (int | None, "int | None"),
    (Optional[list[Literal[1]]], "list[Literal[1]] | None"),
    (Literal[b"ab", True, None], "Literal[b'ab'] | Literal[True] | None"),
    (union(int, str), "int | str"),
    (intersection(int, str), "intersection(int, str)"),
    (complement(int), "complement(int)"),
    # classes
    (Point, "Point"),
    (Pair, "Pair"),
    (Plain, "Plain"),
    (NamelessMeta("K", (), {}), "<nameless>"),
    (RaisingNameMeta("K", (), {}), "<raising name>"),
    # constraints
    (Annotated[int, NS(ge=0), NS(lt=10)], "Annotated[int, Ge(0), Lt(10)]"),
    (Annotated[int, NS(gt=0, le=9)], "Annotated[int, Gt(0), Le(9)]"),
    (Annotated[list[int], NS(min_length=1, max_length=3)], "Annotated[list[int], MinLen(1), MaxLen(3)]"),
    (Annotated[float, NS(multiple_of=0.5)], "Annotated[float, MultipleOf(0.5)]"),
    (Annotated[int, lambda x: True], "Annotated[int, Predicate(...)]"),
    (Annotated[str, NS(pattern='\\d+"')], 'Annotated[str, Regex("\\\\d+\\"")]'),
    (Annotated[str, NS(pattern="e\u0301\t\u00a0")], 'Annotated[str, Regex("e\\u{301}\\t\\u{a0}")]'),
    (Annotated[int, NS(ge="g" * 100)], "Annotated[int, Ge('" + "g" * 79 + "...)]"),
]


@pytest.mark.parametrize(("spec", "text"), REPRS, ids=[t for _, t in REPRS])
def test_repr(spec, text):
    assert repr(Validator(spec)) == text


@pytest.mark.parametrize(
    ("build", "text"),
    [
        (lambda: recursive(lambda s: list[s]), "list[...]"),
        (lambda: recursive(lambda s: tuple[s, s]), "tuple[..., ...]"),
        (lambda: recursive(lambda s: int | list[s]), "int | list[...]"),
        (lambda: recursive(lambda s: {"v": int, "next?": s}), "{'v': int, 'next?': ...}"),
        # two references to one definition outside its own expansion are each written out
        (lambda: (lambda r: Validator(tuple[r, r]))(recursive(lambda s: list[s])), "tuple[list[...], list[...]]"),
        (lambda: Validator(Movie).open(), "{'a': int, 'b?': str, ...}"),
        (lambda: Validator({"a": int}).open().close(), "{'a': int}"),
        (lambda: Validator(int) | Validator(str), "int | str"),
    ],
    ids=lambda v: v if isinstance(v, str) else "",
)
def test_repr_of_built_validators(build, text):
    assert repr(build()) == text


@pytest.mark.parametrize(
    ("value", "shown"),
    [
        ("x" * 78, "'" + "x" * 78 + "'"),  # a repr of exactly 80 characters is whole
        ("x" * 79, "'" + "x" * 79 + "..."),
        ("\u00e9" * 100, "'" + "\u00e9" * 79 + "..."),  # characters, not bytes
        (BadRepr.A, "<unrepresentable>"),
    ],
    ids=["80", "81", "non-ascii", "raising-repr"],
)
def test_literal_preview(value, shown):
    assert repr(Validator(Literal[value])) == f"Literal[{shown}]"
