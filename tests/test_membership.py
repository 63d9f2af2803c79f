from typing import Annotated

import pytest

from tarmelix import _tarmelix as m

V = m.Validator


def test_ensure_returns_the_very_object():
    value = [1, 2]
    assert V(list[int]).ensure(value) is value


@pytest.mark.parametrize(
    "call",
    [
        lambda v: v.validate([1]),
        lambda v: v.validate([1], fail_fast=True),
        lambda v: v.validate_json("[1]"),
        lambda v: v.validate_json(b"[1]", fail_fast=False),
    ],
)
def test_raising_checks_return_none(call):
    assert call(V(list[int])) is None


def test_load_returns_the_parsed_document():
    assert V(dict[str, list[int]]).load('{"a": [1, 2]}') == {"a": [1, 2]}


@pytest.mark.parametrize(
    "call",
    [
        lambda v: v.validate(["x", "y"]),
        lambda v: v.ensure(["x", "y"]),
        lambda v: v.load('["x", "y"]'),
        lambda v: v.validate_json('["x", "y"]'),
    ],
)
def test_non_members_raise_validation_error(call):
    with pytest.raises(m.ValidationError):
        call(V(list[int]))


@pytest.mark.parametrize(
    "call",
    [lambda v, **kw: v.validate(["x", "y"], **kw), lambda v, **kw: v.load('["x", "y"]', **kw)],
)
def test_fail_fast_stops_at_the_first_failure(call):
    v = V(list[int])
    with pytest.raises(m.ValidationError) as every:
        call(v)
    with pytest.raises(m.ValidationError) as first:
        call(v, fail_fast=True)
    assert len(every.value.errors) == 2
    assert len(first.value.errors) == 1


def test_load_rejects_non_text_input():
    with pytest.raises(TypeError, match="^JSON input must be a str or bytes object$"):
        m.anything.load(5)


def raising_value_error(_value):
    raise ValueError


def interrupting(_value):
    raise KeyboardInterrupt


@pytest.mark.parametrize("value", [0, 1, "1", None, [1], {"a": 1}, True, 1.5])
@pytest.mark.parametrize("spec", [int, str | None, list[int], Annotated[int, raising_value_error]])
def test_in_agrees_with_is_valid(spec, value):
    v = V(spec)
    assert (value in v) is v.is_valid(value)


def test_fatal_exceptions_propagate_from_both_checks():
    v = V(Annotated[int, interrupting])
    with pytest.raises(KeyboardInterrupt):
        v.is_valid(1)
    with pytest.raises(KeyboardInterrupt):
        1 in v


@pytest.mark.parametrize(
    "data, answer", [("[1, 2]", True), (b"[1]", True), ('["a"]', False), ("[1", False), (5, False)]
)
def test_is_valid_json(data, answer):
    assert V(list[int]).is_valid_json(data) is answer
