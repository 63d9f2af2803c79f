"""A union of records is decided by the one member its tag names only where the tag
names exactly one: a tag value two members admit, or a tag field some member does not
require, leaves every member to be asked. The answers are stated, not compared between
roads, since the roads share the plan that tells a tag."""

import json
from typing import Literal, TypedDict

import pytest

from tarmelix import Validator

A = TypedDict("A", {"kind": Literal["a"], "x": int})
AOrB = TypedDict("AOrB", {"kind": Literal["a", "b"], "y": str})
Untagged = TypedDict("Untagged", {"kind": Literal["c"], "z": int}, total=False)

CASES = [
    (A | AOrB, {"kind": "a", "x": 1}, True),
    (A | AOrB, {"kind": "a", "y": "s"}, True),
    (AOrB | A, {"kind": "a", "x": 1}, True),
    (AOrB | A, {"kind": "a", "y": "s"}, True),
    (A | AOrB, {"kind": "b", "y": "s"}, True),
    (A | AOrB, {"kind": "b", "x": 1}, False),
    (A | Untagged, {"z": 1}, True),
    (A | Untagged, {}, True),
    (Untagged | A, {"z": 1}, True),
    (A | Untagged, {"kind": "c", "z": 1}, True),
    (A | Untagged, {"kind": "a", "x": 1}, True),
    (A | Untagged, {"x": 1}, False),
]


@pytest.mark.parametrize("spec, value, member", CASES, ids=lambda x: repr(x)[:30])
def test_a_tag_decides_only_where_it_names_one_member(spec, value, member):
    v, items = Validator(spec), Validator(list[spec])
    doc = json.dumps(value)
    assert v.is_valid(value) is member
    assert v.is_valid_json(doc) is member
    assert items.is_valid([value, value]) is member
    assert items.is_valid_json(f"[{doc}, {doc}]") is member


AB = TypedDict("AB", {"kind": Literal["a", "b"], "x": int})
C = TypedDict("C", {"kind": Literal["c"], "y": int})
OWN_FIELDS = {AB: {"x": 1}, C: {"y": 1}}


@pytest.mark.parametrize("first, second", [(AB, C), (C, AB)], ids=["AB | C", "C | AB"])
def test_each_tag_chooses_its_own_member(first, second):
    # A member that admits two tags shifts the others' tags away from their member's
    # position: each tag with each member's fields.
    v = Validator(first | second)
    for tag in "abc":
        for m in (first, second):
            value = {"kind": tag, **OWN_FIELDS[m]}
            member = tag in m.__annotations__["kind"].__args__
            assert v.is_valid(value) is member, value
            assert v.is_valid_json(json.dumps(value)) is member, value
