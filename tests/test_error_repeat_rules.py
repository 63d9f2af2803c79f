"""A failure is listed once: two records are one failure only when their path, code,
expected text and got text all agree. Each pair below differs in exactly one of them
(both kept) or in none (one kept), on validate and validate_json, with and without
fail_fast, alone and after more failures than a list searches record by record."""

import json
from typing import Annotated

import pytest

from tarmelix import ValidationError, Validator, intersection


class M:
    def __init__(self, **attributes):
        self.__dict__.update(attributes)


class Same:
    """Every instance shown alike."""

    def __repr__(self):
        return "Same()"


# A class of the user's named as the built-in kind: its record reads as int's but
# for the code.
NamedInt = type("int", (), {})
KEY_1 = (("1",), "string_type", "str", "1")

# id: spec, value, whether it is a JSON document's too, the records. Under fail_fast
# the first failing element's records are kept: for a dict entry, its key's and its
# value's.
PAIRS = {
    "got differs": (dict[str, int], {1: "x", "1": "y"}, False,
                    [KEY_1, (("1",), "int_type", "int", "'x'"), (("1",), "int_type", "int", "'y'")]),
    "code differs": (intersection(int, NamedInt), "x", True,
                     [((), "int_type", "int", "'x'"), ((), "instance_type", "int", "'x'")]),
    "expected differs": (intersection(Annotated[int, M(ge=5)], Annotated[int, M(ge=6)]), 1, True,
                         [((), "greater_than_equal", ">= 5", "1"), ((), "greater_than_equal", ">= 6", "1")]),
    "path differs": (list[int], ["x", "x"], True,
                     [((0,), "int_type", "int", "'x'"), ((1,), "int_type", "int", "'x'")]),
    "none: one value down two routes": (intersection(list[int], list[Annotated[int, "note"]]), ["x"], True,
                                        [((0,), "int_type", "int", "'x'")]),
    "none: a field declared twice": ({"a": int, "a?": int}, {"a": "x"}, True,
                                     [(("a",), "int_type", "int", "'x'")]),
    "none: two values shown alike": (dict[str, int], {1: Same(), "1": Same()}, False,
                                     [KEY_1, (("1",), "int_type", "int", "Same()")]),
    "none: got texts alike up to the cut": (dict[str, int], {1: "x" * 90 + "a", "1": "x" * 90 + "b"}, False,
                                            [KEY_1, (("1",), "int_type", "int", "'" + "x" * 79 + "...")]),
}
PADDING = 10  # failures before the pair: past the records searched one by one


def records(v, value, as_json, fail_fast):
    try:
        if as_json:
            v.validate_json(json.dumps(value), fail_fast=fail_fast)
        else:
            v.validate(value, fail_fast=fail_fast)
    except ValidationError as e:
        return [(r["path"], r["code"], r["expected"], r["value"]) for r in e.errors]
    return []


ROADS = [pytest.param(pair, as_json, id=f"{name}-{'validate_json' if as_json else 'validate'}")
         for name, pair in PAIRS.items() for as_json in (False, True) if pair[2] or not as_json]


@pytest.mark.parametrize("padded", [False, True], ids=["alone", "after other failures"])
@pytest.mark.parametrize("pair, as_json", ROADS)
def test_records_differing_in_one_part_are_all_kept(pair, as_json, padded):
    spec, value, _, expected = pair
    first = 2 if expected[0] == KEY_1 else 1
    if padded:
        spec = {"pad": list[int], "v": spec}
        value = {"pad": ["p"] * PADDING, "v": value}
        expected = ([(("pad", i), "int_type", "int", "'p'") for i in range(PADDING)]
                    + [(("v",) + path, *rest) for path, *rest in expected])
        first = 1
    v = Validator(spec)
    assert records(v, value, as_json, fail_fast=False) == expected
    assert records(v, value, as_json, fail_fast=True) == expected[:first]
