"""Soundness of the decisions and rewrites over a small grammar of schemas,
checked against the membership walk on generated values."""

from typing import Annotated, Any, Literal

from hypothesis import given, settings
from hypothesis import strategies as st

from reasoning_support import Meta
from tarmelix import _tarmelix as m

V = m.Validator

LEAVES = [
    int, bool, str, float, None, bytes, Any, m.anything, m.nothing,
    Literal[0], Literal[1], Literal["a"], Literal[True],
    Annotated[int, Meta(ge=0)], Annotated[int, Meta(lt=1)], Annotated[str, Meta(max_length=1)],
]


def extend(children):
    pairs = st.tuples(children, children)
    return st.one_of(
        children.map(lambda x: list[x]),
        children.map(lambda x: tuple[x, ...]),
        pairs.map(lambda p: tuple[p[0], p[1]]),
        children.map(lambda x: {"a": x}),
        children.map(lambda x: {"a?": x}),
        pairs.map(lambda p: {"a": p[0], "b?": p[1]}),
        # one name declared twice, in either order
        pairs.map(lambda p: {"a": p[0], "a?": p[1]}),
        pairs.map(lambda p: {"a?": p[0], "a": p[1]}),
        children.map(lambda x: dict[str, x]),
        children.map(lambda x: V({"a": x}).open()),
        pairs.map(lambda p: m.union(*p)),
        pairs.map(lambda p: m.intersection(*p)),
        children.map(m.complement),
    )


schemas = st.recursive(st.sampled_from(LEAVES), extend, max_leaves=6).map(V)

scalars = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(-2, 2),
    st.sampled_from([0.0, 0.5, -1.5]),
    st.text(alphabet="ab", max_size=2),
    st.binary(max_size=1),
)
values = st.recursive(
    scalars,
    lambda inner: st.one_of(
        st.lists(inner, max_size=3),
        st.lists(inner, max_size=3).map(tuple),
        st.dictionaries(st.sampled_from(["a", "b"]), inner, max_size=2),
    ),
    max_leaves=6,
)
samples = st.lists(values, min_size=1, max_size=12)

# Pairs that are often included: a schema against a widening of itself.
related = st.one_of(
    st.tuples(schemas, schemas),
    st.tuples(schemas, schemas).map(lambda p: (p[0], m.union(p[0], p[1]))),
    st.tuples(schemas, schemas).map(lambda p: (m.intersection(p[0], p[1]), p[1])),
    schemas.map(lambda s: (s, s.open())),
    schemas.map(lambda s: (s.close(), s)),
    schemas.map(lambda s: (s.simplify(), s)),
)

PROPERTY = settings(max_examples=250, deadline=None)


@PROPERTY
@given(related, samples)
def test_proven_inclusion_holds_for_every_member(pair, vs):
    sub, sup = pair
    if sub.is_subtype_of(sup):
        for v in vs:
            if sub.is_valid(v):
                assert sup.is_valid(v), (sub, sup, v)
    if sub.is_equivalent(sup):
        for v in vs:
            assert sub.is_valid(v) == sup.is_valid(v), (sub, sup, v)


@PROPERTY
@given(schemas, samples)
def test_proven_emptiness_admits_nothing(schema, vs):
    if schema.is_empty():
        assert not any(schema.is_valid(v) for v in vs), schema


@PROPERTY
@given(schemas, samples)
def test_simplify_admits_exactly_what_its_source_admits(schema, vs):
    simple = schema.simplify()
    for v in vs:
        assert schema.is_valid(v) == simple.is_valid(v), (schema, simple, v)


@PROPERTY
@given(schemas)
def test_open_and_close_are_projections(schema):
    opened, closed = schema.open(), schema.close()
    assert opened.open() == opened
    assert closed.close() == closed
    assert opened.close() == closed
    assert closed.open() == opened
