"""Unions and records in the walk: attribution of union failures, dict records, clauses."""

import time
from collections import defaultdict
from types import MappingProxyType
from typing import Annotated, Literal, NotRequired, TypedDict

import pytest

from tarmelix import ValidationError, Validator, recursive, union


def records(v, value, fail_fast=False):
    with pytest.raises(ValidationError) as info:
        v.validate(value, fail_fast=fail_fast)
    assert v.is_valid(value) is False and (value in v) is False
    return [(e["code"], e["path"], e["expected"], e["value"]) for e in info.value.errors]


def panic_of(call, *args):
    with pytest.raises(BaseException) as info:
        call(*args)
    assert type(info.value).__name__ == "PanicException"
    return str(info.value)


AB = {"a": int, "b?": str}


class Movie(TypedDict):
    title: str
    year: NotRequired[int]


@pytest.mark.parametrize(
    "spec, value, fail_fast, expected",
    [
        (int | str, 1.5, False, [("union_error", (), "one of: int, str", "1.5")]),
        (int | list[int], [1, "a"], False, [("int_type", (1,), "int", "'a'")]),
        # both fail one level down: the first member explains
        (list[int] | list[str], ["a", 1], False, [("int_type", (0,), "int", "'a'")]),
        # the chosen member keeps all its records under fail_fast
        (
            int | list[int],
            [1, "a", "b"],
            True,
            [("int_type", (1,), "int", "'a'"), ("int_type", (2,), "int", "'b'")],
        ),
        (
            list[int | str],
            [1, None],
            False,
            [("union_error", (1,), "one of: int, str", "None")],
        ),
        (AB, {"a": "x"}, False, [("int_type", ("a",), "int", "'x'")]),
        (AB, {}, False, [("missing_key", ("a",), 'required key "a"', "missing")]),
        (
            AB,
            {"a": 1, "c": 2},
            False,
            [("extra_forbidden", ("c",), "no unexpected key", '"c"')],
        ),
        (AB, [("a", 1)], False, [("dict_type", (), "dict", "[('a', 1)]")]),
        (
            {"a": int, "b": int},
            {"a": "x"},
            False,
            [
                ("int_type", ("a",), "int", "'x'"),
                ("missing_key", ("b",), 'required key "b"', "missing"),
            ],
        ),
        ({"a": int, "b": int}, {"a": "x"}, True, [("int_type", ("a",), "int", "'x'")]),
        (
            {"a": int},
            {"a": 1, "x": 1, "y": 2},
            True,
            [("extra_forbidden", ("x",), "no unexpected key", '"x"')],
        ),
        (dict[str, int], {"k": "v"}, False, [("int_type", ("k",), "int", "'v'")]),
        (dict[str, int], {5: 1}, False, [("string_type", ("5",), "str", "5")]),
        # the key and the value of one entry both explained under the key's path
        (
            dict[str, int],
            {5: "v"},
            False,
            [("string_type", ("5",), "str", "5"), ("int_type", ("5",), "int", "'v'")],
        ),
        (
            Movie,
            {"title": 1, "year": "x", "extra": 0},
            False,
            [
                ("string_type", ("title",), "str", "1"),
                ("int_type", ("year",), "int", "'x'"),
                ("extra_forbidden", ("extra",), "no unexpected key", '"extra"'),
            ],
        ),
        # two fields named a: the later, optional one takes the key, and the
        # required count never reaches zero; the record pass finds nothing
        (
            {"a": int, "a?": int},
            {"a": 1},
            False,
            [("validation_error", (), "a member of the schema's set", "")],
        ),
    ],
)
def test_records(spec, value, fail_fast, expected):
    assert records(Validator(spec), value, fail_fast) == expected


@pytest.mark.parametrize(
    "spec, value, member",
    [
        (AB, {"a": 1}, True),
        (AB, {"a": 1, "b": "x"}, True),
        (AB, {"a": 1, "b": 2}, False),
        (AB, {"b": "x"}, False),
        (Movie, {"title": "t"}, True),
        (dict[str, int], {}, True),
        (dict[str, int], {"a": 1, "b": 2}, True),
        ({"a": int, "a?": int}, {"a": 1}, False),
        (Literal[1, 2], 2, True),
        (Literal[1, 2], True, False),
        (Literal[1, 2], 2**70, False),
        (Literal[2**70, 3], 2**70, True),
        (Literal["a", "b"], "b", True),
        (Literal["a", "b"], "c", False),
        (Literal[1, "a", 1.5], 1.5, True),
    ],
)
def test_answers(spec, value, member):
    v = Validator(spec)
    assert v.is_valid(value) is member
    assert (value in v) is member
    if member:
        v.validate(value)
    else:
        with pytest.raises(ValidationError):
            v.validate(value)


def test_only_the_first_64_members_are_candidates():
    deep = {"a": int}
    value = {"a": "z"}
    within = union(*[Literal[f"x{i}"] for i in range(63)], deep)
    assert records(within, value) == [("int_type", ("a",), "int", "'z'")]
    beyond = union(*[Literal[f"x{i}"] for i in range(64)], deep)
    ((code, path, expected, got),) = records(beyond, value)
    assert (code, path, got) == ("union_error", (), "{'a': 'z'}")
    # Literal[x] is a union of one literal
    assert expected == "one of: " + ", ".join(["union"] * 64 + ["dict"])


def test_key_text_cut_under_clauses_whole_when_forbidden():
    key = "k" * 100
    assert records(Validator(dict[str, int]), {key: "v"}) == [
        ("int_type", ("k" * 40 + "...",), "int", "'v'")
    ]
    assert records(Validator({"a?": int}), {key: 1}) == [
        ("extra_forbidden", (key,), "no unexpected key", '"' + key + '"')
    ]


