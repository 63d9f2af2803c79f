"""Annotated metadata becoming constraints."""

from typing import Annotated

import pytest

from tarmelix import Validator

ZERO_DIVISOR = (
    "MultipleOf(0) is not a valid constraint: no value is a multiple of zero. "
    "Use a nonzero divisor."
)


class Meta:
    def __init__(self, **attributes):
        self.__dict__.update(attributes)


class RaisingAttributes:
    """Every listed attribute read raises, whatever the exception."""

    def __init__(self, exc, **attributes):
        self.exc = exc
        self.__dict__.update(attributes)

    def __getattr__(self, name):
        if name in ("pattern", "ge", "gt", "le", "lt", "min_length", "max_length", "multiple_of", "func"):
            raise self.exc
        raise AttributeError(name)


class RaisingEq:
    def __eq__(self, other):
        raise RuntimeError("no comparison")

    __hash__ = object.__hash__

    def __repr__(self):
        return "RaisingEq()"


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def text(*metadata, base=int):
    return repr(Validator(Annotated[(base, *metadata)]))


@pytest.mark.parametrize(
    "metadata, expected",
    [
        (("doc",), "int"),
        ((None,), "int"),
        ((3,), "int"),
        ((Meta(ge=0, le=10),), "Annotated[int, Ge(0), Le(10)]"),
        ((Meta(lt=5, gt=1, le=None, ge=None),), "Annotated[int, Gt(1), Lt(5)]"),
        ((Meta(ge="a"),), "Annotated[int, Ge('a')]"),  # bounds are not type-tested
        ((Meta(ge=0), Meta(le=9)), "Annotated[int, Ge(0), Le(9)]"),
        ((Meta(pattern=r"a\d", min_length=3),), 'Annotated[int, Regex("a\\\\d")]'),
        ((Meta(pattern=None, min_length=3),), "Annotated[int, MinLen(3)]"),
        ((Meta(pattern=7, ge=1),), "Annotated[int, Ge(1)]"),
        ((Meta(pattern="\ud800", max_length=2),), "Annotated[int, MaxLen(2)]"),
        ((Meta(min_length=-1),), "int"),
        ((Meta(min_length=2.0),), "int"),
        ((Meta(min_length=None),), "int"),
        ((Meta(min_length=2**64),), "int"),
        ((Meta(min_length=True),), "Annotated[int, MinLen(1)]"),
        ((Meta(min_length=Index(4)),), "Annotated[int, MinLen(4)]"),
        ((Meta(max_length=2**64 - 1),), "Annotated[int, MaxLen(18446744073709551615)]"),
        ((Meta(min_length=1, max_length=5, multiple_of=2),), "Annotated[int, MinLen(1), MaxLen(5), MultipleOf(2)]"),
        ((Meta(multiple_of=None),), "int"),
        ((Meta(multiple_of=RaisingEq()),), "Annotated[int, MultipleOf(RaisingEq())]"),
        ((Meta(ge=0, multiple_of=3, func=abs),), "Annotated[int, Ge(0), MultipleOf(3), Predicate(...)]"),
        ((abs,), "Annotated[int, Predicate(...)]"),
        ((str,), "Annotated[int, Predicate(...)]"),
        ((Meta(func="not callable"),), "int"),
    ],
)
def test_metadata_to_constraints(metadata, expected):
    assert text(*metadata) == expected


@pytest.mark.parametrize("exc", [KeyError("k"), MemoryError(), RecursionError(), AttributeError()])
def test_attribute_read_that_raises_counts_as_absent(exc):
    assert text(RaisingAttributes(exc)) == "int"
    assert text(RaisingAttributes(exc, ge=2)) == "Annotated[int, Ge(2)]"


def test_predicate_is_func_not_its_holder():
    def check(value):
        return True

    holder = Meta(func=check)
    assert Validator(Annotated[int, holder]) == Validator(Annotated[int, check])

    class CallableHolder:
        func = "not callable"

        def __call__(self, value):
            return True

    callable_holder = CallableHolder()
    assert Validator(Annotated[int, callable_holder]) != Validator(Annotated[int, check])
    assert Validator(Annotated[int, callable_holder]) == Validator(Annotated[int, callable_holder])


@pytest.mark.parametrize("zero", [0, 0.0, False])
def test_zero_divisor_is_refused(zero):
    with pytest.raises(ValueError) as info:
        Validator(Annotated[int, Meta(multiple_of=zero)])
    assert info.value.args == (ZERO_DIVISOR,)


def test_errors_stop_at_the_failing_metadata_object():
    class Unread:
        def __getattr__(self, name):
            raise AssertionError("read after the failure")

    with pytest.raises(ValueError):
        Validator(Annotated[int, Meta(multiple_of=0), Unread()])


@pytest.mark.parametrize(
    "pattern, quoted",
    [
        ("(", '"("'),
        (r"\d+(", r'"\\d+("'),
        ('a"(', r'"a\"("'),
        ("[z-a]", '"[z-a]"'),
        # valid only once wrapped, where it would no longer match the whole text
        ("a)|(b", '"a)|(b"'),
        ("a)|(?:", '"a)|(?:"'),
    ],
)
def test_invalid_pattern(pattern, quoted):
    with pytest.raises(ValueError) as info:
        Validator(Annotated[str, Meta(pattern=pattern)])
    message = info.value.args[0]
    prefix = f"invalid regular expression {quoted}: "
    assert message.startswith(prefix)
    assert len(message) > len(prefix)  # the library's own explanation follows


def test_pattern_over_the_program_size_cap_is_invalid():
    with pytest.raises(ValueError, match=r"^invalid regular expression "):
        Validator(Annotated[str, Meta(pattern="((a{100}){100}){100}")])


def test_origin_failure_wins_over_metadata():
    class Exploding:
        @property
        def __metadata__(self):
            raise LookupError

    with pytest.raises(LookupError):
        Validator(Annotated[list[Exploding()], Meta(multiple_of=0)])
