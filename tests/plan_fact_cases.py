"""Schemas whose plan decides values by type, literal set, native bound or tag, each
with values that mix kinds where a shortcut could slip (subclasses, bools among ints,
floats equal to ints, members of other enums, repeated JSON keys). Run as a script it
prints every answer as JSON, so an interpreter with TARMELIX_SLOW_PATHS=1 can be
compared with this one."""

import enum
import json
import sys
from typing import Annotated, Any, Literal, NotRequired, Optional, TypedDict, Union

from tarmelix import ValidationError, Validator


class M:
    """Annotated metadata carrying the given attributes."""

    def __init__(self, **attrs):
        self.__dict__.update(attrs)


class IntSub(int):
    pass


class StrSub(str):
    pass


class FloatSub(float):
    pass


class Color(enum.Enum):
    RED = 1
    GREEN = 2


class Shade(enum.Enum):
    RED = 1


class Level(enum.IntEnum):
    LOW = 1
    HIGH = 2


class Picky(enum.Enum):
    """Members that are not equal to themselves."""

    ONE = 1

    def __eq__(self, other):
        return False

    __hash__ = object.__hash__


class A(TypedDict):
    kind: Literal["a"]
    x: int


class B(TypedDict):
    kind: Literal["b", "bb"]
    y: str


class BX(TypedDict):
    kind: Literal["b"]
    x: int


class C(TypedDict):
    kind: Literal[3]
    z: Optional[int]


CALLS = []


def logged(v):
    CALLS.append(repr(v))
    return True


class Logged(TypedDict):
    kind: Literal["a"]
    x: Annotated[int, logged]


class Bounded(TypedDict):
    s: Annotated[str, M(min_length=2, max_length=4)]
    i: Annotated[int, M(ge=0, le=2**53)]
    f: Annotated[float, M(gt=0.5, lt=2**70)]


class D(TypedDict):
    w: int
    kind: Literal["d"]


class Holder(TypedDict):
    shape: Union[A, B, D]


class Edges(TypedDict):
    a: Annotated[int, M(gt=5, lt=9)]
    b: Annotated[float, M(ge=1, le=3)]
    c: Annotated[float, M(ge=0.5), M(gt=0.5), M(lt=2**53)]
    d: Annotated[str, M(min_length=2, max_length=2)]
    e: Annotated[int, M(gt=2**63 - 1)] | None
    f: NotRequired[Annotated[str, M(min_length=2, max_length=8)]]
    # A bound no double holds exactly.
    g: NotRequired[Annotated[float, M(lt=2**53 + 1)]]


class Tags(TypedDict):
    name: str
    tags: list[Literal["a", "abcd", "x"]]
    wide: list[Literal["abcdefghijklmn", "abcdefghijklmo", "a" * 30]]
    ints: list[int]
    # The fifth byte past the word a text of four fits in.
    five: NotRequired[list[Literal["abcde", "b"]]]


class ListOr(TypedDict):
    a: Optional[list[int]]
    b: Union[None, str, list[Literal["a", "b"]]]
    c: Union[list[int], list[str], None]
    d: NotRequired[Union[list[int], Any]]  # a member beside the list takes arrays too


class Names(TypedDict):
    name: int
    thirteen_byte: NotRequired[int]
    a_long_field_name: int
    a_field_name_longer_than_the_key_pattern_holds: int


I, S, F = IntSub(1), StrSub("a"), FloatSub(1.0)

