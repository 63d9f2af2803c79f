"""A MemoryError met on the way is raised, never turned into another answer."""

from typing import Literal

import pytest

testcapi = pytest.importorskip("_testcapi")

from tarmelix import Validator  # noqa: E402

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
