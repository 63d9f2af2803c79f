from typing import Annotated, Any, Literal

import pytest

from reasoning_support import Meta
from tarmelix import _tarmelix as m

V = m.Validator

AT_LEAST_ONE = V(Annotated[int, Meta(ge=1)])


@pytest.mark.parametrize(
    "schema, text",
    [
        (int | int, "int"),
        (int | str, "int | str"),
        (str | int, "int | str"),
        (m.union(int, m.union(str, bytes)), "int | str | bytes"),
        (m.union(int), "int"),
        (m.union(int, m.nothing), "int"),
        (m.union(int, m.anything), "anything"),
        (m.intersection(int, m.anything), "int"),
        (m.intersection(int, m.nothing), "nothing"),
        (m.intersection(int, str), "nothing"),
        (m.intersection(list[int], str), "nothing"),
        (m.intersection(bool, int), "intersection(bool, int)"),
        (m.intersection(int, m.intersection(bool, int)), "intersection(bool, int)"),
        (m.complement(m.complement(int)), "int"),
        (m.complement(m.anything), "nothing"),
        (m.complement(m.nothing), "anything"),
        (m.complement(int | str), "intersection(complement(int), complement(str))"),
        (m.complement(m.intersection(int, str)), "anything"),
        (m.complement(m.intersection(int, list[int])), "anything"),
        (m.union(int, m.complement(int)), "anything"),
        (m.union(m.complement(list[int]), m.complement(str)), "anything"),
        (m.union(None, bool, int, float, str, bytes), "None | bool | int | float | str | bytes"),
        (m.union(None, bool, int, float, str, bytes, m.complement(None)), "anything"),
        (m.union(Any, m.complement(Any)), "Any | complement(Any)"),
        (list[int | int], "list[int]"),
        ({"b": int | int, "a?": str}, "{'b': int, 'a?': str}"),
        (Annotated[AT_LEAST_ONE, Meta(le=5), Meta(ge=1)], "Annotated[int, Ge(1), Le(5)]"),
        (
            Annotated[AT_LEAST_ONE, Meta(pattern="x"), Meta(min_length=2)],
            'Annotated[int, Ge(1), MinLen(2), Regex("x")]',
        ),
        (Annotated[m.nothing, Meta(ge=1)], "Annotated[nothing, Ge(1)]"),
        (m.union(Annotated[m.anything, Meta(ge=1)], int), "int | Annotated[anything, Ge(1)]"),
    ],
    ids=repr,
)
def test_simplify(schema, text):
    assert repr(V(schema).simplify()) == text


def test_equal_bounds_held_apart_both_remain():
    # Constraints are equal by pool entry, never by Python equality.
    bound = 10**30
    twin = int(str(bound))
    assert twin is not bound
    v = V(Annotated[int, Meta(ge=bound), Meta(ge=twin), Meta(ge=bound)]).simplify()
    assert repr(v) == f"Annotated[int, Ge({bound}), Ge({bound})]"


def test_a_reference_root_stays_a_reference():
    v = m.recursive(lambda s: list[s | s] | None)
    simple = v.simplify()
    assert repr(simple) == "None | list[...]"
    assert simple.is_equivalent(v)
