import copy
import operator
from typing import Literal

import pytest

from tarmelix import _tarmelix as m

V = m.Validator


@pytest.mark.parametrize(
    "make, expected",
    [
        (lambda: m.anything, 8556445246977061536),
        (lambda: V(int), -919969618110616173),
        (lambda: V(list[int]), -4056797960076596684),
    ],
)
def test_structural_hash_values(make, expected):
    assert hash(make()) == expected


class Loud:
    """Equal to nothing; any comparison raises what it was given."""

    def __init__(self, exc=ValueError):
        self.exc = exc

    def __eq__(self, other):
        raise self.exc("compared")

    __hash__ = object.__hash__


@pytest.mark.parametrize("copier", [copy.copy, copy.deepcopy, lambda v: v.__deepcopy__(None)])
def test_copies_share_the_pool(copier):
    # Comparing the copy never calls __eq__: the pooled object is the same one.
    source = m.union(list[Literal[1]], Loud(KeyboardInterrupt))
    duplicate = copier(source)
    assert duplicate is not source
    assert type(duplicate) is V
    assert duplicate == source
    assert hash(duplicate) == hash(source)
    assert repr(duplicate) == repr(source)


def test_deepcopy_ignores_the_memo():
    v = V(int)
    memo = {}
    first = v.__deepcopy__(memo)
    assert memo == {}
    assert v.__deepcopy__(memo) is not first


@pytest.mark.parametrize("other", [5, None, "int", int])
def test_equality_with_non_validators(other):
    v = V(int)
    assert (v == other) is False
    assert (v != other) is True
    assert (other == v) is False


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
def test_no_ordering(op):
    with pytest.raises(TypeError, match="not supported between instances of"):
        op(V(int), V(int))


@pytest.mark.parametrize(
    "left, right, equal",
    [
        (lambda: V(Literal[1]), lambda: V(Literal[1.0]), True),
        (lambda: V(Literal[1]), lambda: V(Literal[2]), False),
        (lambda: V(int), lambda: V(int), True),
        (lambda: V(int), lambda: V(str), False),
        (lambda: m.union(int), lambda: V(int), False),
        (lambda: m.intersection(int), lambda: V(int), False),
        (lambda: m.union(int), lambda: m.intersection(int), False),
    ],
)
def test_equality_is_structural_plus_constants(left, right, equal):
    a, b = left(), right()
    assert (a == b) is equal
    assert (a != b) is (not equal)
    if equal:
        assert hash(a) == hash(b)


def test_hash_ignores_constants():
    assert hash(V(Literal[1])) == hash(V(Literal[2]))


@pytest.mark.parametrize("exc", [ValueError, KeyboardInterrupt, MemoryError])
def test_raising_constant_comparison_counts_as_unequal(exc):
    assert (V(Loud(exc)) == V(Loud(exc))) is False


def test_one_spec_object_shares_its_pooled_constant():
    spec = Loud(KeyboardInterrupt)
    assert V(spec) == V(spec)


def test_union_of_one_renders_like_its_member():
    assert repr(m.union(int)) == repr(V(int)) == "int"


def test_repr_of_a_recursive_validator_terminates():
    text = repr(m.recursive(lambda s: list[s] | None))
    assert "..." in text
