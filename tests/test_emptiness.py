from typing import Annotated, Any, Literal

import pytest

from reasoning_support import Meta
from tarmelix import _tarmelix as m

V = m.Validator


@pytest.mark.parametrize(
    "schema, empty",
    [
        (m.nothing, True),
        (m.anything, False),
        (m.complement(m.anything), True),
        (m.union(), True),
        (m.intersection(), False),
        (m.intersection(int, str), True),
        (m.intersection(int, float), True),
        (m.intersection(int, bool), False),
        (m.intersection(list[int], tuple[int, ...]), True),
        (m.intersection({"a": int}, None), True),
        (m.intersection(Literal[1], str), False),
        (m.intersection(list[int], m.complement(list[int])), True),
        (m.intersection(Any, m.complement(Any)), False),
        (Annotated[int, Meta(ge=5), Meta(le=3)], True),
        (Annotated[int, Meta(ge=3), Meta(le=3)], False),
        (Annotated[int, Meta(gt=3), Meta(le=3)], True),
        (Annotated[int, Meta(gt=1), Meta(lt=2)], True),
        (Annotated[float, Meta(gt=1), Meta(lt=2)], False),
        (Annotated[int, Meta(ge=1.5), Meta(le=1.9)], True),
        (Annotated[int, Meta(gt=1), Meta(lt=3)], False),
        (Annotated[str, Meta(min_length=5), Meta(max_length=3)], True),
        (Annotated[int, Meta(ge="a"), Meta(le=3)], False),
        (Annotated[float, Meta(ge=float("nan")), Meta(le=3)], False),
        (m.intersection(Annotated[int, Meta(gt=1)], Annotated[int, Meta(lt=2)]), True),
        (m.recursive(lambda x: {"next": x}), True),
        (m.recursive(lambda x: m.union(None, {"next": x})), False),
        (m.recursive(lambda x: {"next?": x}), False),
        ({"a?": m.nothing}, False),
        ({"a": int, "b": m.nothing}, True),
        (tuple[int, m.nothing], True),
        (list[m.nothing], False),
    ],
    ids=repr,
)
def test_is_empty(schema, empty):
    assert V(schema).is_empty() is empty


class Odd:
    """A bound whose every comparison and rounding hook raises."""

    def __init__(self, exc):
        self.exc = exc

    def _raise(self, *_):
        raise self.exc

    __eq__ = __lt__ = __gt__ = __le__ = __ge__ = __floor__ = __ceil__ = _raise
    __hash__ = object.__hash__


@pytest.mark.parametrize("exc", [ValueError, KeyboardInterrupt, MemoryError, SystemExit])
def test_raising_bounds_leave_emptiness_unproven(exc):
    v = V(Annotated[int, Meta(ge=Odd(exc)), Meta(le=3)])
    assert v.is_empty() is False
    assert V(Annotated[int, Meta(ge=3), Meta(le=Odd(exc))]).is_empty() is False
