"""Code of the user's that a schema holds (a predicate, a bound of a class of theirs)
runs on a JSON document exactly as on the value it loads to: for the same values, as
many times, in the same order; an entry that a later one of its key replaces is never
asked about."""

import json
from typing import Annotated, TypedDict

import pytest

from tarmelix import ValidationError, Validator

CALLS = []


class M:
    def __init__(self, **attrs):
        self.__dict__.update(attrs)


def positive(v):
    CALLS.append(v)
    return v > 0


class Bound(int):
    """A bound whose comparisons are the user's: `value >= bound` reaches __le__."""

    def __le__(self, other):
        CALLS.append(other)
        return int(self) <= other

    def __ge__(self, other):
        CALLS.append(other)
        return int(self) >= other


AT_LEAST_ONE = Annotated[int, M(ge=Bound(1))]
SPECS = [
    list[Annotated[int, positive]],
    list[AT_LEAST_ONE],
    dict[str, Annotated[int, positive]],
    dict[str, AT_LEAST_ONE],
    TypedDict("Pred", {"a": Annotated[int, positive], "b": str}),
    TypedDict("Bounded", {"a": AT_LEAST_ONE}),
]
DOCUMENTS = ['[1, 2]', '[1, -1, 2]', '{"a": 5}', '{"a": 0, "a": 5}', '{"a": 5, "a": 0}',
             '{"a": 0, "b": "x", "a": 5}', '{"a": 0, "a": 2, "a": -3}']


def outcome(call):
    CALLS.clear()
    try:
        result = call()
    except ValidationError as e:
        result = [(r["path"], r["code"]) for r in e.errors]
    return result, list(CALLS)


@pytest.mark.parametrize("spec", SPECS, ids=lambda s: repr(s)[:40])
def test_user_code_runs_as_on_the_loaded_value(spec):
    v = Validator(spec)
    for doc in DOCUMENTS:
        value = json.loads(doc)
        assert outcome(lambda: v.is_valid_json(doc)) == outcome(lambda: v.is_valid(value)), doc
        in_python = outcome(lambda: v.validate(value))
        assert outcome(lambda: v.validate_json(doc)) == in_python, doc
        loaded = outcome(lambda: v.load(doc))
        assert loaded[1] == in_python[1], doc
        assert loaded[0] == (value if in_python[0] is None else in_python[0]), doc
