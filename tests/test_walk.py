"""The membership walk over every node kind: answers, records, fatal exceptions, faults."""

import threading
from dataclasses import dataclass
from typing import Annotated, Literal

import pytest

from tarmelix import ValidationError, Validator, complement, intersection, nothing, recursive


def records(v, value, fail_fast=False):
    """The (code, path, expected, got) of every record `validate` raises."""
    with pytest.raises(ValidationError) as info:
        v.validate(value, fail_fast=fail_fast)
    return [(e["code"], e["path"], e["expected"], e["value"]) for e in info.value.errors]


def answers(v, value):
    """is_valid, `in` and validate must agree; returns the common answer."""
    member = v.is_valid(value)
    assert (value in v) is member
    try:
        v.validate(value)
        validated = True
    except ValidationError:
        validated = False
    assert validated is member
    return member


class IntSub(int):
    pass


@dataclass
class Point:
    x: int
    y: str


class Bare:
    pass


@dataclass
class NoFields:
    pass


@pytest.mark.parametrize(
    "spec, value, member",
    [
        (int, True, True),
        (bool, True, True),
        (float, True, False),
        (float, 1, False),
        (float, 1.5, True),
        (int, IntSub(3), True),
        (bytes, bytearray(b"x"), False),
        (bytes, b"x", True),
        (str, "x", True),
        (None, None, True),
        (None, 0, False),
        (Literal[1], 1, True),
        (Literal[1], True, False),
        (Literal[1], 1.0, False),
        (list[int], [], True),
        (list[int], (1,), False),
        (tuple[int, str], (1, "a"), True),
        (tuple[int, str], (1, "a", 2), False),
        (tuple[int, ...], [1], False),
        (tuple[int, ...], (), True),
        (set[int], {1, 2}, True),
        (set[int], frozenset({1}), False),
        (frozenset[int], frozenset({1}), True),
        (frozenset[int], {1}, False),
        (Point, Point(1, "a"), True),
        (Point, Point(1, 2), False),
        (Point, Bare(), False),
        (NoFields, NoFields(), True),
        (NoFields, Bare(), False),
    ],
)
def test_kind_answers(spec, value, member):
    assert answers(Validator(spec), value) is member


def test_combinator_answers():
    assert answers(complement(int), "a") is True
    assert answers(complement(int), 5) is False
    both = intersection(int, complement(bool))
    assert answers(both, 5) is True
    assert answers(both, True) is False
    assert answers(intersection(), object()) is True
    assert answers(nothing, None) is False


point_missing_y = Point.__new__(Point)
point_missing_y.x = 1


@pytest.mark.parametrize(
    "spec, value, fail_fast, expected",
    [
        (int, "x", False, [("int_type", (), "int", "'x'")]),
        (None, 0, False, [("none_type", (), "None", "0")]),
        (bool, 1, False, [("bool_type", (), "bool", "1")]),
        (float, 1, False, [("float_type", (), "float", "1")]),
        (bytes, bytearray(b""), False, [("bytes_type", (), "bytes", "bytearray(b'')")]),
        (1, True, False, [("literal_error", (), "the literal 1", "True")]),
        (Literal[1], True, False, [("union_error", (), "one of: literal", "True")]),
        (
            list[int],
            [1, "a", 2, "b"],
            False,
            [("int_type", (1,), "int", "'a'"), ("int_type", (3,), "int", "'b'")],
        ),
        (list[int], [1, "a", 2, "b"], True, [("int_type", (1,), "int", "'a'")]),
        (list[int], "ab", False, [("list_type", (), "list", "'ab'")]),
        (tuple[int, str], (1,), False, [("tuple_length", (), "tuple of length 2", "(1,)")]),
        (tuple[int, ...], [1], False, [("tuple_type", (), "tuple", "[1]")]),
        ([int, str], [1], False, [("list_length", (), "list of length 2", "[1]")]),
        ([int, str, ...], [], False, [("list_length", (), "list of length at least 1", "[]")]),
        (
            [int, str, ...],
            ["a", 1, "b", 2],
            False,
            [
                ("int_type", (0,), "int", "'a'"),
                ("string_type", (1,), "str", "1"),
                ("string_type", (3,), "str", "2"),
            ],
        ),
        (set[int], {"a"}, False, [("int_type", (), "int", "'a'")]),
        (set[int], frozenset(), False, [("set_type", (), "set", "frozenset()")]),
        (frozenset[int], set(), False, [("frozen_set_type", (), "frozenset", "set()")]),
        (complement(int), 5, False, [("unexpected_match", (), "not int", "5")]),
        (
            # the two failures read alike: listed once
            intersection(Annotated[int, lambda v: v > 0], Annotated[int, lambda v: v < 0]),
            0,
            False,
            [("predicate_failed", (), "a passing predicate", "0")],
        ),
        (nothing, 1, False, [("no_match", (), "nothing", "1")]),
        (Point, 5, False, [("instance_type", (), "Point", "5")]),
        (
            Point,
            point_missing_y,
            False,
            [("missing_attribute", ("y",), 'attribute "y"', "missing")],
        ),
        (
            list[Point],
            [Point("a", 1)],
            False,
            [("int_type", (0, "x"), "int", "'a'"), ("string_type", (0, "y"), "str", "1")],
        ),
        (list[Point], [Point("a", 1)], True, [("int_type", (0, "x"), "int", "'a'")]),
    ],
)
def test_records(spec, value, fail_fast, expected):
    v = spec if isinstance(spec, Validator) else Validator(spec)
    assert records(v, value, fail_fast) == expected
    assert v.is_valid(value) is False


