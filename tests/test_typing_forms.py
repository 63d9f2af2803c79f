"""Typing forms (list, set, dict, tuple, unions, Literal, Callable) and list literals."""

import collections.abc
import typing
from typing import Callable, Literal, NotRequired, Optional, Required, Union

import pytest

from tarmelix import Validator

ONE_ARGUMENT = "expected exactly one type argument"
TUPLE_ELLIPSIS = "`...` may appear only as the last element of a tuple schema"
LIST_ELLIPSIS = "`...` may appear only as the last element of a list schema"


@pytest.mark.parametrize(
    "spec, text",
    [
        (list[int], "list[int]"),
        (set[str], "set[str]"),
        (frozenset[bytes], "frozenset[bytes]"),
        (dict[str, list[int]], "dict[str, list[int]]"),
        (tuple[int, ...], "tuple[int, ...]"),
        (tuple[int, str], "tuple[int, str]"),
        (tuple[int, str, ...], "tuple[int, str, ...]"),
        (tuple[int, str, bytes, ...], "tuple[int, str, bytes, ...]"),
        (Optional[int], "int | None"),
        (Union[str, int], "str | int"),
        (Union[int, list[int]], "int | list[int]"),
        (Literal[1, "a", None], "Literal[1] | Literal['a'] | None"),
        (Literal[int], "int"),
        (Required[int], "int"),
        (NotRequired[list[int]], "list[int]"),
        (Callable[[int], str], "Callable"),
        (collections.abc.Callable, "Callable"),
        ([], "[]"),
        ([int, str], "[int, str]"),
        ([int, str, ...], "[int, str, ...]"),
    ],
)
def test_forms(spec, text):
    assert repr(Validator(spec)) == text


@pytest.mark.parametrize(
    "spec, same_as",
    [
        ([int], list[int]),
        ([int, ...], list[int]),
        (Callable, Callable[[int], str]),
        (Required[dict[int, str]], {int: str}),
        (int | str, Union[int, str]),
    ],
)
def test_equivalent_spellings(spec, same_as):
    assert Validator(spec) == Validator(same_as)


@pytest.mark.parametrize(
    "spec, other",
    [
        (tuple[int, ...], list[int]),  # the sequence kind is kept
        (tuple[int], tuple[int, ...]),
        ([int, str], tuple[int, str]),
        (tuple[()], []),
        (Literal[1], 1),  # one-member union stays a union
        (Optional[int], Union[None, int]),  # member order is kept
        (Literal[None], None),
        (Literal[int], int),
    ],
)
def test_distinct_forms(spec, other):
    assert Validator(spec) != Validator(other)


@pytest.mark.parametrize(
    "spec, message",
    [
        (list[int, str], ONE_ARGUMENT),
        (set[int, str], ONE_ARGUMENT),
        (frozenset[int, str], ONE_ARGUMENT),
        (dict[str], "dict[...] needs a key type and a value type"),
        (dict[str, int, bytes], "dict[...] needs a key type and a value type"),
        (tuple[...], TUPLE_ELLIPSIS),
        (tuple[..., int], TUPLE_ELLIPSIS),
        (tuple[int, ..., ...], TUPLE_ELLIPSIS),
        ([...], LIST_ELLIPSIS),
        ([int, ..., str], LIST_ELLIPSIS),
        ([..., ...], LIST_ELLIPSIS),
        (type[int], "unsupported typing form with origin <class 'type'>; supported: list, set, "
         "dict, tuple, Union, Optional, Literal, Callable"),
        (typing.ClassVar[int], "unsupported typing form with origin typing.ClassVar; supported: "
         "list, set, dict, tuple, Union, Optional, Literal, Callable"),
        (list[[(1, 2)]], "a tuple literal is not a schema; write a fixed-length tuple as tuple[A, B] "
         "(the list literal [A, B] is the fixed-length list)"),
    ],
)
def test_rejections(spec, message):
    with pytest.raises(NotImplementedError) as info:
        Validator(spec)
    assert info.value.args == (message,)


class Boom(Exception):
    pass


class Exploding:
    """A spec whose first probe raises."""

    @property
    def __metadata__(self):
        raise Boom


@pytest.mark.parametrize(
    "spec",
    [
        tuple[Exploding(), ..., int],  # the failing item is before the misplaced `...`
        dict[Exploding(), ...],  # the key fails before the value is looked at
        [Exploding(), ..., int],
        Literal[1, Exploding()],
    ],
)
def test_first_failing_position_decides(spec):
    with pytest.raises(Boom):
        Validator(spec)


def test_list_literal_shortened_while_built():
    class Shrink:
        def __init__(self, target):
            self.target = target

        @property
        def __metadata__(self):
            del self.target[1:]
            raise AttributeError

    spec = [int, None, str]
    spec[1] = Shrink(spec)
    with pytest.raises(IndexError):
        Validator(spec)


def test_requiredness_wrappers_are_read_afresh(monkeypatch):
    spec = Required[int]
    monkeypatch.delattr(typing, "Required")
    with pytest.raises(NotImplementedError) as info:
        Validator(spec)
    assert info.value.args[0].startswith("unsupported typing form with origin typing.Required;")
    assert Validator(NotRequired[int]) == Validator(int)
