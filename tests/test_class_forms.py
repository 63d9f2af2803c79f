"""Dataclasses, NamedTuples and TypedDicts as schemas."""

import os
import subprocess
import sys
import typing
from dataclasses import dataclass
from typing import Annotated, Literal, NamedTuple, NotRequired, Required, TypedDict

import pytest

from tarmelix import Validator

NESTING = (
    "schema nesting is too deep to compile: the frontend descended 128 levels without "
    "reaching a leaf. A class whose own type appears in its fields is recursive and never "
    "bottoms out; write it with recursive(...), which ties the fixpoint explicitly."
)


@dataclass
class Point:
    x: int
    y: "list[str]"
    z: int = 0  # defaults do not make a field optional


class Pair(NamedTuple):
    a: int
    b: str = "x"


class Movie(TypedDict):
    title: str
    year: NotRequired[int]


class Partial(TypedDict, total=False):
    title: str
    year: Required[int]


class Empty(TypedDict):
    pass


@pytest.mark.parametrize(
    "spec, same_as",
    [
        (Movie, {"title": str, "year?": int}),
        (Partial, {"title?": str, "year": int}),
        (Empty, {}),
    ],
)
def test_typed_dict_is_a_closed_record(spec, same_as):
    assert Validator(spec) == Validator(same_as)


def test_class_forms_render_as_their_class():
    assert repr(Validator(Point)) == "Point"
    assert repr(Validator(Pair)) == "Pair"


def test_dataclass_fields_follow_the_hints():
    @dataclass
    class Same:
        x: int
        y: "list[str]"
        z: int = 0

    @dataclass
    class Other:
        x: int
        y: "list[bytes]"
        z: int = 0

    # the class is a constant (compared by ==), the fields are structure
    assert hash(Validator(Point)) == hash(Validator(Same))
    assert hash(Validator(Point)) != hash(Validator(Other))
    assert Validator(Point) != Validator(Same)


def test_annotated_hints_keep_their_metadata():
    class Meta:
        ge = 0

    @dataclass
    class Plain:
        x: int

    @dataclass
    class Bounded:
        x: Annotated[int, Meta()]

    assert hash(Validator(Plain)) != hash(Validator(Bounded))


@dataclass
class Tree:
    children: "list[Tree]"


@pytest.mark.parametrize("spec", [Tree, list[Tree]])
def test_self_naming_dataclass_hits_the_nesting_limit(spec):
    with pytest.raises(NotImplementedError) as info:
        Validator(spec)
    assert info.value.args == (NESTING,)


def test_unresolvable_hint_passes_the_name_error_through():
    @dataclass
    class Broken:
        x: "Undefined"  # noqa: F821

    with pytest.raises(NameError):
        Validator(Broken)


def test_field_name_with_lone_surrogate():
    Bad = TypedDict("Bad", {"ok": int, "\ud800": int})
    with pytest.raises(ValueError) as info:
        Validator(Bad)
    assert info.value.args == (
        "a record key must be valid Unicode; a field name cannot contain a lone surrogate",
    )


@pytest.mark.parametrize(
    "hints, message",
    [
        ([("x", int)], "'list' object is not an instance of 'dict'"),
        (None, "'None' is not an instance of 'dict'"),
    ],
)
def test_hints_that_are_not_a_dict(monkeypatch, hints, message):
    monkeypatch.setattr(typing, "get_type_hints", lambda cls, include_extras=False: hints)
    with pytest.raises(TypeError) as info:
        Validator(Point)
    assert info.value.args == (message,)


def test_hints_are_fetched_with_extras(monkeypatch):
    calls = []

    def fake(cls, **kwargs):
        calls.append((cls, kwargs))
        return {"x": Literal[1]}

    monkeypatch.setattr(typing, "get_type_hints", fake)
    assert Validator(Point) is not None
    assert calls == [(Point, {"include_extras": True})]


def test_hints_changed_while_built_is_an_internal_fault(monkeypatch):
    hints = {"x": int, "y": None}

    class Grow:
        @property
        def __metadata__(self):
            hints["z"] = int
            raise AttributeError

    hints["y"] = Grow()
    monkeypatch.setattr(typing, "get_type_hints", lambda cls, include_extras=False: hints)
    with pytest.raises(BaseException) as info:
        Validator(Point)
    assert type(info.value).__name__ == "PanicException"
    assert str(info.value) == "dictionary changed size during iteration"


def test_named_tuple_without_fields_is_a_plain_instance():
    class Bare(tuple):
        pass

    assert repr(Validator(Bare)) == "Bare"
    assert hash(Validator(Bare)) != hash(Validator(Pair))


def test_plain_classes_compile_without_importing_dataclasses():
    # A first import of dataclasses runs Python source, which on 3.14 fails
    # with MemoryError on a small thread stack; only a class that could be a
    # dataclass needs the module.
    script = (
        "import sys, typing, tarmelix as t\n"
        "class C: pass\n"
        "class N(typing.NamedTuple):\n    x: int\n"
        "t.Validator(dict); t.Validator(list[C]); t.Validator(N)\n"
        "print('dataclasses' in sys.modules)\n"
    )
    done = subprocess.run(
        [sys.executable, "-c", script],
        capture_output=True,
        text=True,
        timeout=60,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert (done.returncode, done.stdout) == (0, "False\n"), done.stderr[-2000:]
