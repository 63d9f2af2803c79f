"""The SIMD road compares a document's keys and strings with field names, literal texts
and tags by whole words and masked bytes: a text that differs from the name in its
first or last byte, or is one byte longer or shorter, is told apart at every length
across the word and vector widths (a 4-byte length, then the text)."""

import json
from typing import Literal, TypedDict

import pytest

from tarmelix import Validator

ALPHABET = "abcdefghijklmnopqrstuvwxyz0123456789"


def near(name):
    """Texts one byte away from the name."""
    out = {name + "x", name[:-1]}
    if name:
        out |= {name[:-1] + "#", "#" + name[1:]}
    return sorted(out - {name})


def validators(name):
    tagged = TypedDict("A", {"kind": Literal[name], "x": int}) | TypedDict("B", {"kind": Literal["-"], "y": int})
    return {
        "field": (Validator(TypedDict("F", {name: int})), lambda t: {t: 1}),
        "literal field": (Validator(TypedDict("L", {"k": Literal[name, "-"]})), lambda t: {"k": t}),
        "literal items": (Validator(list[Literal[name, "-"]]), lambda t: [t]),
        "tag": (Validator(tagged), lambda t: {"kind": t, "x": 1}),
    }


@pytest.mark.parametrize("length", range(0, 31))
def test_texts_one_byte_apart_are_told_apart(length):
    name = ALPHABET[:length]
    for where, (v, document) in validators(name).items():
        assert v.is_valid_json(json.dumps(document(name))) is True, where
        for text in near(name):
            doc = json.dumps(document(text))
            assert v.is_valid(json.loads(doc)) is False
            assert v.is_valid_json(doc) is False, (where, text)
