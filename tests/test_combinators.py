import gc
import weakref
from typing import Literal

import pytest

from tarmelix import _tarmelix as m

V = m.Validator

TUPLE_MESSAGE = "a tuple literal is not a schema"


def test_constructor_takes_the_spec_by_keyword():
    assert V(schema=int) == V(int)


@pytest.mark.parametrize(
    "built, expected",
    [
        (lambda: V(int) | str, lambda: m.union(int, str)),
        (lambda: str | V(int), lambda: m.union(str, int)),
        (lambda: V(int) | 5, lambda: m.union(int, 5)),
        (lambda: 5 | V(int), lambda: m.union(5, int)),
        (lambda: V(int) | Literal["a"], lambda: m.union(int, Literal["a"])),
        (lambda: m.union(), lambda: m.nothing),
        (lambda: m.intersection(), lambda: m.anything),
        (lambda: V(int) | V(int), lambda: m.union(int, int)),
        (lambda: V(int) | V(str), lambda: m.union(int, str)),
        (lambda: m.complement(m.complement(int)), lambda: m.complement(m.complement(int))),
    ],
)
def test_combinations_keep_members_in_operand_order(built, expected):
    assert built() == expected()


@pytest.mark.parametrize(
    "built, other",
    [
        (lambda: V(int) | str, lambda: m.union(str, int)),
        (lambda: m.union(int, str, int), lambda: m.union(int, str)),
        (lambda: m.complement(m.complement(int)), lambda: V(int)),
        (lambda: m.union(int), lambda: V(int)),
        (lambda: m.intersection(int), lambda: V(int)),
    ],
)
def test_combinators_do_not_simplify(built, other):
    assert built() != other()


def test_operand_is_left_unchanged():
    v = V(Literal["a"])
    before = V(Literal["a"])
    v | int
    int | v
    assert v == before


@pytest.mark.parametrize(
    "call",
    [
        lambda: V(int) | (int, str),
        lambda: (int, str) | V(int),
        lambda: V((int, str)),
        lambda: m.complement((int, str)),
        lambda: m.intersection(int, (int, str)),
    ],
)
def test_frontend_rejections_pass_through(call):
    with pytest.raises(NotImplementedError, match=TUPLE_MESSAGE):
        call()


def test_first_failing_argument_decides_and_nothing_is_kept():
    class Marker:
        pass

    marker = Marker()
    alive = weakref.ref(marker)
    with pytest.raises(NotImplementedError, match=TUPLE_MESSAGE):
        m.union(marker, (int, str), [int, ...][5:])
    del marker
    gc.collect()
    assert alive() is None


def test_self_combination_stops_at_the_size_limit():
    v = V(int)
    with pytest.raises(ValueError) as info:
        for _ in range(20):
            v = v | v
    assert str(info.value).startswith(
        "schema is too large: this validator spans 131071 nodes, past the limit of 100000."
    )
