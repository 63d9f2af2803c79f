"""The walk plan: literal sets, record indexes and patterns answer as the general road does."""

import copy
import json
import threading
from typing import Annotated, Literal

import pytest
from hypothesis import given, settings, strategies as st

from tarmelix import ValidationError, Validator, recursive, union


class M:
    def __init__(self, **attrs):
        self.__dict__.update(attrs)


class IntSub(int):
    pass


class StrSub(str):
    pass


LITERALS = union(Literal[1], Literal["a"], Literal[1.5], Literal[2**70], Literal["\ud800"],
                 Literal[True], Literal[-1], Literal[IntSub(7)])


@pytest.mark.parametrize(
    "value, member",
    [
        (1, True),
        ("a", True),
        (1.5, True),
        (2**70, True),
        ("\ud800", True),
        (True, True),
        (-1, True),
        (IntSub(7), True),
        (7, False),
        (IntSub(1), False),
        (StrSub("a"), False),
        (False, False),
        (2, False),
        ("b", False),
        (2**70 + 1, False),
        (1.0, False),
    ],
)
def test_literal_union_answers(value, member):
    assert LITERALS.is_valid(value) is member
    assert copy.copy(LITERALS).is_valid(value) is member
    if member:
        LITERALS.validate(value)
    else:
        with pytest.raises(ValidationError) as info:
            LITERALS.validate(value)
        assert info.value.code == "union_error"


def test_nested_literal_union_and_plain_member():
    v = Validator(Literal[1, 2] | int)
    assert v.is_valid(5) and v.is_valid(True) and not v.is_valid("1")


def test_plan_answers_match_before_and_after_build():
    spec = {"a": Literal["x", "y"], "b?": Annotated[str, M(pattern="[0-9]+")], "c": list[int]}
    values = [
        {"a": "x", "c": []},
        {"a": "z", "c": []},
        {"a": "y", "b": "12", "c": [1]},
        {"a": "y", "b": "1a", "c": [1]},
    ]
    first = [Validator(spec).is_valid(x) for x in values]
    built = Validator(spec)
    built.is_valid({})
    assert first == [built.is_valid(x) for x in values] == [True, False, True, False]
    # a copy of a built validator starts without a plan and answers the same
    assert [copy.deepcopy(built).is_valid(x) for x in values] == first


def test_recursive_definitions_are_planned():
    tree = recursive(lambda s: {"v": Literal["a", "b"], "kids": list[s]})
    assert tree.is_valid({"v": "a", "kids": [{"v": "b", "kids": []}]}) is True
    assert tree.is_valid({"v": "a", "kids": [{"v": "c", "kids": []}]}) is False


def test_fatal_exception_wins_over_gathered_records():
    def pred(v):
        if v == 3:
            raise KeyboardInterrupt
        return v > 0

    v = Validator(list[Annotated[int, pred]])
    with pytest.raises(KeyboardInterrupt):
        v.validate([0, "x", 3])


def test_threads_build_one_plan_and_agree():
    spec = list[union(*[Literal[f"s{i}"] for i in range(100)], {"k": int})]
    good = ["s5", "s99", {"k": 1}] * 200
    bad = good + ["s100"]
    for _ in range(3):
        v = Validator(spec)
        barrier = threading.Barrier(6)
        out = []

        def run():
            barrier.wait()
            out.append((v.is_valid(good), v.is_valid(bad), bad in v))

        threads = [threading.Thread(target=run) for _ in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert out == [(True, False, False)] * 6


@pytest.mark.parametrize("name", ["", "a", "é", "日本", "x" * 30, "ab\x00c"])
def test_field_names_of_every_width_are_found(name):
    v = Validator({name: int, "other?": Literal[name, "z"]})
    assert v.is_valid({name: 1}) is True
    assert v.is_valid({name: 1, "other": name}) is True
    assert v.is_valid({name: "1"}) is False
    assert v.is_valid({}) is False
    text = json.dumps(name)
    assert v.is_valid_json('{%s: 1, "other": %s}' % (text, text)) is True


CONSTANTS = [0, 1, -1, 2**63 - 1, -(2**63), 2**63, 2**70, "", "a", "é", "日本", "\ud800", 1.5, True, b"a"]
scalars = st.one_of(
    st.integers(min_value=-(2**72), max_value=2**72),
    st.sampled_from(CONSTANTS),
    st.text(max_size=3),
    st.booleans(),
    st.floats(allow_nan=False),
)


@settings(max_examples=300, deadline=None)
@given(st.lists(st.sampled_from(CONSTANTS), min_size=1, max_size=6, unique_by=lambda c: (type(c), c)),
       st.lists(scalars, max_size=8))
def test_literal_union_agrees_with_exact_type_equality(members, values):
    v = union(*[Literal[c] for c in members])
    flat = Validator(Literal[tuple(members)])
    in_list = Validator(list[Literal[tuple(members)]])
    for x in values:
        expected = any(type(x) is type(c) and x == c for c in members)
        assert v.is_valid(x) is expected
        assert flat.is_valid(x) is expected
        assert in_list.is_valid([x, x]) is expected
        try:
            flat.validate(x)
            assert expected
        except ValidationError:
            assert not expected
