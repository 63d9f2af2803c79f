"""Spec dispatch, rejections, the nesting limit, dict literals and embedding."""

import enum
import os
import subprocess
import sys
import textwrap
import threading
import typing
from dataclasses import dataclass
from typing import Any, Final, Literal, NoReturn, Optional, Protocol, TypeVar, Union

import pytest
from hypothesis import given, settings, strategies as st

from tarmelix import Validator, complement, recursive, union

NESTING = (
    "schema nesting is too deep to compile: the frontend descended 128 levels without "
    "reaching a leaf. A class whose own type appears in its fields is recursive and never "
    "bottoms out; write it with recursive(...), which ties the fixpoint explicitly."
)
TUPLE_LITERAL = (
    "a tuple literal is not a schema; write a fixed-length tuple as tuple[A, B] (the list "
    "literal [A, B] is the fixed-length list)"
)
SET_LITERAL = "a set literal is not a schema; write a set as set[T]"
CONSTRUCT = (
    "{} is a typing construct, not a value: a type variable, ParamSpec, TypeVarTuple, or "
    "special form (such as Final or ClassVar) cannot be a schema; use a concrete type"
)
SURROGATE_KEY = (
    "a record key must be valid Unicode; a field name cannot contain a lone surrogate"
)


def nested_dict(levels):
    spec = int
    for _ in range(levels):
        spec = {"a": spec}
    return spec


class IntSub(int):
    pass


class IntEnum(int, enum.Enum):
    ONE = 1


class Plain:
    pass


class Point(typing.NamedTuple):
    x: int


class Proto(Protocol):
    def run(self) -> None: ...


@typing.runtime_checkable
class RuntimeProto(Protocol):
    def run(self) -> None: ...


@pytest.mark.parametrize(
    "spec, same_as",
    [
        (type(None), None),
        (NoReturn, typing.Never),
        (Optional[int], int | None),
        (typing.Required[int], int),
        ({int: str}, dict[int, str]),
        ([int], list[int]),
        (typing.NewType("UserId", int), int),
        (typing.Annotated[int, "doc"], int),
    ],
)
def test_equivalent_spellings_build_one_tree(spec, same_as):
    assert Validator(spec) == Validator(same_as)
    assert hash(Validator(spec)) == hash(Validator(same_as))


@pytest.mark.parametrize(
    "spec, other",
    [
        (IntSub, int),  # a subclass of int is an instance test, not Int
        (IntEnum, int),
        ("int", int),  # a str spec is the literal of that text
        (True, bool),
        (5, int),
        (object, Any),
        (Any, object),
        (Plain, object),
    ],
)
def test_distinct_specs_stay_distinct(spec, other):
    assert Validator(spec) != Validator(other)


@pytest.mark.parametrize(
    "spec, text",
    [
        (None, "None"),
        (object, "anything"),
        (Any, "Any"),
        (typing.Never, "nothing"),
        (bool, "bool"),
        (bytes, "bytes"),
        (IntEnum, "IntEnum"),
        (RuntimeProto, "RuntimeProto"),
        (list, "list"),
        (Plain, "Plain"),
        (5, "Literal[5]"),
        ("int", "Literal['int']"),
        (frozenset({1}), "Literal[frozenset({1})]"),
        (IntEnum.ONE, "Literal[<IntEnum.ONE: 1>]"),
    ],
)
def test_simple_forms(spec, text):
    assert repr(Validator(spec)) == text


@pytest.mark.parametrize(
    "spec, kind, message",
    [
        ((int, str), NotImplementedError, TUPLE_LITERAL),
        (Point(1), NotImplementedError, TUPLE_LITERAL),
        ({int}, NotImplementedError, SET_LITERAL),
        (Proto, NotImplementedError, "a Protocol must be @runtime_checkable to be used as a schema"),
        (Optional, NotImplementedError, CONSTRUCT.format("typing.Optional")),
        (Final, NotImplementedError, CONSTRUCT.format("typing.Final")),
        (TypeVar("T"), NotImplementedError, CONSTRUCT.format("~T")),
        (typing.ParamSpec("P"), NotImplementedError, CONSTRUCT.format("~P")),
        ({"\ud800": int}, ValueError, SURROGATE_KEY),
        (nested_dict(128), NotImplementedError, NESTING),
    ],
)
def test_rejections(spec, kind, message):
    with pytest.raises(kind) as info:
        Validator(spec)
    assert type(info.value) is kind
    assert info.value.args == (message,)


def test_nesting_limit_is_inclusive_and_restored_after_failure():
    Validator(nested_dict(127))
    with pytest.raises(NotImplementedError):
        Validator(nested_dict(128))
    # the counter went back to zero: the deepest accepted spec still builds
    Validator(nested_dict(127))
    with pytest.raises(NotImplementedError):
        Validator([nested_dict(127)])
    Validator(nested_dict(127))


class Probe:
    """Runs a callback when the frontend probes it for Annotated metadata."""

    def __init__(self, callback):
        self.callback = callback

    @property
    def __metadata__(self):
        self.callback()
        raise AttributeError("__metadata__")