def test_key_whose_str_raises():
    class Key:
        def __str__(self):
            raise ValueError

        def __repr__(self):
            return "Key()"

        __hash__ = object.__hash__

    assert records(Validator(dict[str, int]), {Key(): 1}) == [
        ("string_type", ("Key()",), "str", "Key()")
    ]
    assert records(Validator({"a?": int}), {Key(): 1}) == [
        ("extra_forbidden", ("",), "no unexpected key", '""')
    ]


def test_dict_subclass_read_from_its_own_storage():
    d = defaultdict(lambda: 1)
    assert records(Validator({"a": int}), d) == [
        ("missing_key", ("a",), 'required key "a"', "missing")
    ]
    assert dict(d) == {}
    assert Validator({"a": int}).is_valid(MappingProxyType({"a": 1})) is False


def test_required_field_counted_once_per_name():
    class Twin(str):
        def __hash__(self):
            return 7

    value = {"a": 1, Twin("a"): 1}
    assert len(value) == 2
    assert Validator({"a": int, "b": int}).is_valid(value) is False


def test_dict_changed_by_a_predicate_is_a_fault():
    target = {"a": 1}

    def grow(v):
        target["new"] = 1
        return True

    for spec in (dict[str, Annotated[int, grow]], {"a": Annotated[int, grow]}):
        v = Validator(spec)
        for call in (v.is_valid, v.validate):
            target.pop("new", None)
            assert panic_of(call, target) == "dictionary changed size during iteration"


def test_dict_keys_replaced_by_a_predicate_is_a_fault():
    state = {"done": False}
    target = {"a": 1, "b": 2}

    def swap(v):
        if not state["done"]:
            state["done"] = True
            del target["a"]
            target["c"] = 3
        return True

    v = Validator(dict[str, Annotated[int, swap]])
    assert panic_of(v.is_valid, target) == "dictionary keys changed during iteration"


def test_dict_emptied_during_the_record_pass_is_read_safely():
    target = {"a": "x", "b": 1}

    def drop(v):
        target.clear()
        return False

    # phase one looks fields up by name; the item visit after it starts on the
    # emptied dict and finds nothing more to report
    v = Validator({"a": int, "b": Annotated[int, drop]})
    with pytest.raises(ValidationError) as info:
        v.validate(target)
    assert [(e["code"], e["path"]) for e in info.value.errors] == [
        ("int_type", ("a",)),
        ("predicate_failed", ("b",)),
    ]


class CountedList(list):
    """A list that counts the reprs made of it from outside (not nested ones)."""

    outermost = 0
    depth = 0

    def __repr__(self):
        if CountedList.depth == 0:
            CountedList.outermost += 1
        CountedList.depth += 1
        try:
            return list.__repr__(self)
        finally:
            CountedList.depth -= 1


def nested(depth, cls=list):
    value = 0
    for _ in range(depth):
        value = cls([value])
    return value


@pytest.fixture
def deep_schema():
    return recursive(lambda s: union(None, int, list[s]))


@pytest.mark.parametrize("fail_fast", [False, True])
def test_a_union_candidate_previews_only_the_records_it_keeps(deep_schema, fail_fast):
    # Each level's None and int candidates fail at their own level and are
    # dropped; only the one recursion_limit record is kept.
    value = nested(200, CountedList)
    CountedList.outermost = 0
    records_found = records(deep_schema, value, fail_fast)
    assert CountedList.outermost == 1
    inner = value
    for _ in range(128):
        inner = inner[0]
    assert records_found == [
        ("recursion_limit", (0,) * 128, "at most 128 levels of recursion", repr(inner)[:80] + "...")
    ]


def test_validate_of_a_deep_value_costs_about_what_is_valid_does(deep_schema):
    value = nested(10**4)
    # the refused list, 9872 levels deep, shows as its repr would begin
    shown = "[" * 80 + "..."
    start = time.perf_counter()
    assert deep_schema.is_valid(value) is False
    checked = time.perf_counter() - start
    for fail_fast in (False, True):
        start = time.perf_counter()
        with pytest.raises(ValidationError) as info:
            deep_schema.validate(value, fail_fast=fail_fast)
        assert time.perf_counter() - start < 100 * checked + 0.3
        assert len(info.value.errors) == 1
        assert info.value.message == (
            "at " + "[0]" * 128 + ": expected at most 128 levels of recursion, got "
            + shown + " [recursion_limit]"
        )


@pytest.mark.parametrize("call", [
    lambda v: v.validate([[1]]),
    lambda v: v.validate([[1]], fail_fast=True),
    lambda v: v.validate_json("[[1]]"),
    lambda v: v.load(b"[[1]]", fail_fast=True),
])
def test_a_candidates_got_text_is_the_value_when_its_record_is_made(call):
    # Each predicate changes the value; the kept record of the first candidate
    # shows the value as it stood then, not after the second candidate ran.
    seen = []

    def grows(mark):
        def predicate(x):
            x.append(mark)
            seen.append(repr(x))
            return False
        return predicate

    v = Validator(list[Annotated[list, grows(9)]] | list[Annotated[list, grows(8)]])
    with pytest.raises(ValidationError) as info:
        call(v)
    # Membership tries both candidates, then attribution walks both again.
    assert len(seen) == 4
    assert [(e["code"], e["path"], e["value"]) for e in info.value.errors] == [
        ("predicate_failed", (0,), seen[2])]
