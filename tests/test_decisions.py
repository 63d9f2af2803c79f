from typing import Annotated, Literal

import pytest

from tarmelix import _tarmelix as m

V = m.Validator


def interrupting(_value):
    raise KeyboardInterrupt


def exhausting(_value):
    raise MemoryError


@pytest.mark.parametrize(
    "question, answer",
    [
        (lambda: m.anything.is_empty(), False),
        (lambda: m.nothing.is_empty(), True),
        (lambda: V(int).is_subtype_of(int | str), True),
        (lambda: V(int | str).is_subtype_of(int), False),
        (lambda: V(bool | int).is_equivalent(int), True),
        (lambda: V(int).is_equivalent(other=str), False),
        (lambda: V(Literal[5]).is_subtype_of(Annotated[int, interrupting]), False),
        (lambda: V(Literal[5]).is_subtype_of(Annotated[int, exhausting]), False),
    ],
)
def test_decisions(question, answer):
    assert question() is answer


@pytest.mark.parametrize(
    "make",
    [lambda: V(list[int]), lambda: V({"a": int, "b?": str}), lambda: m.recursive(lambda s: list[s] | None)],
)
def test_a_validator_relates_to_itself(make):
    v = make()
    assert v.is_subtype_of(v) is True
    assert v.is_equivalent(v) is True


@pytest.mark.parametrize("method", ["is_subtype_of", "is_equivalent"])
def test_rejected_operand_raises_the_frontend_error(method):
    with pytest.raises(NotImplementedError, match="a tuple literal is not a schema"):
        getattr(V(int), method)((int, str))


def test_simplify_keeps_the_whole_pool():
    simple = m.union(Literal[1], m.anything).simplify()
    assert repr(simple) == "anything"
    assert simple != m.anything


@pytest.mark.parametrize("method", ["open", "close", "simplify"])
def test_rewrites_leave_the_receiver_alone(method):
    v = V({"a": int | int})
    twin = V({"a": int | int})
    result = getattr(v, method)()
    assert type(result) is V
    assert result is not v
    assert v == twin
    assert repr(v) == repr(twin)
    assert v.is_valid({"a": 1}) and not v.is_valid({"a": 1, "b": 2})


def test_open_and_close_change_what_records_admit():
    v = V({"a": int})
    assert v.open().is_valid({"a": 1, "b": 2})
    assert not v.open().close().is_valid({"a": 1, "b": 2})


def test_opening_can_pass_the_size_limit():
    # Each record gains a catch-all clause of two nodes when opened.
    wide = m.union(*[{"a": int}] * 33333)
    with pytest.raises(ValueError, match="^schema is too large: this validator spans 133333 nodes"):
        wide.open()
    assert wide.close() == wide