def test_recursion_loop_and_limit():
    tree = recursive(lambda s: list[s])
    cyclic = []
    cyclic.append(cyclic)
    assert records(tree, cyclic) == [
        ("recursion_loop", (0,), "a finite (non-cyclic) value", "[[...]]")
    ]
    deep = []
    for _ in range(200):
        deep = [deep]
    (only,) = records(tree, deep)
    assert only[:3] == ("recursion_limit", (0,) * 128, "at most 128 levels of recursion")
    assert tree.is_valid(deep) is False
    shallow = []
    for _ in range(127):
        shallow = [shallow]
    assert answers(tree, shallow) is True


def test_unresolved_recursion_variable():
    captured = []

    def builder(s):
        captured.append(s)
        return list[s]

    recursive(builder)
    assert records(captured[0], 1) == [
        ("unresolved_recursion", (), "a resolved recursive value", "1")
    ]


class EqRaises:
    def __init__(self, exc):
        self.exc = exc

    def __eq__(self, other):
        raise self.exc

    __hash__ = object.__hash__


@dataclass
class HasX:
    x: int


class AttrRaises(HasX):
    def __init__(self, exc):
        self.exc = exc

    @property
    def x(self):
        raise self.exc


class RaisingMeta(type):
    exc = None

    def __instancecheck__(cls, obj):
        raise cls.exc


class Checked(metaclass=RaisingMeta):
    pass


FATAL = [MemoryError("m"), RecursionError("r"), KeyboardInterrupt(), SystemExit(3)]


@pytest.mark.parametrize("exc", FATAL, ids=lambda e: type(e).__name__)
def test_fatal_exceptions_propagate_unchanged(exc):
    class Ge:
        def __ge__(self, other):
            raise exc

    RaisingMeta.exc = exc
    cases = [
        (Validator(Literal[EqRaises(exc)]), EqRaises(exc)),
        (Validator(Checked), object()),
        (Validator(HasX), AttrRaises(exc)),
        (Validator(Annotated[int, lambda v: (_ for _ in ()).throw(exc)]), 1),
        (Validator(Annotated[object, type("M", (), {"ge": 0})()]), Ge()),
    ]
    for v, value in cases:
        for call in (v.validate, v.ensure, v.is_valid, v.__contains__):
            with pytest.raises(BaseException) as info:
                call(value)
            assert info.value is exc, (v, call)
    # a record was gathered before the fatal exception; CheckOnly stops earlier
    late = Validator(list[Annotated[object, lambda v: (_ for _ in ()).throw(exc) if v else False]])
    for call in (late.validate, late.ensure):
        with pytest.raises(BaseException) as info:
            call([0, 1])
        assert info.value is exc
    assert late.is_valid([0, 1]) is False


@pytest.mark.parametrize("exc", [ValueError("v"), TypeError("t"), AttributeError("a")])
def test_ordinary_exceptions_mean_non_member(exc):
    RaisingMeta.exc = exc
    eq = EqRaises(exc)
    assert answers(Validator(Literal[EqRaises(exc)]), eq) is False
    assert answers(Validator(Checked), object()) is False
    assert records(Validator(HasX), AttrRaises(exc)) == [
        ("missing_attribute", ("x",), 'attribute "x"', "missing")
    ]


