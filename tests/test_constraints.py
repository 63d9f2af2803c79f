"""Constraint checks: bounds, lengths, divisors, predicates and full-match patterns."""

from typing import Annotated, Literal

import pytest

from tarmelix import ValidationError, Validator


class M:
    """A metadata object carrying the given attributes."""

    def __init__(self, **attrs):
        self.__dict__.update(attrs)


def check(spec, value):
    """(member, records) with is_valid, `in` and both recording modes agreeing."""
    v = Validator(spec)
    member = v.is_valid(value)
    assert (value in v) is member
    try:
        v.validate(value)
        found = []
    except ValidationError as e:
        found = [(x["code"], x["expected"], x["value"]) for x in e.errors]
    assert (not found) is member
    if not member:
        with pytest.raises(ValidationError) as first:
            v.validate(value, fail_fast=True)
        assert first.value.errors[0]["code"] == found[0][0]
    return member, found


# int.__mod__(0.5) is NotImplemented, whose truth test warns (or raises)
@pytest.mark.filterwarnings("ignore::DeprecationWarning")
@pytest.mark.parametrize(
    "meta, value, expected",
    [
        (M(ge=3), 3, None),
        (M(ge=3), 2, ("greater_than_equal", ">= 3", "2")),
        (M(gt=3), 3, ("greater_than", "> 3", "3")),
        (M(le=3), 3, None),
        (M(le=3), 4, ("less_than_equal", "<= 3", "4")),
        (M(lt=3), 3, ("less_than", "< 3", "3")),
        (M(ge="a"), 1, ("greater_than_equal", ">= 'a'", "1")),
        (M(min_length=2), [1], ("too_short", "length >= 2", "[1]")),
        (M(min_length=2), 5, ("too_short", "length >= 2", "5")),
        (M(max_length=1), [1, 2], ("too_long", "length <= 1", "[1, 2]")),
        (M(max_length=1), [1], None),
        (M(multiple_of=3), 9, None),
        (M(multiple_of=3), 10, ("multiple_of", "a multiple of 3", "10")),
        (M(multiple_of=2.5), 7.5, None),
        (M(multiple_of=0.5), 2, ("multiple_of", "a multiple of 0.5", "2")),
        (lambda v: 0, 1, ("predicate_failed", "a passing predicate", "1")),
        (lambda v: "", 1, ("predicate_failed", "a passing predicate", "1")),
        (lambda v: None, 1, ("predicate_failed", "a passing predicate", "1")),
        (lambda v: [0], 1, None),
        (
            lambda v: (_ for _ in ()).throw(ValueError("bad")),
            1,
            ("predicate_error", "a predicate that does not raise (raised ValueError: bad)", "1"),
        ),
        (M(pattern="a|ab"), "ab", None),
        (M(pattern="a"), "ab", ("string_pattern_mismatch", 'a string matching "a"', "'ab'")),
        (M(pattern=""), "", None),
        (M(pattern=""), "x", ("string_pattern_mismatch", 'a string matching ""', "'x'")),
        (M(pattern="a"), 1, ("string_pattern_mismatch", 'a string matching "a"', "1")),
        (M(pattern=".*"), "\ud800", ("string_pattern_mismatch", 'a string matching ".*"', "'\\ud800'")),
        (M(pattern='"\\d'), '"1', None),
        (M(pattern='"\\d'), "x", ("string_pattern_mismatch", 'a string matching "\\"\\\\d"', "'x'")),
        (M(pattern="é+"), "éé", None),
    ],
)
def test_single_constraint(meta, value, expected):
    member, found = check(Annotated[object, meta], value)
    assert found == ([] if expected is None else [expected])


def test_predicate_error_names_the_qualified_type_and_handles_a_raising_str():
    class Outer:
        class Boom(Exception):
            pass

    class BadStr(Exception):
        def __str__(self):
            raise RuntimeError

    def raise_(exc):
        def pred(v):
            raise exc

        return pred

    _, found = check(Annotated[int, raise_(Outer.Boom("x"))], 1)
    qual = Outer.Boom.__qualname__
    assert found == [("predicate_error", f"a predicate that does not raise (raised {qual}: x)", "1")]
    _, found = check(Annotated[int, raise_(BadStr())], 1)
    assert found[0][1] == (
        "a predicate that does not raise (raised "
        f"{BadStr.__qualname__}: <exception str() failed>)"
    )


def test_constraints_follow_the_base_and_each_other():
    spec = Annotated[int, M(ge=0), M(lt=10), M(multiple_of=2)]
    assert check(spec, "x") == (False, [("int_type", "int", "'x'")])
    assert check(spec, 4) == (True, [])
    assert check(spec, -3)[1] == [
        ("greater_than_equal", ">= 0", "-3"),
        ("multiple_of", "a multiple of 2", "-3"),
    ]


@pytest.mark.filterwarnings("ignore::DeprecationWarning")
def test_multiple_of_calls_only_the_values_own_mod():
    class Div:
        def __rmod__(self, other):
            return 0

    class Rem:
        def __mod__(self, other):
            return 0

    assert check(Annotated[object, M(multiple_of=Div())], 4)[0] is False
    assert check(Annotated[object, M(multiple_of=5)], Rem())[0] is True


@pytest.mark.parametrize("exc", [KeyboardInterrupt(), MemoryError(), RecursionError()])
def test_fatal_exception_in_a_comparison_propagates(exc):
    class Ge:
        def __ge__(self, other):
            raise exc

        def __len__(self):
            raise exc

        def __mod__(self, other):
            raise exc

    for meta in (M(ge=1), M(min_length=1), M(multiple_of=2)):
        v = Validator(Annotated[object, meta])
        for call in (v.validate, v.is_valid):
            with pytest.raises(BaseException) as info:
                call(Ge())
            assert info.value is exc


@pytest.mark.parametrize("exc", [KeyboardInterrupt(), MemoryError()])
def test_fatal_exception_from_the_str_of_a_predicate_error_propagates(exc):
    # Only the record's text calls str(), so CheckOnly never meets it.
    class LoudStr(Exception):
        def __str__(self):
            raise exc

    def pred(v):
        raise LoudStr

    v = Validator(Annotated[int, pred])
    with pytest.raises(BaseException) as info:
        v.validate(1)
    assert info.value is exc
    assert v.is_valid(1) is False


def test_same_pattern_answers_with_and_without_the_plan():
    spec = Annotated[str, M(pattern="[a-c]+")]
    assert check(list[spec], ["abc", "d"]) == (
        False,
        [("string_pattern_mismatch", 'a string matching "[a-c]+"', "'d'")],
    )
    # a fresh copy builds its own plan; the reasoning oracle walks without one
    v = Validator(spec)
    assert v.__copy__().is_valid("cab") is True
    assert Validator(Annotated[str, M(pattern="[a-c]+")] | int).is_valid("abd") is False
    # the reasoning oracle tests literals by a walk with an empty plan
    assert Validator(Literal["ab"]).is_subtype_of(Annotated[str, M(pattern="a.")]) is True
    assert Validator(Literal["ab"]).is_subtype_of(Annotated[str, M(pattern="x.")]) is False
    assert Validator(Literal[5]).is_subtype_of(Annotated[int, M(ge=3)]) is True