CASES = {
    "optional_int": (list[Optional[int]],
                     [[1, None, True], [1, 1.0], [I, None], [None, "1"], [2**70, -2**70]],
                     ["[1, null, true]", "[1, 1.0]", "[null, \"1\"]", "[1e400]", "[18446744073709551615]"]),
    "int_or_str": (list[int | str], [[1, "a"], [1, b"a"], [S, I], [1.5, "a"], [True, ""]],
                   ["[1, \"a\"]", "[1.5]", "[true, \"\"]"]),
    "floats": (list[float], [[1.0, 2.5], [1, 2.0], [F], [True]], ["[1.0, 2.5]", "[1, 2.0]", "[true]"]),
    "int_tuple": (tuple[int, str | None], [(1, None), (1, "a"), (True, S), (1.0, None), [1, None]],
                  ["[1, null]"]),
    "float_set": (set[float | None], [{1.5, None}, {1.5, 1}, {F}, frozenset([1.5])], []),
    "int_frozenset": (frozenset[int | str], [frozenset([1, "a"]), frozenset([1.0]), {1}], []),
    "dict_values": (dict[str, int | None],
                    [{"a": 1, "b": None}, {"a": 1.5}, {S: 1}, {1: 1}, {"a": I}],
                    ["{\"a\": 1, \"b\": null}", "{\"a\": 1.5}", "{\"a\": 1.5, \"a\": 1}",
                     "{\"a\": 1, \"a\": 1.5}", "{}"]),
    "int_literals": (list[Literal[1, 2, "x"]], [[1, 2, "x"], [True], [1.0], [I], [S], [3], ["y"]],
                     ["[1, 2, \"x\"]", "[true]", "[1.0]", "[3]", "[\"y\"]"]),
    "enum_instances": (list[Color], [[Color.RED, Color.GREEN], [Shade.RED], [1], [Level.LOW]], []),
    "enum_literals": (list[Literal[Color.RED, Level.LOW, Picky.ONE]],
                      [[Color.RED, Level.LOW], [Level.HIGH], [Shade.RED], [1], [Picky.ONE]], []),
    "tagged": (list[Union[A, B, C]],
               [[{"kind": "a", "x": 1}, {"kind": "bb", "y": "q"}, {"kind": 3, "z": None}],
                [{"kind": "a", "y": "q"}], [{"kind": "c"}], [{"x": 1}], [{"kind": S, "x": 1}],
                [{"kind": True, "z": 1}], [{"kind": 3.0, "z": 1}], [{S: "a", "x": 1}],
                [{"kind": "b", "y": "q", S: "a"}], [5], [{"kind": I, "z": 1}]],
               ["[{\"kind\": \"a\", \"x\": 1}, {\"kind\": \"bb\", \"y\": \"q\"}, {\"kind\": 3, \"z\": null}]",
                "[{\"kind\": \"a\", \"y\": \"q\"}]", "[{\"kind\": \"a\", \"kind\": \"b\", \"y\": \"q\"}]",
                "[{\"kind\": \"b\", \"y\": \"q\", \"kind\": \"a\"}]", "[{\"x\": 1, \"kind\": \"a\"}]",
                "[{\"kind\": 3.0, \"z\": 1}]", "[{\"kind\": true, \"z\": 1}]", "[{}]", "[[]]"]),
    "tagged_with_code": (list[Union[Logged, BX]],
                         [[{"kind": "b", "x": 1}], [{"x": 1, "kind": "b"}], [{"x": 1, "kind": "a"}]],
                         ["[{\"x\": 1, \"kind\": \"b\"}]"]),
    "bounds": (list[Bounded],
               [[{"s": "ab", "i": 0, "f": 0.75}], [{"s": "h\u00e9\U0001F600", "i": 2**53, "f": 2.0**69}],
                [{"s": "a", "i": -1, "f": 0.5}], [{"s": "abcde", "i": 2**53 + 1, "f": 2.0**70}],
                [{"s": "ab", "i": True, "f": 1}], [{"s": "ab", "i": I, "f": F}],
                [{"s": S * 2, "i": 1, "f": 1.0}], [{"s": "ab", "i": 1.0, "f": float("nan")}]],
               ["[{\"s\": \"ab\", \"i\": 0, \"f\": 0.75}]", "[{\"s\": \"\\u00e9\\ud83d\\ude00\", \"i\": 9007199254740992, \"f\": 0.5000001}]",
                "[{\"s\": \"a\", \"i\": -1, \"f\": 0.5}]", "[{\"s\": \"abcde\", \"i\": 9007199254740993, \"f\": 1180591620717411303424.0}]",
                "[{\"s\": \"ab\", \"i\": true, \"f\": 1}]", "[{\"s\": \"ab\", \"i\": 18446744073709551615, \"f\": 1.0}]",
                "[{\"s\": \"ab\", \"i\": 1, \"f\": 1.0, \"i\": -5}]"]),
    "big_and_float_bounds": (list[Annotated[int, M(ge=2**70)] | Annotated[int, M(lt=-2**70)] | Annotated[float, M(ge=1)]],
                             [[2**71, -2**71, 1.0], [2**63, -2**63], [1], [0.5], [True]],
                             ["[1.0, 2.5]", "[9223372036854775807]", "[18446744073709551615]",
                              "[1180591620717411303424]", "[-1180591620717411303425]"]),
    "int_against_float_bound": (list[Annotated[int, M(gt=9007199254740992.0)]],
                                [[9007199254740993], [9007199254740992], [2**64]],
                                ["[9007199254740993]", "[9007199254740992]"]),
    "by_kind": (list[Union[None, list[int], A, Literal["x", 2], Annotated[str, logged], tuple[int]]],
                [[None, [1], {"kind": "a", "x": 1}, "x", 2, "y", (1,)], [3], [[1.5]], [{"kind": "b"}]],
                ["[null, [1], {\"kind\": \"a\", \"x\": 1}, \"x\", 2, \"y\"]", "[3]", "[[1.5]]",
                 "[{\"kind\": \"b\"}]", "[true]", "[1.5]"]),
    "tag_first": (list[Union[A, B, D]] | Holder,
                  [[{"kind": "d", "w": 1}], {"shape": {"kind": "a", "x": 1}}],
                  ["[{\"kind\": \"a\", \"x\": 1}, {\"kind\": \"bb\", \"y\": \"q\"}]",
                   "[{\"kind\": \"a\"}]", "[{\"kind\": \"a\", \"x\": 1, \"z\": 1}]",
                   "[{\"kind\": \"a\", \"x\": 1, \"x\": \"no\"}]",
                   "[{\"kind\": \"a\", \"x\": \"no\", \"x\": 1}]",
                   "[{\"kind\": \"\\u0061\", \"x\": 1}]", "[{\"kind\": \"ab\", \"x\": 1}]",
                   "[{\"kind\": \"d\", \"w\": 1}]", "[{\"w\": 1, \"kind\": \"d\"}]",
                   "[{\"kind\": \"b\", \"y\": 1}]", "[{\"kind\": null, \"x\": 1}]",
                   "{\"shape\": {\"kind\": \"bb\", \"y\": \"q\"}}",
                   "{\"shape\": {\"kind\": \"a\", \"kind\": \"bb\", \"y\": \"q\"}}",
                   "{\"shape\": {\"kind\": \"bb\", \"y\": \"q\", \"kind\": \"d\", \"w\": 1}}"]),
    "range_edges": (list[Edges],
                    [[{"a": 6, "b": 1, "c": 0.75, "d": "ab", "e": None}],
                     [{"a": 6, "b": 1.0, "c": 0.75, "d": "ab", "e": None}]],
                    [json.dumps([{"a": a, "b": b, "c": c, "d": d, "e": e}])
                     for a, b, c, d, e in [
                         (6, 1.0, 0.75, "ab", None), (5, 1.0, 0.75, "ab", None),
                         (9, 3.0, 0.75, "ab", None), (8, 0.999, 0.75, "ab", None),
                         (6, 3.0000001, 0.75, "ab", None), (6, 2.0, 0.5, "ab", None),
                         (6, 2.0, 9007199254740992.0, "ab", None), (6, 2.0, 9007199254740994.0, "ab", None),
                         (6, 2.0, 0.75, "\u00e9", None), (6, 2.0, 0.75, "\u00e9\u00e9", None),
                         (6, 2.0, 0.75, "a\U0001F600", None), (6, 2.0, 0.75, "abc", None),
                         (6, 2.0, 0.75, "", None), (6, 2.0, 0.75, "ab", 2**63 - 1),
                         (6, 2.0, 0.75, "ab", 2**63), (True, 2.0, 0.75, "ab", None),
                         (6, 2, 0.75, "ab", None)]]
                    + ["[{\"a\": 6, \"b\": 2.0, \"c\": 1.0, \"d\": \"ab\", \"e\": null, \"f\": %s}]" % f
                       for f in ["\"\\ud83d\\ude00\"", "\"\\u00e9\\u00e9\"", "\"abcdefgh\"",
                                 "\"abcdefghi\"", "\"\\u00e9abcdefg\""]]
                    + ["[{\"a\": 6, \"b\": 2.0, \"c\": 1.0, \"d\": \"ab\", \"e\": null, \"g\": %s}]" % g
                       for g in ["9007199254740992.0", "9007199254740994.0"]]),
    "item_ranges": (list[Annotated[Union[int, float], M(gt=float("nan"))] | Annotated[str, M(gt=0)]
                         | Annotated[int, M(ge=-2**63, lt=-2**63 + 2)]],
                    [[1.5], ["a"], [-2**63]],
                    ["[1.5]", "[1]", "[\"a\"]", "[-9223372036854775808]", "[-9223372036854775807]",
                     "[-9223372036854775806]"]),
    "text_sets": (list[Tags],
                  [[{"name": "n", "tags": ["a", "x"], "wide": ["a" * 30], "ints": [1]}]],
                  [json.dumps([{"name": "n", "tags": t, "wide": w, "ints": i}])
                   for t, w, i in [
                       (["a", "abcd", "x"], ["abcdefghijklmn", "abcdefghijklmo", "a" * 30], [1, 2]),
                       (["ab"], [], []), ([""], [], []), (["abc"], [], []), (["abcde"], [], []),
                       (["abce"], [], []), (["a\u0000"], [], []), (["\u0061"], [], []),
                       (["\u00e9"], [], []), ([1], [], []), ([True], [], []), ([["a"]], [], []),
                       ("a", [], []), (None, [], []),
                       ([], ["abcdefghijklmp"], []), ([], ["abcdefghijklm"], []),
                       ([], ["abcdefghijklmno"], []), ([], ["a" * 29], []), ([], ["a" * 31], []),
                       ([], [], [1, True]), ([], [], [1.0]), ([], [], [None]), ([], [], "1"),
                       ([], [], [2**64 - 1])]]
                  + [json.dumps([{"name": "n", "tags": [], "wide": [], "ints": [], "five": f}])
                     for f in [["abcde", "b"], ["abcdX"], ["abcd"], ["b\u00e9"]]]),
    "list_or_kinds": (list[ListOr],
                      [[{"a": None, "b": "s", "c": None}], [{"a": [True], "b": ["a"], "c": [1]}]],
                      [json.dumps([{"a": a, "b": b, "c": c}]) for a, b, c in [
                          (None, None, None), ([1, 2**64 - 1], ["a", "b"], [1]), ([], [], ["x"]),
                          ([True], "s", None), ([1.0], None, None), (1, None, None), ("s", None, None),
                          ({}, None, None), ([[1]], None, None), (None, ["c"], None), (None, [1], None),
                          (None, 1, None), (None, True, None), (None, None, [1, "x"]), (None, None, 1)]]
                     + [json.dumps([{"a": None, "b": None, "c": None, "d": d}])
                        for d in [["x"], [1], [1, "x"], [[]], {}, "s"]]),
    "key_texts": (Names,
                  [{"name": 1, "a_long_field_name": 2,
                    "a_field_name_longer_than_the_key_pattern_holds": 3}],
                  [json.dumps(dict(zip(keys, (1, 2, 3)))) if isinstance(keys, tuple) else keys
                   for keys in [
                       ("name", "a_long_field_name", "a_field_name_longer_than_the_key_pattern_holds"),
                       ("namf", "a_long_field_name", "a_field_name_longer_than_the_key_pattern_holds"),
                       ("nam", "a_long_field_name", "a_field_name_longer_than_the_key_pattern_holds"),
                       ("names", "a_long_field_name", "a_field_name_longer_than_the_key_pattern_holds"),
                       ("name", "a_long_field_namf", "a_field_name_longer_than_the_key_pattern_holds"),
                       ("name", "a_long_field_name", "a_field_name_longer_than_the_key_pattern_holdz"),
                       "{\"name\": 1, \"thirteen_byte\": 1, \"a_long_field_name\": 2, "
                       "\"a_field_name_longer_than_the_key_pattern_holds\": 3}",
                       "{\"name\": 1, \"thirteen_bytf\": 1, \"a_long_field_name\": 2, "
                       "\"a_field_name_longer_than_the_key_pattern_holds\": 3}",
                       "{\"n\\u0061me\": 1, \"a_long_field_name\": 2, "
                       "\"a_field_name_longer_than_the_key_pattern_holds\": 3}",
                       "{\"n\u00e4me\": 1, \"a_long_field_name\": 2, "
                       "\"a_field_name_longer_than_the_key_pattern_holds\": 3}",
                       "{\"name\": 1, \"name\": \"x\", \"a_long_field_name\": 2, "
                       "\"a_field_name_longer_than_the_key_pattern_holds\": 3}",
                       "{\"name\": \"x\", \"a_long_field_name\": 2, "
                       "\"a_field_name_longer_than_the_key_pattern_holds\": 3, \"name\": 1}"]]),
    "pattern": (list[Annotated[str, M(pattern="h.\u00e9+o")]], [["h\u00e9\u00e9o", "hx\u00e9o"], ["ho"], [S], [1]],
                ["[\"hx\\u00e9o\"]", "[\"h\\u00e9o\"]", "[1]"]),
}


def answers(name):
    spec, values, docs = CASES[name]
    v = Validator(spec)
    out = []
    for value in values:
        del CALLS[:]
        row = [v.is_valid(value)]
        for fail_fast in (False, True):
            try:
                v.validate(value, fail_fast=fail_fast)
                row.append(None)
            except ValidationError as e:
                row.append(e.errors)
        row.append(list(CALLS))
        out.append(row)
    for doc in docs:
        del CALLS[:]
        row = [v.is_valid_json(doc), v.is_valid_json(doc.encode())]
        try:
            v.validate_json(doc)
            row.append(None)
        except ValidationError as e:
            row.append(e.errors)
        row.append(list(CALLS))
        out.append(row)
    return json.loads(json.dumps(out, default=repr))


if __name__ == "__main__":
    json.dump({name: answers(name) for name in CASES}, sys.stdout)
