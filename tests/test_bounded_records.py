"""Error lists that cannot explode: a failure reached down several routes
(intersection members, a field declared twice, a remembered answer used
again) is listed once, and the walk's work grows with the document, not with
the number of routes through it."""

import json
from typing import Annotated

import pytest

from tarmelix import ValidationError, Validator, intersection, recursive, union


def records(v, value, fail_fast=False, as_json=False):
    try:
        if as_json:
            v.validate_json(json.dumps(value), fail_fast=fail_fast)
        else:
            v.validate(value, fail_fast=fail_fast)
    except ValidationError as e:
        return [(r["code"], r["path"], r["expected"], r["value"]) for r in e.errors]
    return []


def dicts(depth, leaf="bad"):
    for _ in range(depth):
        leaf = {"a": leaf}
    return leaf


def lists(depth, leaf="bad"):
    for _ in range(depth):
        leaf = [leaf]
    return leaf


# Bodies over the placeholder s and the last union member, each with the
# nesting of its values and the display name of its first union member: every
# level reaches the next value down two routes.
DOUBLING = {
    "intersection of records": (
        lambda s, last: union(intersection({"a": s, "b?": int}, {"a": s, "c?": int}), last),
        dicts, "intersection"),
    "field declared twice": (lambda s, last: union({"a": s, "a?": s}, last), dicts, "dict"),
    "intersection of lists": (
        lambda s, last: union(intersection(list[s], list[Annotated[s, "note"]]), last),
        lists, "intersection"),
    "intersection of unions": (
        lambda s, last: intersection(union({"a": s}, last), union({"a": s, "b?": int}, last)),
        dicts, "dict"),
    # Routes of two lengths: a value is reached at many recursion depths.
    "routes of two lengths": (
        lambda s, last: union(intersection(dict[str, dict[str, s]], union(dict[str, s], dict[str, s])), last),
        dicts, None),
}


def test_the_131_byte_document_gives_one_record():
    v = Validator(recursive(lambda s: union(intersection({"a": s, "b?": int}, {"a": s, "c?": int}), int)))
    document = '{"a":' * 21 + '"bad"' + "}" * 21
    assert len(document) == 131
    with pytest.raises(ValidationError) as info:
        v.validate_json(document, fail_fast=True)
    assert [(e["code"], e["path"]) for e in info.value.errors] == [("union_error", ("a",) * 21)]


@pytest.mark.parametrize("name", [name for name, (_, _, shown) in DOUBLING.items() if shown])
@pytest.mark.parametrize("fail_fast", [False, True])
@pytest.mark.parametrize("as_json", [False, True])
def test_a_failure_reached_down_two_routes_a_level_is_listed_once(name, fail_fast, as_json):
    # 2**40 copies of this record, before.
    body, nest, shown = DOUBLING[name]
    v = Validator(recursive(lambda s: body(s, int)))
    path = ("a",) * 40 if nest is dicts else (0,) * 40
    assert records(v, nest(40), fail_fast, as_json) == [("union_error", path, "one of: %s, int" % shown, "'bad'")]


class TooMuchWork(BaseException):
    """Fatal to a walk: ends a runaway check at once instead of hanging."""


class CountingMeta(type):
    calls = 0

    def __instancecheck__(cls, value):
        CountingMeta.calls += 1
        if CountingMeta.calls > 100_000:
            raise TooMuchWork
        return False


class Counted(metaclass=CountingMeta):
    """A union member that counts how often its union is tried."""


CHECKS = [
    pytest.param(lambda v, x: v.is_valid(x), id="is_valid"),
    pytest.param(lambda v, x: v.is_valid_json(json.dumps(x)), id="is_valid_json"),
    pytest.param(lambda v, x: records(v, x), id="validate"),
    pytest.param(lambda v, x: records(v, x, fail_fast=True), id="fail_fast"),
    pytest.param(lambda v, x: records(v, x, as_json=True), id="validate_json"),
]