def test_nesting_counter_is_per_thread():
    seen = []

    def on_this_thread():
        with pytest.raises(NotImplementedError):
            Validator(nested_dict(2))
        seen.append("same thread refused")

    def on_other_thread():
        t = threading.Thread(target=lambda: seen.append(repr(Validator(nested_dict(127)))[:6]))
        t.start()
        t.join()

    # the probes run 127 levels deep, one level short of the limit
    for callback in (on_this_thread, on_other_thread):
        Validator(_nest({"a": Probe(callback)}, 126))
    assert seen == ["same thread refused", "{'a': "]


def _nest(spec, levels):
    for _ in range(levels):
        spec = {"a": spec}
    return spec


@dataclass
class SelfReferring:
    child: "SelfReferring"


type Alias = list[Alias]  # noqa: F821


@pytest.mark.parametrize("spec", [SelfReferring, Alias])
def test_self_reference_without_recursive_hits_the_nesting_limit(spec):
    with pytest.raises(NotImplementedError) as info:
        Validator(spec)
    assert info.value.args == (NESTING,)


class Raising:
    def __init__(self, attribute, exc):
        self.attribute, self.exc = attribute, exc

    def __getattr__(self, name):
        if name == self.attribute:
            raise self.exc
        raise AttributeError(name)


@pytest.mark.parametrize("attribute", ["__metadata__", "__supertype__"])
def test_presence_probe_treats_attribute_error_as_absent(attribute):
    spec = Raising(attribute, AttributeError("gone"))
    v = Validator(spec)
    assert v == Validator(spec) and repr(v).startswith("Literal[")


@pytest.mark.parametrize("attribute", ["__metadata__", "__supertype__"])
def test_presence_probe_passes_other_exceptions_through(attribute):
    boom = KeyError("boom")
    with pytest.raises(KeyError) as info:
        Validator(Raising(attribute, boom))
    assert info.value is boom


class ProtocolMarkerRaises:
    def __bool__(self):
        raise RuntimeError("no truth")


class WeirdProtocol:
    _is_protocol = ProtocolMarkerRaises()


def test_protocol_marker_whose_truth_raises_counts_as_false():
    assert repr(Validator(WeirdProtocol)) == "WeirdProtocol"


def test_metadata_not_a_tuple_is_a_type_error():
    class FakeAnnotated:
        __origin__ = int
        __metadata__ = ["not", "a", "tuple"]

    with pytest.raises(TypeError) as info:
        Validator(FakeAnnotated())
    assert info.value.args == ("'list' object is not an instance of 'tuple'",)

    FakeAnnotated.__metadata__ = None
    with pytest.raises(TypeError) as info:
        Validator(FakeAnnotated())
    assert info.value.args == ("'None' is not an instance of 'tuple'",)


# --- dict literals ----------------------------------------------------------


@pytest.mark.parametrize(
    "spec, text",
    [
        ({}, "{}"),
        ({"a": int, "b?": str}, "{'a': int, 'b?': str}"),
        ({"?": int}, "{'?': int}"),
        ({"a??": int}, "{'a??': int}"),
        ({"a": int, "a?": str}, "{'a': int, 'a?': str}"),
        # fields first, each group in dict order
        ({str: int, "z": None, "a": 1}, "{'z': None, 'a': Literal[1], str: int}"),
        ({int: str}, "dict[int, str]"),
    ],
)
def test_dict_literal_fields_and_clauses(spec, text):
    assert repr(Validator(spec)) == text


def test_optional_mark_is_removed_from_the_field_name():
    class TD(typing.TypedDict, total=False):
        a: int

    assert Validator({"a?": int}) == Validator(TD)
    assert Validator({"a": int}) != Validator(TD)


def test_dict_literal_order_matters():
    assert Validator({"a": int, "b": str}) != Validator({"b": str, "a": int})


class Mutator:
    """A spec whose __metadata__ probe edits the dict being read."""

    def __init__(self, target, action):
        self.target, self.action = target, action

    @property
    def __metadata__(self):
        self.action(self.target)
        raise AttributeError("__metadata__")


@pytest.mark.parametrize(
    "action, message",
    [
        (lambda d: d.__setitem__("extra", int), "dictionary changed size during iteration"),
        (lambda d: d.pop("a"), "dictionary changed size during iteration"),
        # same size, but a new key is read after the last old one
        (lambda d: (d.pop("a"), d.__setitem__("c", int)), "dictionary keys changed during iteration"),
    ],
)
def test_dict_changed_while_read_is_an_internal_fault(action, message):
    spec = {"a": int, "b": None}
    spec["b"] = Mutator(spec, action)
    with pytest.raises(BaseException) as info:
        Validator(spec)
    assert type(info.value).__name__ == "PanicException"
    assert str(info.value) == message
    # the nesting counter survived the fault
    Validator(nested_dict(127))


# --- embedding --------------------------------------------------------------


