"""A MemoryError met on the way is raised, never turned into another answer
or an internal fault."""

import functools
import gc
from typing import Annotated, Literal, TypedDict, Union

import pytest

testcapi = pytest.importorskip("_testcapi")

from tarmelix import ValidationError, Validator  # noqa: E402

NON_ASCII = "\u00e9t\u00e9"


def without_memory(call):
    """Runs `call` with every allocation of the interpreter failing."""
    result = error = None
    testcapi.set_nomemory(0)
    try:
        result = call()
    except BaseException as exc:  # noqa: BLE001 - the kind is what is checked
        error = exc
    finally:
        testcapi.remove_mem_hooks()
    return result, error


# Each case is built beforehand; the call is the first use, so nothing it
# needs is cached yet, and what it builds then must hold for later calls.
@pytest.mark.parametrize(
    "make, call, answer",
    [
        # field names hashed for the walk plan (a lost hash missed every key)
        (lambda: Validator({"name": int, "other": str}),
         lambda v: v.is_valid({"name": 1, "other": "x"}), True),
        # the UTF-8 form of a str literal, read into the walk plan's sets (a
        # lost one was refused for good) and compared in place with JSON text
        (lambda: Validator(Literal[NON_ASCII * 5]),
         lambda v: v.is_valid_json('"' + "\\u00e9t\\u00e9" * 5 + '"'), True),
    ],
)
def test_answer_or_memory_error(make, call, answer):
    subject = make()
    result, error = without_memory(lambda: call(subject))
    if error is not None:
        assert type(error) is MemoryError, error
    else:
        assert result == answer
    assert call(subject) == answer


def fail_one_allocation(n, call, *args):
    """`call(*args)` with only the interpreter's n-th allocation from now failing
    (none when n is None).

    `call` must be a C callable: the window opens and closes around that one
    call, so no Python frame (whose own allocations the interpreter does not
    always survive failing) runs inside it.
    """
    result = error = None
    # A collection the interpreter runs inside the window (one the call left
    # due) would meet the failure instead of the call.
    collecting = gc.isenabled()
    gc.disable()
    if n is not None:
        testcapi.set_nomemory(n, n + 1)
    try:
        result = call(*args)
    except BaseException as exc:  # noqa: BLE001 - the kind is what is checked
        error = exc
    finally:
        testcapi.remove_mem_hooks()
        if collecting:
            gc.enable()
    return result, error


def settled(result, error):
    """What must not change when an allocation fails: the answer, or which
    records a ValidationError holds (a preview may fall back to a fixed text)."""
    if isinstance(error, ValidationError):
        return "invalid", [(e["code"], e["path"]) for e in error.errors]
    if error is not None:
        return type(error)
    return "ok", result


RECORD = Validator({"name": int, "other?": str})
SET = Validator(set[int])
UNION = Validator(list[int] | None)
JSON_RECORD = Validator({"a": int, "b": [str, ...]})


# Only built-in values and types, so each walk runs none of the interpreter's
# Python code.
@pytest.mark.parametrize(
    "call, args",
    [
        pytest.param(RECORD.validate, ({"name": "bad", "zz": 3},), id="record-field-names"),
        pytest.param(functools.partial(RECORD.validate, fail_fast=True), ({"name": "bad"},),
                     id="record-fail-fast"),
        pytest.param(SET.validate, ({1, "a"},), id="set-iterator"),
        pytest.param(SET.is_valid, ({1, 2},), id="set-iterator-check-only"),
        pytest.param(repr, (UNION,), id="repr-text"),
        pytest.param(JSON_RECORD.validate_json, ('{"a": 1, "b": ["x", 3]}',), id="json"),
        pytest.param(JSON_RECORD.is_valid_json, ('{"a": 1, "b": ["x"]}',), id="json-in-place"),
    ],
)
def test_a_failed_allocation_is_a_memory_error(call, args):
    normal = settled(*fail_one_allocation(None, call, *args))
    for n in range(200):
        result, error = fail_one_allocation(n, call, *args)
        if not isinstance(error, MemoryError):
            assert settled(result, error) == normal, (n, result, error)
    # past the call's last allocation: the window covered all of them
    assert settled(*fail_one_allocation(199, call, *args)) == normal


class Meta:
    def __init__(self, **attributes):
        self.__dict__.update(attributes)


def fresh(text):
    """An equal str whose UTF-8 form is not made yet: reading it allocates."""
    return "".join(list(text))


class TagA(TypedDict):
    été: Literal["a"]
    x: int


class TagB(TypedDict):
    été: Literal["b"]
    y: str


# A text that could not be read for want of memory is no text that matches
# nothing: a declared key is not undeclared, a tag not missing, a string not
# unmatched.
@pytest.mark.parametrize("v, make", [
    pytest.param(Validator({NON_ASCII: int}), lambda: {fresh(NON_ASCII): 1}, id="declared-key"),
    pytest.param(Validator(list[Union[TagA, TagB]]), lambda: [{fresh(NON_ASCII): "a", "x": 1}],
                 id="tag-key"),
    pytest.param(Validator(Annotated[str, Meta(pattern="\u00e9+")]), lambda: fresh("\u00e9\u00e9"),
                 id="pattern"),
])
@pytest.mark.parametrize("method", ["is_valid", "validate"])
def test_a_text_without_memory_is_a_memory_error(v, make, method):
    call = getattr(v, method)
    call(make())
    for n in range(40):
        result, error = fail_one_allocation(n, call, make())
        assert (error is None and result in (True, None)) or type(error) is MemoryError, \
            (n, result, error)


def test_a_pattern_without_memory_fails_construction():
    for n in range(400):
        result, error = fail_one_allocation(
            n, Validator, Annotated[str, Meta(pattern=fresh("\u00e9+"))])
        if error is None:
            assert not result.is_valid("x"), n
        else:
            assert type(error) is MemoryError, (n, error)
