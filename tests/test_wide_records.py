"""Records of about as many required fields as a machine word has bits, and more:
each required field is counted by itself, on the Python and the JSON road, in any
key order."""

import json
from typing import TypedDict

import pytest

from tarmelix import Validator


@pytest.mark.parametrize("count", [63, 64, 65, 66, 129])
def test_every_required_field_of_a_wide_record_counts(count):
    names = [f"f{i}" for i in range(count)]
    v = Validator(TypedDict("Wide", {n: int for n in names}))
    full = {n: 1 for n in names}
    cases = [(full, True), (dict(reversed(full.items())), True)]
    for missing in {0, 63, 64, count - 1} & set(range(count)):
        cases.append(({n: 1 for i, n in enumerate(names) if i != missing}, False))
    for value, member in cases:
        assert v.is_valid(value) is member
        assert v.is_valid_json(json.dumps(value)) is member
