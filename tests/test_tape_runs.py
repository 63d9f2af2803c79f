"""JSON lists whose items the SIMD road steps over in runs of four (strings, bools and
null; numbers; int literals) answer as the walk of the loaded value does: whichever
item of a run is the odd one out, whatever a number's payload word looks like, and
for int literals at the edges of the 64-bit mask that holds them."""

import json
import struct
from typing import Literal

import pytest

from tarmelix import Validator

# Numbers whose payload word starts with a tape type byte ('l', 'd'), so a run that
# steps one word a number reads the payload as a value of that type.
INT_LIKE_TYPE_WORD = ord("l") << 56 | 1
FLOAT_LIKE_TYPE_WORD = struct.unpack(">d", bytes([ord("d"), 0, 0, 0, 0, 0, 0, 1]))[0]

RUNS = [
    # spec, an item it admits, an item it refuses
    (list[str], "a", 1),
    (list[str | None], None, True),
    (list[bool], False, "a"),
    (list[int], 1, "x"),
    (list[int], INT_LIKE_TYPE_WORD, "x"),
    (list[float], FLOAT_LIKE_TYPE_WORD, "x"),
    (list[int | float], 1.5, None),
    (list[Literal[1, 2]], 1, 7),
    (list[Literal[1, 2]], 2, 2**64 - 1),
    # the payload of 0.0 is the word of 0
    (list[Literal[0, 1]], 0, 0.0),
    (list[Literal[0, 1]], 1, True),
]


@pytest.mark.parametrize("spec, good, bad", RUNS, ids=lambda x: repr(x)[:24])
@pytest.mark.parametrize("n", [4, 5, 8, 9])
def test_one_odd_item_anywhere_in_a_run(spec, good, bad, n):
    v = Validator(spec)
    assert v.is_valid_json(json.dumps([good] * n)) is True
    for at in range(n):
        items = [good] * n
        items[at] = bad
        text = json.dumps(items)
        assert v.is_valid(json.loads(text)) is False
        assert v.is_valid_json(text) is False, (text, at)


@pytest.mark.parametrize("values", [(0, 64), (0, 63), (0, 1, 2), (-3, 60), (5,), (-2**63, 2**63 - 1)])
def test_int_literals_at_the_edges_of_their_mask(values):
    spec = Literal[values]
    one, many = Validator(spec), Validator(list[spec])
    probes = {v + d for v in values for d in (-65, -64, -1, 0, 1, 63, 64, 65)}
    for probe in sorted(p for p in probes if -2**63 <= p < 2**63):
        member = probe in values
        assert one.is_valid_json(str(probe)) is member, probe
        # alone, and as the last of a run of four and of the run after it
        for before in (0, 3, 7):
            assert many.is_valid_json(json.dumps([values[0]] * before + [probe])) is member, (probe, before)
