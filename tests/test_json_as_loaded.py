"""A JSON document answers as the value it loads to: is_valid_json, validate_json and
load against is_valid and validate of json.loads(document), at the edges the JSON
road decides by itself (lengths counted in bytes, bools against bounds, repeated keys,
tags, bounds past the int64 range, -0, integers past it)."""

import json
from typing import Annotated, Literal, TypedDict

import pytest

from tarmelix import ValidationError, Validator


class M:
    def __init__(self, **attrs):
        self.__dict__.update(attrs)


A = TypedDict("A", {"kind": Literal["a"], "x": int})
B = TypedDict("B", {"kind": Literal["b"], "y": int})
SharedTag = TypedDict("SharedTag", {"kind": Literal["a", "b"], "y": str})
OptionalTag = TypedDict("OptionalTag", {"kind": Literal["c"], "z": int}, total=False)
Pair = TypedDict("Pair", {"a": int, "b": int})
Bounded = TypedDict("Bounded", {"a": Annotated[int, M(ge=0)]})

TAGS = ['{"kind": "a", "x": 1}', '{"kind": "b", "y": 1}', '{"kind": "a", "x": 1, "kind": "b"}',
        '{"kind": "b", "kind": "a", "x": 1}', '{"x": 1, "kind": "b", "kind": "a"}', '{"z": 1}',
        '{"kind": "a", "y": "s"}', '{"kind": "c"}', '{}']
CASES = [
    # lengths: bytes against code points
    (Annotated[str, M(min_length=2)], ['"\\ud83d\\ude00"', '"\\ud83d\\ude00\\ud83d\\ude00"', '"\u00e9"',
                                       '"ab"', '"a"', '"\u00e9\u00e9"']),
    (Annotated[str, M(min_length=3)], ['"abc"', '"ab"', '"\u00e9a"']),
    (Annotated[str, M(max_length=1)], ['"\\ud83d\\ude00"', '"ab"', '""']),
    (list[Annotated[list[int], M(min_length=2)]], ['[[1, 2]]', '[[1]]']),
    # bools and floats against int and float bounds
    (Annotated[int, M(ge=1)], ["true", "false", "1", "0", "1.0"]),
    (Annotated[int, M(le=0)], ["true", "false"]),
    (Annotated[float, M(ge=1.0, gt=1.0)], ["1.0", "1.5", "1"]),
    (Annotated[float, M(gt=1.0)], ["1.0", "1.0000000000000002"]),
    (Annotated[int, M(le=2**70)], ["5", "-5", "18446744073709551615"]),
    (Annotated[int, M(ge=-2**70)], ["5", "-5"]),
    (Annotated[int, M(lt=2**70, gt=-2**70)], ["0"]),
    # tags, and repeated keys
    (A | B, TAGS),
    (A | SharedTag, TAGS),
    (A | OptionalTag, TAGS),
    (list[A | B], [f"[{t}, {t}]" for t in TAGS]),
    (Pair, ['{"a": 1}', '{"b": 1}', '{"a": 1, "b": 2}', '{"a": "x", "a": 1, "b": 2}',
            '{"a": 1, "a": "x", "b": 2}', '{"b": 2, "a": "x", "a": 1}']),
    (list[Pair], ['[{"a": 1, "b": 2}, {"a": 1}]', '[{"a": "x", "b": 2, "a": 1}]']),
    (Bounded, ['{"a": 1.5}', '{"a": true}', '{"a": -1}', '{"a": 1}', '{"a": "1"}']),
    (dict[int, int], ['{"1": 1}', '{}']),
    (dict[str, int], ['{"a": "x"}', '{"a": "x", "a": 1}', '{"a": 1, "a": "x"}', '{"a": 1, "b": 2}']),
    # kinds a union's members take
    (Literal[True] | list[int], ["true", "false", "[1]", "1"]),
    (Literal[1] | list[str], ["true", "1", '["a"]']),
    # -0 and integers past int64
    (int, ["-0", "18446744073709551615", "9223372036854775808"]),
    (list[int], ["[-0]", "[-0.0]", "[18446744073709551615, 1]"]),
    (Literal[0], ["-0", "0", "-0.0"]),
    (list[int] | list[str], ['[1, "x"]', '["x", 1]', "[1, 2]"]),
]


def outcome(call):
    try:
        return "ok", call()
    except ValidationError as e:
        return "error", [(r["path"], r["code"], r["expected"], r["value"]) for r in e.errors]


@pytest.mark.parametrize("spec, documents", CASES, ids=lambda x: repr(x)[:40])
def test_a_document_answers_as_its_loaded_value(spec, documents):
    v = Validator(spec)
    for doc in documents:
        value = json.loads(doc)
        assert v.is_valid_json(doc) is v.is_valid(value), doc
        for fail_fast in (False, True):
            in_python = outcome(lambda: v.validate(value, fail_fast=fail_fast))
            assert outcome(lambda: v.validate_json(doc, fail_fast=fail_fast)) == in_python, doc
            loaded = outcome(lambda: v.load(doc, fail_fast=fail_fast))
            assert loaded == (("ok", value) if in_python[0] == "ok" else in_python), doc
