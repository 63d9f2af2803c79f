import abc
import collections.abc
import dataclasses
import os
import threading
import time
import typing
from typing import Annotated, Any, Literal

import pytest

from reasoning_support import Meta
from tarmelix import _tarmelix as m

V = m.Validator


def opened(record):
    return V(record).open()


@pytest.mark.parametrize(
    "sub, sup, included",
    [
        (bool, int, True),
        (int, bool, False),
        (int, float, False),
        (m.complement(int), m.complement(bool), True),
        (bool, m.complement(str), True),
        (list[int], m.complement(str), True),
        (m.nothing, list[int], True),
        ({"a": int}, m.anything, True),
        (Any, m.anything, True),
        (int, Any, False),
        (Literal[3], Any, True),
        (Literal[3], int, True),
        (Literal[3], float, False),
        (Literal[True], int, True),
        (list[bool], list[int], True),
        (list[int], tuple[int, ...], False),
        (tuple[int, int], tuple[int, ...], True),
        (tuple[int, str], tuple[int, ...], False),
        (tuple[int, ...], tuple[int, int], False),
        ([int, bool, ...], list[int], True),
        (tuple[int, m.nothing], tuple[str], True),
        ({"a": int}, {"a": int, "b?": str}, True),
        ({"a": int}, {"a": int, "b": str}, False),
        ({"a?": int}, {"a": int}, False),
        ({"a": int}, dict[str, int], True),
        (opened({"a": int}), {"a": int}, False),
        ({"a": int}, opened({"a": int}), True),
        (dict[str, bool], dict[str, int], True),
        (dict[str, int], dict[str, float], False),
        ({"a": int}, dict[Any, int], False),
        ({"a": int}, dict[Literal["a"], int], False),
        ({"a": int}, dict[Annotated[str, Meta(min_length=1)], int], False),
        (Annotated[int, Meta(ge=5)], Annotated[int, Meta(ge=0)], True),
        (Annotated[int, Meta(gt=0)], Annotated[int, Meta(ge=0)], True),
        (Annotated[int, Meta(ge=0)], Annotated[int, Meta(gt=0)], False),
        (Annotated[int, Meta(ge=0)], int, True),
        (int, Annotated[int, Meta(ge=0)], False),
        (Literal[3], Annotated[int, Meta(ge=0)], True),
        (Annotated[str, Meta(max_length=3)], Annotated[str, Meta(max_length=5)], True),
        (Annotated[int, Meta(ge="a")], Annotated[int, Meta(ge=0)], False),
        (set[bool], set[int], True),
        (frozenset[int], set[int], False),
        (m.union(int, str), m.union(str, int, None), True),
        (m.intersection(int, Annotated[int, Meta(ge=0)]), int, True),
    ],
    ids=repr,
)
def test_is_subtype_of(sub, sup, included):
    assert V(sub).is_subtype_of(sup) is included


def test_recursive_schemas_built_apart_include_each_other():
    a = m.recursive(lambda s: list[s] | None)
    b = m.recursive(lambda s: list[s] | None)
    assert a.is_subtype_of(b) is True
    assert a.is_equivalent(b) is True


def test_a_reference_is_not_split_against_a_written_out_union():
    # Unions are split before references unfold: each member alone fails.
    ref = m.recursive(lambda s: m.union(int, str, list[s]))
    assert ref.is_subtype_of(m.union(int, str, list[ref])) is False


@pytest.mark.parametrize(
    "a, b, equivalent",
    [
        (bool | int, int, True),
        (int, bool, False),
        (m.union(int, str), m.union(str, int), True),
        (m.complement(m.complement(int)), int, True),
        ({"a": int}, {"a": int, "b?": m.nothing}, False),
    ],
    ids=repr,
)
def test_is_equivalent(a, b, equivalent):
    assert V(a).is_equivalent(b) is equivalent


class Raising:
    def __init__(self, exc):
        self.exc = exc

    def _raise(self, *_):
        raise self.exc

    __eq__ = __lt__ = __gt__ = __le__ = __ge__ = _raise
    __hash__ = object.__hash__


@pytest.mark.parametrize("exc", [TypeError, KeyboardInterrupt, MemoryError])
def test_bounds_whose_comparison_raises_imply_nothing(exc):
    bound = Raising(exc)
    assert V(Annotated[int, Meta(ge=bound)]).is_subtype_of(Annotated[int, Meta(ge=0)]) is False


class Meta_(type):
    def __subclasscheck__(cls, other):
        raise KeyboardInterrupt


class Picky(metaclass=Meta_):
    pass


def test_a_raising_subclass_check_proves_nothing():
    class Plain:
        pass

    assert V(Plain).is_subtype_of(Picky) is False


# A name declared twice, the first time required, admits no dict at all; read
# only through its later field such a record looked like a plain supertype.
TWICE = {"a": int, "a?": str}


@pytest.mark.parametrize(
    "sub, sup",
    [
        ({"a": str}, TWICE),
        ({"a": int}, TWICE),
        ({"a?": str}, TWICE),
        (dict[str, str], TWICE),
    ],
    ids=repr,
)
def test_nothing_inhabited_is_proven_inside_a_twice_declared_record(sub, sup):
    assert V(sup).is_valid({"a": 1}) is False
    assert V(sub).is_subtype_of(sup) is False


