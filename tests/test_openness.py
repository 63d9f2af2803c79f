import dataclasses
from typing import Annotated, TypedDict

import pytest

from reasoning_support import Meta
from tarmelix import _tarmelix as m

V = m.Validator

EXTRA = {"a": 1, "b": "x"}
PLAIN = {"a": 1}


@dataclasses.dataclass
class Holder:
    inner: {"a": int}


class Movie(TypedDict):
    a: int


@pytest.mark.parametrize(
    "schema, wrap",
    [
        ({"a": int}, lambda d: d),
        (Movie, lambda d: d),
        (list[{"a": int}], lambda d: [d]),
        (tuple[int, {"a": int}], lambda d: (0, d)),
        (m.union(None, {"a": int}), lambda d: d),
        (m.complement(m.complement({"a": int})), lambda d: d),
        (Annotated[{"a": int}, Meta(min_length=1)], lambda d: d),
        ({"outer": {"a": int}}, lambda d: {"outer": d}),
        (dict[str, {"a": int}], lambda d: {"k": d}),
        (m.recursive(lambda s: m.union({"a": int}, list[s])), lambda d: [[d]]),
    ],
    ids=repr,
)
def test_open_admits_extra_keys_and_close_rejects_them(schema, wrap):
    v = V(schema)
    assert v.open().is_valid(wrap(EXTRA))
    assert not v.open().close().is_valid(wrap(EXTRA))
    assert v.close().is_valid(wrap(PLAIN)) and v.open().is_valid(wrap(PLAIN))


def test_a_class_schema_keeps_its_meaning_but_opens_its_attributes():
    v = V(Holder)
    assert v.open().is_valid(Holder(EXTRA))
    assert not v.close().is_valid(Holder(EXTRA))
    assert not v.open().is_valid(EXTRA)


def test_a_typed_clause_is_replaced_either_way():
    v = V({"a": int, str: int})
    assert not v.is_valid(EXTRA)
    assert v.open().is_valid(EXTRA)
    assert v.open() == V({"a": int}).open()
    assert not v.close().is_valid({"a": 1, "b": 2})


@pytest.mark.parametrize("schema", [dict[str, int], {}], ids=repr)
def test_records_without_fields_are_unchanged(schema):
    v = V(schema)
    assert v.open() == v
    assert v.close() == v


@pytest.mark.parametrize(
    "schema",
    [{"a": int}, Movie, dict[str, {"b?": int}], m.union({"a": int}, list[{"b": str}])],
    ids=repr,
)
def test_projection_laws(schema):
    v = V(schema)
    assert v.open().open() == v.open()
    assert v.open().close() == v.close()
    assert v.close().open() == v.open()
    assert v.close().close() == v.close()
