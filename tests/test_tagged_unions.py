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
