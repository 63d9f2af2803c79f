"""ValidationError: message, attributes and the per-record dicts."""

import dataclasses
import gc
from typing import Literal

import pytest

from tarmelix import ValidationError, Validator, complement, nothing


def raised(schema, value, **kwargs):
    with pytest.raises(ValidationError) as info:
        Validator(schema).validate(value, **kwargs)
    return info.value


def record_view(error):
    return (error.code, error.path, error.message, error.expected, error.value)


def test_one_error_sets_every_attribute():
    e = raised(int, "x")
    line = "expected int, got 'x' [int_type]"
    assert str(e) == line
    assert e.args == (line,)
    assert record_view(e) == ("int_type", (), line, "int", "'x'")
    assert len(e.errors) == 1
    entry = e.errors[0]
    assert list(entry) == ["code", "path", "message", "expected", "value"]
    assert tuple(entry.values()) == record_view(e)


def test_path_text_and_tuple():
    e = raised({"a": [{"b": int}]}, {"a": [{"b": "x"}]})
    assert e.path == ("a", 0, "b")
    assert str(e) == "at a[0].b: expected int, got 'x' [int_type]"
    assert e.errors[0]["path"] == ("a", 0, "b")


def test_an_empty_top_level_key_writes_no_path_text():
    e = raised({"": int}, {"": "x"})
    assert e.path == ("",)
    assert str(e) == "expected int, got 'x' [int_type]"


def test_several_errors_list_every_line_but_describe_the_first():
    e = raised(list[int], ["x", "y"])
    first = "at [0]: expected int, got 'x' [int_type]"
    second = "at [1]: expected int, got 'y' [int_type]"
    assert str(e) == f"2 validation errors:\n{first}\n{second}"
    assert record_view(e) == ("int_type", (0,), first, "int", "'x'")
    assert [tuple(d.values()) for d in e.errors] == [
        ("int_type", (0,), first, "int", "'x'"),
        ("int_type", (1,), second, "int", "'y'"),
    ]


class RaisingRepr:
    def __repr__(self):
        raise RuntimeError("no repr")


@pytest.mark.parametrize(
    ("value", "shown"),
    [
        ("v" * 78, "'" + "v" * 78 + "'"),
        ("v" * 79, "'" + "v" * 79 + "..."),
        (RaisingRepr(), "<unrepresentable>"),
        ("\u00e9" * 90, "'" + "\u00e9" * 79 + "..."),
    ],
    ids=["80-chars", "81-chars", "raising-repr", "non-ascii"],
)
def test_value_is_the_preview(value, shown):
    e = raised(int, value)
    assert e.value == shown
    assert str(e) == f"expected int, got {shown} [int_type]"


@dataclasses.dataclass
class Point:
    x: int


KIND_RECORDS = [
    (nothing, 1, "no_match", "nothing"),
    (None, 1, "none_type", "None"),
    (bool, 1, "bool_type", "bool"),
    (int, "1", "int_type", "int"),
    (float, "1", "float_type", "float"),
    (str, 1, "string_type", "str"),
    (bytes, 1, "bytes_type", "bytes"),
    (list[int], (1,), "list_type", "list"),
    (tuple[int, ...], [1], "tuple_type", "tuple"),
    (set[int], frozenset(), "set_type", "set"),
    (frozenset[int], set(), "frozen_set_type", "frozenset"),
    (dict[str, int], [], "dict_type", "dict"),
    (Literal[1], 2, "union_error", "one of: literal"),  # a one-member union
    (Validator(Literal[1]).simplify(), 2, "literal_error", "the literal 1"),
    (Literal[1, "a"] | list[int], 2, "union_error", "one of: union, list"),  # not flattened
    (complement(int), 1, "unexpected_match", "not int"),
    (Point, 1, "instance_type", "Point"),
]


@pytest.mark.parametrize(("schema", "value", "code", "expected"), KIND_RECORDS,
                         ids=[r[2] for r in KIND_RECORDS])
def test_kind_codes_and_expected_texts(schema, value, code, expected):
    e = raised(schema, value)
    assert (e.code, e.expected) == (code, expected)
    assert str(e) == f"expected {expected}, got {e.value} [{code}]"


def test_the_exception_is_an_ordinary_exception():
    assert issubclass(ValidationError, Exception)
    e = raised(int, "x")
    with pytest.raises(ValidationError):
        raise e


class Unprintable(str):
    def __str__(self):
        raise ValueError("no str")


class ReprIsUnprintable:
    def __repr__(self):
        return Unprintable("hidden")


def test_a_repr_whose_text_cannot_be_read_goes_to_the_unraisable_hook(monkeypatch):
    seen = []
    monkeypatch.setattr("sys.unraisablehook", seen.append)
    e = raised(int, ReprIsUnprintable())
    assert e.value == "<unprintable Unprintable object>"
    assert [type(u.exc_value) for u in seen] == [ValueError]
    assert type(seen[0].object) is Unprintable


@pytest.mark.parametrize("enabled", [True, False])
@pytest.mark.parametrize(
    "call",
    [
        lambda v: v.validate([{"a": "x"}] * 3),
        lambda v: v.validate_json('[{"a": "x"}, {"a": 1}, {"a": "y"}]'),
        lambda v: v.load('[{"a": 1}]'),
    ],
    ids=["validate", "validate_json", "load"],
)
def test_collector_left_as_the_caller_set_it(enabled, call):
    # Building the error list and the loaded value holds the collector off.
    v = Validator(list[{"a": int}])
    (gc.enable if enabled else gc.disable)()
    try:
        try:
            call(v)
        except ValidationError as e:
            assert e.errors
        assert gc.isenabled() is enabled
    finally:
        gc.enable()