def union_trials(v, check, value):
    CountingMeta.calls = 0
    check(v, value)
    return CountingMeta.calls


@pytest.mark.parametrize("check", CHECKS)
@pytest.mark.parametrize("name", list(DOUBLING))
@pytest.mark.parametrize("leaf", ["bad", 1])
def test_work_grows_with_the_depth_only(name, leaf, check):
    body, nest, _ = DOUBLING[name]
    v = Validator(recursive(lambda s: body(s, union(int, Counted))))
    short, deep = (union_trials(v, check, nest(depth, leaf)) for depth in (30, 60))
    assert deep <= 2 * short + 20


@pytest.mark.parametrize("fail_fast", [False, True])
def test_a_member_reached_down_two_routes_a_level_is_walked_once_a_level(fail_fast):
    calls = []

    def counting(value):
        calls.append(1)
        if len(calls) > 100_000:
            raise TooMuchWork
        return True

    v = Validator(recursive(lambda s: intersection(list[s], list[Annotated[s, counting]])))
    for depth in (30, 60):
        calls.clear()
        v.validate(lists(depth, []), fail_fast=fail_fast)
        assert len(calls) <= 2 * depth


def test_a_repeated_failure_keeps_the_first_place_and_the_rest_their_order():
    v = Validator(intersection({"a": int, "b": str}, {"b": str, "c?": int, "a": int}))
    assert records(v, {"a": "x", "b": 1, "c": "y"}) == [
        ("int_type", ("a",), "int", "'x'"),
        ("string_type", ("b",), "str", "1"),
        ("extra_forbidden", ("c",), "no unexpected key", '"c"'),
        ("int_type", ("c",), "int", "'y'"),
    ]


def test_long_lists_of_repeated_failures():
    v = Validator(intersection(list[int], list[Annotated[int, "note"]]))
    assert records(v, ["x"] * 50) == [("int_type", (i,), "int", "'x'") for i in range(50)]


class Same:
    def __repr__(self):
        return "Same()"


@pytest.mark.parametrize(
    "spec, value, expected",
    [
        # set elements share the set's path
        (set[int], {Same(), Same()}, [("int_type", (), "int", "Same()")]),
        (set[int], {Same() for _ in range(20)} | {"x"}, [("int_type", (), "int", "Same()"), ("int_type", (), "int", "'x'")]),
        (list[int], [Same(), Same()], [("int_type", (0,), "int", "Same()"), ("int_type", (1,), "int", "Same()")]),
    ],
)
def test_two_values_that_read_alike_at_one_path_are_listed_once(spec, value, expected):
    # (a set's own order decides which comes first)
    assert sorted(records(Validator(spec), value)) == sorted(expected)


def test_a_remembered_answer_used_at_another_path_reports_there():
    shared = {"a": "bad"}
    v = Validator(recursive(lambda s: union(list[s], {"a": s}, int)))
    assert records(v, [shared, [shared]]) == [
        ("union_error", (0, "a"), "one of: list, dict, int", "'bad'"),
        ("union_error", (1, 0, "a"), "one of: list, dict, int", "'bad'"),
    ]


def test_a_remembered_answer_keeps_records_its_list_already_held():
    # The inline member lists p.a before s is walked at p; the answer kept
    # for s there must still hold p.a, which s at q then reports as q.a.
    shared = {"a": "bad"}
    v = Validator(
        recursive(lambda s: union({"a": int, "n?": s}, intersection({"p": {"a": int}}, {"p": s}, {"q": s}), {"p": s, "q": int}, int))
    )
    assert records(v, {"p": shared, "q": shared}) == [
        ("int_type", ("p", "a"), "int", "'bad'"),
        ("extra_forbidden", ("q",), "no unexpected key", '"q"'),
        ("int_type", ("q", "a"), "int", "'bad'"),
        ("extra_forbidden", ("p",), "no unexpected key", '"p"'),
    ]
