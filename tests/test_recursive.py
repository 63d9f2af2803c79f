"""recursive(builder): placeholders, back edges, contractiveness and limits."""

import json
import threading
import typing
from dataclasses import dataclass

import pytest

from tarmelix import MAX_DEFINITIONS, ValidationError, Validator, complement, intersection, recursive, union

NOT_CONTRACTIVE = (
    "recursive schema is not contractive: the recursive reference must occur under a "
    "structural constructor (a list, tuple, set, dict, record, or object)"
)


def membership_available():
    try:
        Validator(int).is_valid(1)
    except NotImplementedError:
        return False
    return True


needs_walk = pytest.mark.skipif(not membership_available(), reason="membership walk not built")


class Ge1:
    ge = 1


def nested_dict(levels):
    spec = int
    for _ in range(levels):
        spec = {"a": spec}
    return spec


def dataclass_of(v):
    @dataclass
    class Node:
        child: v

    return Node


@pytest.mark.parametrize(
    "builder",
    [
        lambda v: v,
        lambda v: v | int,
        lambda v: union(v, int),
        lambda v: intersection(v, int),
        lambda v: complement(v),
        lambda v: typing.Annotated[v, Ge1()],
        lambda v: union(int, complement(intersection(v, str))),
    ],
    ids=["bare", "or", "union", "intersection", "complement", "annotated", "nested-combinators"],
)
def test_unguarded_reference_is_refused(builder):
    with pytest.raises(ValueError) as info:
        recursive(builder)
    assert info.value.args == (NOT_CONTRACTIVE,)


@pytest.mark.parametrize(
    "builder, text",
    [
        (lambda v: [v], "list[...]"),
        (lambda v: {"a": v}, "{'a': ...}"),
        (lambda v: {"a?": v, "b": int}, "{'a?': ..., 'b': int}"),
        (lambda v: {str: v}, "dict[str, ...]"),
        (lambda v: set[v], "set[...]"),
        (lambda v: frozenset[v], "frozenset[...]"),
        (lambda v: tuple[int, v], "tuple[int, ...]"),
        (lambda v: Validator([v]) | int, "list[...] | int"),
        (lambda v: complement([v]), "complement(list[...])"),
        (lambda v: typing.Annotated[list[v], Ge1()], "Annotated[list[...], Ge(1)]"),
        (dataclass_of, "Node"),
    ],
)
def test_guarded_reference_is_accepted(builder, text):
    assert repr(recursive(builder)) == text


def test_contractiveness_is_checked_before_limits():
    deep = Validator(nested_dict(127))
    with pytest.raises(ValueError) as info:
        recursive(lambda v: typing.Union[v, deep])
    assert info.value.args == (NOT_CONTRACTIVE,)


def test_builder_ignoring_its_placeholder():
    r = recursive(lambda v: int)
    assert repr(r) == "int"
    assert r != Validator(int)  # the body sits behind a definition reference
    assert r == recursive(lambda v: int)


def test_builder_exception_passes_through_unchanged():
    boom = LookupError("boom")

    def builder(v):
        raise boom

    with pytest.raises(LookupError) as info:
        recursive(builder)
    assert info.value is boom


def test_builder_not_callable():
    with pytest.raises(TypeError):
        recursive(5)


def test_rejected_body_passes_the_frontend_error_through():
    with pytest.raises(NotImplementedError):
        recursive(lambda v: (v, v))


def placeholder_of_one_call():
    kept = []
    recursive(lambda v: kept.append(v) or [v])
    return kept[0]