def test_embedded_validator_is_its_root():
    inner = Validator({"a": [int], "b": Literal["x"]})
    assert Validator(inner) == inner
    assert Validator([inner]) == Validator([{"a": [int], "b": Literal["x"]}])


def test_embedded_constants_share_the_pool_by_identity():
    marker = object()
    inner = Validator(Literal[marker])
    # the same object already in the pool reuses its index
    assert Validator([marker, inner]) == Validator([marker, Literal[marker]])
    assert Validator([inner, inner]) == Validator([Literal[marker], Literal[marker]])
    # a constant new to the pool is renumbered to its place there
    other = object()
    assert Validator([other, inner]) == Validator([other, Literal[marker]])
    assert Validator([other, inner]) != Validator([other, Literal[other]])


def test_embedded_definitions_are_shifted():
    lists = recursive(lambda v: [v])
    sets = recursive(lambda v: set[v])
    both = Validator({"a": lists, "b": sets})
    assert repr(both) == "{'a': list[...], 'b': set[...]}"
    # had the second validator's reference not been shifted, "b" would name
    # the first definition and the two fields would render alike
    swapped = Validator({"a": sets, "b": lists})
    assert both != swapped


def test_embedded_validator_does_not_count_against_nesting():
    # 127 levels of embedding plus one of the frontend: only the limits check
    # of the finished schema can refuse it, with its own error
    Validator({"a": Validator(nested_dict(126))})
    with pytest.raises(ValueError, match=r"^schema nesting is too deep: this validator reaches 129 "):
        Validator({"a": Validator(nested_dict(127))})


def test_typing_introspection_errors_pass_through(monkeypatch):
    boom = LookupError("get_origin")

    def failing(spec):
        raise boom

    monkeypatch.setattr(typing, "get_origin", failing)
    with pytest.raises(LookupError) as info:
        Validator(5)
    assert info.value is boom


def test_arguments_not_a_tuple(monkeypatch):
    monkeypatch.setattr(typing, "get_origin", lambda spec: list)
    monkeypatch.setattr(typing, "get_args", lambda spec: [int])
    with pytest.raises(TypeError) as info:
        Validator(5)
    assert info.value.args == ("'list' object is not an instance of 'tuple'",)


def test_construct_names_missing_from_typing_are_skipped(monkeypatch):
    T = TypeVar("T")
    monkeypatch.delattr(typing, "TypeVar")
    assert repr(Validator(T)) == "Literal[~T]"


class Bound:
    def __init__(self, ge):
        self.ge = ge


LISTS = recursive(lambda v: [v])
PAIRS = recursive(lambda v: {"left": v, "right?": LISTS})
SHARED = object()

leaves = st.sampled_from(
    [int, None, SHARED, "text", 2.5, Literal[SHARED, 3], LISTS, PAIRS,
     typing.Annotated[int, Bound(SHARED)], typing.Annotated[str, Bound(2.5)]]
)
specs = st.recursive(
    leaves,
    lambda inner: st.one_of(
        inner.map(lambda s: list[s]),
        inner.map(lambda s: [s]),
        inner.map(lambda s: {"k": s, int: s}),
        inner.map(lambda s: {"k?": s, "j": int}),
        st.tuples(inner, inner).map(lambda p: tuple[p[0], p[1], ...]),
        st.tuples(inner, inner).map(lambda p: [p[0], p[1]]),
    ),
    max_leaves=8,
)


@settings(max_examples=60, deadline=None)
@given(before=specs, spec=specs)
def test_embedding_matches_building_in_place(before, spec):
    # whatever the outer schema already holds (constants, definitions), an
    # embedded validator lands exactly where building its spec in place would
    direct = Validator({"a": before, "b": spec})
    embedded = Validator({"a": before, "b": Validator(spec)})
    assert direct == embedded
    assert hash(direct) == hash(embedded)


# The typing objects are read once per process, on the first schema built, so
# the read of an optional one is made to raise in a fresh interpreter.
OPTIONAL_TYPING_READ = textwrap.dedent(
    """
    import typing
    never = typing.Never
    del typing.Never

    def __getattr__(name):
        if name == "Never":
            raise {exc}
        raise AttributeError(name)

    typing.__getattr__ = __getattr__
    from tarmelix import Validator

    def show(spec):
        try:
            print(Validator(spec))
        except BaseException as e:
            print(type(e).__name__)

    show(int)
    typing.Never = never
    show(typing.Never)
    """
)


@pytest.mark.parametrize(
    "exc, shown",
    [
        # absent: the slot stays empty for the process
        ("LookupError", ["int", "NotImplementedError"]),
        # fatal: the schema fails, and the next one reads typing afresh
        ("KeyboardInterrupt", ["KeyboardInterrupt", "nothing"]),
    ],
)
def test_optional_typing_object_whose_read_raises(exc, shown):
    done = subprocess.run(
        [sys.executable, "-c", OPTIONAL_TYPING_READ.format(exc=exc)],
        capture_output=True,
        text=True,
        timeout=60,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.split() == shown