def test_no_python_code_runs_after_a_fatal_exception():
    seen = []

    def pred(v):
        seen.append(v)
        if v == 0:
            raise KeyboardInterrupt
        return False

    v = Validator(list[Annotated[int, pred]])
    with pytest.raises(KeyboardInterrupt):
        v.validate([0, 1, 2])
    assert seen == [0]


def test_list_shortened_by_a_predicate_ends_the_loop():
    target = [1, 2, 3]

    def clear(v):
        target.clear()
        return True

    assert Validator(list[Annotated[int, clear]]).is_valid(target) is True
    target[:] = [1, 2, 3]
    Validator(list[Annotated[int, clear]]).validate(target)


def test_list_lengthened_by_a_predicate_is_walked_to_its_tested_length():
    target = [1, 2]
    seen = []

    def grow(v):
        seen.append(v)
        target.append("x")
        return True

    assert Validator(list[Annotated[int, grow]]).is_valid(target) is True
    assert seen == [1, 2]


def panic_of(call, *args):
    with pytest.raises(BaseException) as info:
        call(*args)
    assert type(info.value).__name__ == "PanicException"
    return str(info.value)


@pytest.mark.parametrize("kind", [set, frozenset])
def test_set_changed_during_iteration_is_a_fault(kind):
    class Grows(kind):
        pass

    target = {1, 2, 3}

    def grow(v):
        target.add(len(target) + 10)
        return True

    v = Validator(set[Annotated[int, grow]])
    for call in (v.validate, v.is_valid):
        assert panic_of(call, target).startswith("set iteration should be infallible: ")


def test_set_subclass_iterator_decides_and_its_faults():
    class Odd(set):
        def __iter__(self):
            return iter([1, "a"])

    class Broken(frozenset):
        def __iter__(self):
            raise ValueError("nope")

    assert Validator(set[int]).is_valid(Odd({1})) is False
    assert records(Validator(set[int]), Odd({1})) == [("int_type", (), "int", "'a'")]
    message = panic_of(Validator(frozenset[int]).is_valid, Broken({1}))
    assert message == "frozenset should always be iterable: ValueError: nope"


def test_threads_share_one_fresh_validator():
    spec = list[{"a": int, "b?": Literal["x", "y"], "c": Annotated[str, type("P", (), {"pattern": "[a-z]+"})()]}]
    v = Validator(spec)
    good = [{"a": 1, "b": "x", "c": "abc"}] * 50
    bad = [{"a": 1, "b": "z", "c": "abc"}]
    barrier = threading.Barrier(8)
    results = []

    def run():
        barrier.wait()
        results.append((v.is_valid(good), v.is_valid(bad), good in v))
        try:
            v.validate(bad)
            results.append("accepted")
        except ValidationError as e:
            results.append(e.code)

    threads = [threading.Thread(target=run) for _ in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert sorted(map(str, results)) == sorted(map(str, [(True, False, True), "union_error"] * 8))


def test_nested_instances_of_many_classes():
    from dataclasses import make_dataclass

    inner = make_dataclass("C0", [("v", int)])
    classes = [inner]
    for i in range(1, 12):
        classes.append(make_dataclass(f"C{i}", [("first", int), ("child", classes[-1]), ("last", str)]))
    outer = classes[-1]

    def build(cls, depth, bad=False):
        if depth == 0:
            return cls("x" if bad else 1)
        return cls(1, build(classes[depth - 1], depth - 1, bad), "s")

    v = Validator(list[outer])
    good = [build(outer, 11) for _ in range(3)]
    assert answers(v, good) is True
    (record,) = records(v, [build(outer, 11, bad=True)])
    assert record[:3] == ("int_type", (0,) + ("child",) * 11 + ("v",), "int")


@dataclass
class OnlyA:
    a: int


@dataclass
class OnlyB:
    b: str


def test_instances_of_classes_with_different_fields_alternate_in_a_list():
    v = Validator(list[OnlyA | OnlyB])
    good = [OnlyA(1), OnlyB("x")] * 3
    assert answers(v, good) is True
    assert answers(Validator(list[OnlyB | OnlyA]), good) is True
    bad = good + [OnlyB(2)]
    assert answers(v, bad) is False
    codes = {(code, path) for code, path, _, _ in records(v, bad)}
    assert ("string_type", (6, "b")) in codes