def test_placeholders_of_distinct_calls_never_match():
    first, second = placeholder_of_one_call(), placeholder_of_one_call()
    assert first == first and Validator(first) == first
    assert first != second

    from_threads = []
    threads = [threading.Thread(target=lambda: from_threads.append(placeholder_of_one_call()))
               for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    everything = [first, second, *from_threads]
    for i, a in enumerate(everything):
        for b in everything[i + 1:]:
            assert a != b


def test_outer_placeholder_stays_unresolved_inside_an_inner_builder():
    def outer():
        return recursive(lambda v: {"inner": recursive(lambda w: [w, v])})

    def plain():
        return recursive(lambda v: {"inner": recursive(lambda w: [w, int]), "me": [v]})

    # each run draws fresh ids; only an unresolved variable keeps its id in the result
    assert outer() != outer()
    assert plain() == plain()


def test_embedded_definitions_come_first():
    lists = recursive(lambda v: [v])
    records = recursive(lambda w: {"a": w, "b": lists})
    outer = recursive(lambda u: [u, records])
    assert repr(records) == "{'a': ..., 'b': list[...]}"
    assert repr(outer) == "[..., {'a': ..., 'b': list[...]}]"


def test_definition_count_limit():
    r = recursive(lambda v: [v])
    for _ in range(MAX_DEFINITIONS - 1):
        r = recursive(lambda v, inner=r: [v, inner])
    with pytest.raises(ValueError, match=r"^schema holds too many recursive definitions: this validator has 129 "):
        recursive(lambda v: [v, r])


def test_depth_limit_through_a_recursive_body():
    deep = Validator(nested_dict(126))
    recursive(lambda v: {"a": v, "b": deep})
    with pytest.raises(ValueError, match=r"^schema nesting is too deep: this validator reaches 129 "):
        recursive(lambda v: {"a": v, "b": {"c": deep}})


@needs_walk
@pytest.mark.parametrize(
    "value, member",
    [([], True), ([[]], True), ([[], [[[]]]], True), ([1], False), ([[], [2]], False), ((), False)],
)
def test_nested_lists_of_any_depth(value, member):
    assert recursive(lambda v: [v]).is_valid(value) is member


@needs_walk
def test_unresolved_placeholder_has_no_member():
    from tarmelix import ValidationError

    kept = placeholder_of_one_call()
    for value in (None, 1, [], {}):
        assert not kept.is_valid(value)
    with pytest.raises(ValidationError) as info:
        kept.validate(1)
    assert info.value.code == "unresolved_recursion"


def test_node_count_limit_through_a_recursive_body():
    # the root reference, the body's Sequence node and its items
    recursive(lambda v: [v] + [int] * 99997)
    with pytest.raises(ValueError, match=r"^schema is too large: this validator spans 100001 nodes"):
        recursive(lambda v: [v] + [int] * 99998)



class TooMuchWork(BaseException):
    """Fatal to a walk: ends a runaway check at once instead of hanging."""


class CountingMeta(type):
    calls = 0

    def __instancecheck__(cls, value):
        CountingMeta.calls += 1
        if CountingMeta.calls > 10_000:
            raise TooMuchWork
        return False


class Counted(metaclass=CountingMeta):
    pass


def tagged_tree(depth):
    """A recursive tagged union whose two record members both walk `child`
    (it comes first in the dict) before the tag rejects one of them; the
    last member counts how often the union is tried."""
    tree = recursive(
        lambda s: union(
            {"child": s, "kind": typing.Literal["a"]},
            {"child": s, "kind": typing.Literal["b"]},
            Counted,
        )
    )
    value = "leaf"
    for _ in range(depth):
        value = {"child": value, "kind": "a"}
    return tree, value


@pytest.mark.parametrize(
    "check",
    [
        lambda v, x: v.is_valid(x),
        lambda v, x: x in v,
        lambda v, x: v.is_valid_json(json.dumps(x)),
        lambda v, x: pytest.raises(ValidationError, v.validate, x),
        lambda v, x: pytest.raises(ValidationError, v.validate, x, fail_fast=True),
    ],
    ids=["is_valid", "in", "is_valid_json", "validate", "fail_fast"],
)
@pytest.mark.parametrize("depth", [20, 60, 140])
def test_shared_recursive_member_is_walked_once_per_value(check, depth):
    # Each level used to double the work, so a few dozen levels never
    # finished; past the recursion limit the refusals used to do the same.
    CountingMeta.calls = 0
    check(*tagged_tree(depth))
    assert CountingMeta.calls <= 8 * depth