def on_small_stack(job):
    """Runs job() on a thread with a deliberately small stack."""
    outcome = []
    # Sanitizer builds pad every frame; give them room in proportion.
    scale = 8 if os.environ.get("TARMELIX_SANITIZED") else 1
    previous = threading.stack_size(scale << 20)
    try:
        worker = threading.Thread(target=lambda: outcome.append(job()))
        worker.start()
        worker.join()
    finally:
        threading.stack_size(previous)
    return outcome


def test_nested_coprime_recursions_answer_unproven_without_exhausting_the_stack():
    # The unfolded pairs recur only after thousands of list levels; the native
    # depth cap answers unproven long before the stack could run out.
    def nest(s, depth):
        for _ in range(depth):
            s = list[s]
        return s

    a = m.recursive(lambda s: nest(s, 61))
    b = m.recursive(lambda s: nest(s, 59))
    assert on_small_stack(lambda: (a.is_subtype_of(b), a.is_equivalent(b))) == [(False, False)]


class Base:
    pass


class Derived(Base):
    pass


@dataclasses.dataclass
class Point:
    x: int


@dataclasses.dataclass
class Point3(Point):
    z: int


NAN = float("nan")


@pytest.mark.parametrize(
    "sub, sup, included",
    [
        (Derived, Base, True),
        (Base, Derived, False),
        (Derived, {"a": int}, False),
        (Derived, int, False),
        (Point, Base, False),
        (Point, Point, True),
        (Point, object, True),
        (Point3, Point, True),
        (Point, Point3, False),
        (object, Point, False),
        # bounds compared by value: 1 and 1.0 are equal, a NaN orders nothing
        (Annotated[int, Meta(ge=1)], Annotated[int, Meta(ge=1.0)], True),
        (Annotated[float, Meta(ge=2)], Annotated[float, Meta(gt=1)], True),
        (Annotated[float, Meta(ge=NAN)], Annotated[float, Meta(ge=NAN)], True),
        (Annotated[float, Meta(ge=float("nan"))], Annotated[float, Meta(ge=float("nan"))], False),
    ],
    ids=repr,
)
def test_class_and_bound_leaves(sub, sup, included):
    assert V(sub).is_subtype_of(sup) is included


class Unhashable(Base):
    def __eq__(self, other):  # which sets __hash__ to None
        return self is other


class Mixin:
    pass


class MixinAbc(Mixin, abc.ABC):
    pass


MixinAbc.register(int)


class Liberal(type):
    def __instancecheck__(cls, value):
        return True


class AnythingGoes(Base, metaclass=Liberal):
    pass


class Quacking(Base, abc.ABC):
    @classmethod
    def __subclasshook__(cls, other):
        return hasattr(other, "quack") or NotImplemented


class Quacker:
    quack = None


class MySized(collections.abc.Sized):
    def __len__(self):
        return 0


class MySizedChild(MySized):
    pass


# (sub, sup, a member of sub outside sup): issubclass holds for each, yet only
# a class whose membership follows the class hierarchy proves anything.
@pytest.mark.parametrize(
    "sub, sup, witness",
    [
        (typing.SupportsInt, typing.Generic, 1.5),
        (list[typing.SupportsInt], list[typing.Generic], [1.5]),
        (collections.abc.Sized, collections.abc.Hashable, []),
        (Base, collections.abc.Hashable, Unhashable()),
        (MixinAbc, Mixin, 5),
        (AnythingGoes, Base, 5),
        (Quacking, Base, Quacker()),
    ],
    ids=repr,
)
def test_structural_classes_prove_no_inclusion(sub, sup, witness):
    assert V(sub).is_valid(witness) and not V(sup).is_valid(witness)
    assert V(sub).is_subtype_of(sup) is False


@pytest.mark.parametrize(
    "sub, sup",
    [
        (bool, int),
        (collections.abc.Sequence, collections.abc.Collection),
        (collections.abc.MutableSequence, collections.abc.Sequence),
        (typing.SupportsInt, typing.SupportsInt),
        (list[typing.SupportsInt], list[typing.SupportsInt]),
        (collections.abc.Sized, collections.abc.Sized),
        (collections.abc.Sized, object),
        (MySized, collections.abc.Sized),
        (MySizedChild, MySized),
        (Unhashable, Base),
        (Quacking, Quacking),
    ],
    ids=repr,
)
def test_hierarchy_inclusions_stay_proven(sub, sup):
    assert V(sub).is_subtype_of(sup) is True


def test_literals_against_a_pattern_compile_it_once_per_decision():
    words = Literal[tuple("abc" * (i % 7 + 1) + str(i) for i in range(5000))]
    pattern = Annotated[str, Meta(pattern="[a-z]{1,300}[0-9]{1,300}")]
    sub = V(words)
    start = time.perf_counter()
    assert sub.is_subtype_of(pattern) is True
    assert sub.is_equivalent(pattern) is False
    assert time.perf_counter() - start < 1.5
