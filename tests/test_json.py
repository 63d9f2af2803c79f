"""JSON documents given as str or bytes: load, validate_json, is_valid_json."""

import json
import math
import os
import subprocess
import sys
import textwrap
import types
from dataclasses import dataclass
from typing import Annotated, Any, Literal, Optional, TypedDict

import pytest
from hypothesis import given, settings, strategies as st

from tarmelix import ValidationError, Validator, complement, intersection, recursive


def json_invalid(call, *args):
    with pytest.raises(ValidationError) as info:
        call(*args)
    err = info.value
    assert err.code == "json_invalid"
    assert err.expected == "valid JSON"
    return err.value


# --- intake ---------------------------------------------------------------

@pytest.mark.parametrize("data", [42, None, bytearray(b"1"), memoryview(b"1"), ["[]"]])
def test_neither_str_nor_bytes(data):
    v = Validator(Any)
    for call in (v.load, v.validate_json):
        with pytest.raises(TypeError, match=r"^JSON input must be a str or bytes object$"):
            call(data)
    assert v.is_valid_json(data) is False


def test_lone_surrogate_str():
    v = Validator(str)
    got = json_invalid(v.load, '"\ud800"')
    assert got == "input string is not valid UTF-8 (contains a lone surrogate)"
    assert v.is_valid_json('"\ud800"') is False


def test_str_subclass_and_bytes_subclass_are_read():
    class S(str):
        pass

    class B(bytes):
        pass

    v = Validator(list[int])
    assert v.load(S("[1]")) == [1]
    assert v.load(B(b"[2]")) == [2]
    assert v.is_valid_json(S("[1]")) and v.is_valid_json(B(b"[2]"))


# --- malformed documents and where they fail --------------------------------

MALFORMED = [
    # (document, parser message with its position)
    ("", "incomplete JSON at line 1 column 0"),
    ("   ", "incomplete JSON at line 1 column 3"),
    ("[1,", "incomplete JSON at line 1 column 3"),
    ("[1,\n", "incomplete JSON at line 2 column 0"),
    ("[1,\n 2", "incomplete JSON at line 2 column 2"),
    ("NaN", "syntax error at line 1 column 1"),
    ("[Infinity]", "syntax error at line 1 column 2"),
    ("-Infinity", "syntax error at line 1 column 2"),
    ('{"a":1,}', "syntax error at line 1 column 8"),
    ("[1,\n  2,\n  x]", "syntax error at line 3 column 3"),
    ("[1, 2] x", "extra data at line 1 column 8"),
    ("1 2", "extra data at line 1 column 3"),
    ("{}\n\n //", "extra data at line 3 column 2"),
    ("01", "extra data at line 1 column 2"),
    # a raw newline inside a string fails on the newline itself
    ('"a\nb"', "syntax error at line 2 column 0"),
    ("1e400", "number out of range at line 1 column 1"),
    ("[0, -1.8e308]", "number out of range at line 1 column 5"),
    ("[" * 201 + "]" * 201, "too deep at line 1 column 201"),
    ('"\\ud800"', "syntax error at line 1 column 8"),
]


@pytest.mark.parametrize("doc,message", MALFORMED)
def test_malformed_document(doc, message):
    v = Validator(Any)
    for data in (doc, doc.encode()):
        assert json_invalid(v.validate_json, data) == message
        assert json_invalid(v.load, data) == message
        assert v.is_valid_json(data) is False
    err = pytest.raises(ValidationError, v.validate_json, doc).value
    assert str(err) == f"expected valid JSON, got {message} [json_invalid]"
    assert err.path == ()


@pytest.mark.parametrize("data,message", [
    (b'"\xff"', "syntax error at line 1 column 2"),
    (b'["ok", "\xc3"]', "syntax error at line 1 column 9"),
    (b'"\xed\xa0\x80"', "syntax error at line 1 column 2"),  # encoded surrogate
])
def test_invalid_utf8_bytes(data, message):
    v = Validator(Any)
    assert json_invalid(v.load, data) == message
    assert v.is_valid_json(data) is False


def test_nesting_limit_is_200():
    v = Validator(Any)
    deep = "[" * 200 + "]" * 200
    value = v.load(deep)
    for _ in range(199):
        value = value[0]
    assert value == []
    assert v.is_valid_json(deep) is True


@pytest.mark.parametrize("doc", ["  [1, 2]\n", "\t[1,2]\r\n ", "[1,2]"])
def test_whitespace_around_the_value(doc):
    v = Validator(list[int])
    assert v.is_valid_json(doc.encode()) is True
    assert v.load(doc) == [1, 2]


# --- numbers ----------------------------------------------------------------

NUMBERS = [
    "0", "-0", "42", "9223372036854775807", "-9223372036854775808",
    "9223372036854775808", "-9223372036854775809", "18446744073709551615",
    "18446744073709551616", "123456789012345678901234567890",
    "-123456789012345678901234567890123456789",
    "0.1", "-0.0", "1E2", "1e-2", "2.5E+3", "1.7976931348623157e308",
    "4.9e-324", "2.4703282292062328e-324", "2.2250738585072011e-308",
    "2.2250738585072014e-308", "1e-400", "-1e-400",
    "0.30000000000000004", "9007199254740993", "9007199254740993.0",
    "1.00000000000000011102230246251565404236316680908203125",
    "7.2057594037927933e16", "123456789012345678901234567890e-20",
]


@pytest.mark.parametrize("literal", NUMBERS)
def test_numbers_load_exactly_as_python_reads_them(literal):
    expected = json.loads(literal)
    got = Validator(Any).load(literal)
    assert type(got) is type(expected)
    assert got == expected
    if isinstance(expected, float):
        assert math.copysign(1.0, got) == math.copysign(1.0, expected)
    is_int = isinstance(expected, int)
    assert Validator(int).is_valid_json(literal) is is_int
    assert Validator(float).is_valid_json(literal) is not is_int


@pytest.fixture
def unlimited_int_digits():
    old = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(0)
    yield
    sys.set_int_max_str_digits(old)


def test_integer_of_thousands_of_digits(unlimited_int_digits):
    literal = "-" + "987654321" * 600
    assert Validator(int).load(literal) == int(literal)
    assert Validator(int).is_valid_json(literal) is True
    assert Validator(Literal[int(literal)]).is_valid_json(literal) is True


@pytest.fixture
def int_digits():
    """Sets sys's int digit limit for the test and restores it afterwards."""
    old = sys.get_int_max_str_digits()
    yield sys.set_int_max_str_digits
    sys.set_int_max_str_digits(old)


POSITIVE = Annotated[int, types.SimpleNamespace(gt=0)]

# Integers longer than the interpreter converts, and infinite floats: a column
# points at the literal itself.
OUT_OF_RANGE = [
    ("1" * 5000, 1),
    ("-" + "1" * 4301, 1),
    ('[1, {"a": ' + "2" * 4301 + "}]", 11),
    ("1e400", 1),
    ("[0, 1e99999999999999999999]", 5),
    ("-1.5E+99999999999999999999", 1),
    ("[0,\n 0.000001e99999999999]", 2),
]


@pytest.mark.parametrize("spec", [Any, str, int, POSITIVE, list[Any]])
@pytest.mark.parametrize("doc,column", OUT_OF_RANGE)
def test_numbers_out_of_range_are_invalid_on_every_road(spec, doc, column):
    v = Validator(spec)
    line = doc.count("\n") + 1
    for call in (v.load, v.validate_json):
        assert json_invalid(call, doc) == f"number out of range at line {line} column {column}"
    assert v.is_valid_json(doc) is False
    assert v.is_valid_json(doc.encode()) is False


@pytest.mark.parametrize("limit,digits,fits", [
    (0, 20000, True), (4300, 4300, True), (4300, 4301, False),
    (5000, 5000, True), (640, 641, False), (640, 640, True),
])
def test_integer_digit_limit_is_read_at_each_call(int_digits, limit, digits, fits):
    v = Validator(POSITIVE)
    int_digits(limit)
    for doc in ("7" * digits, "[-" + "7" * digits + "]"):  # the sign is not a digit
        if fits:
            assert v.is_valid_json(doc) is not doc.startswith("[")
            assert Validator(Any).load(doc) == json.loads(doc)
        else:
            assert v.is_valid_json(doc) is False
            got = json_invalid(Validator(str).validate_json, doc)
            assert got.startswith("number out of range at line 1 column ")


@pytest.mark.parametrize("doc", [
    "0e99999999999999999999",
    "-0e99999999999999999999",
    "1e-40000000000000000000000000000",
    "-1.5e-40000000000000000000000000000",
    '[0.0E+99999999999, -25e-99999999999, "1e-99999999999", 7]',
    '{"a": -0e2147483648, "b": [1e-2147483649]}',
])
def test_huge_exponents_of_finite_numbers_read_as_python_does(doc):
    expected = json.loads(doc)
    assert repr(Validator(Any).load(doc)) == repr(expected)
    # The converted value under a predicate is what the document holds.
    same = Annotated[Any, lambda value: repr(value) == repr(expected)]
    assert Validator(same).is_valid_json(doc) is True
    assert Validator(same).is_valid_json(doc.encode()) is True


@pytest.mark.parametrize("doc,message", [
    ("[0e99999999999 x]", "syntax error at line 1 column 16"),
    ("[1e-99999999999,\n  ]", "syntax error at line 2 column 3"),
    ("[-0e99999999999", "incomplete JSON at line 1 column 15"),
])
def test_errors_after_a_huge_exponent_keep_their_position(doc, message):
    assert json_invalid(Validator(Any).load, doc) == message
    assert Validator(Any).is_valid_json(doc) is False


@given(st.floats(allow_nan=False, allow_infinity=False))
def test_every_float_round_trips(x):
    assert Validator(float).load(json.dumps(x)) == x


@given(st.from_regex(r"\A-?(0|[1-9][0-9]{0,25})(\.[0-9]{1,25})?([eE][-+]?[0-9]{1,3})?\Z"))
def test_decimal_literals_round_correctly(literal):
    expected = json.loads(literal)
    if isinstance(expected, float) and math.isinf(expected):
        json_invalid(Validator(Any).load, literal)
    else:
        got = Validator(Any).load(literal)
        assert type(got) is type(expected) and got == expected


@pytest.mark.parametrize("spec,doc,answer", [
    (float, "1", False),
    (int, "1", True),
    (int, "true", True),
    (bool, "true", True),
    (bool, "1", False),
    (int, "123456789012345678901234567890", True),
    (Literal[123456789012345678901234567890], "123456789012345678901234567890", True),
    (Literal[18446744073709551615], "18446744073709551615", True),
    (Literal[-9223372036854775809], "-9223372036854775809", True),
    (Literal[1], "1.0", False),
    (None, "null", True),
    (str, '"\\u00e9\\ud83d\\ude00"', True),
    (Literal["\u00e9\U0001F600"], '"\\u00e9\\ud83d\\ude00"', True),
    (list[int], "[1, 2]", True),
    (tuple[int, ...], "[1, 2]", False),
    (list[int], "[1, 2.0]", False),
    (bytes, '"x"', False),
    (dict[str, int], '{"a": 1, "b": 2}', True),
    (dict[str, int], '{"a": 1, "b": "2"}', False),
])
def test_is_valid_json_answers(spec, doc, answer):
    v = Validator(spec)
    assert v.is_valid_json(doc) is answer
    assert v.is_valid_json(doc.encode()) is answer
    assert v.is_valid(json.loads(doc)) is answer


def test_nan_is_not_a_json_float():
    v = Validator(float)
    assert v.is_valid_json("NaN") is False
    assert json_invalid(v.validate_json, "NaN") == "syntax error at line 1 column 1"


def test_array_is_a_list_not_a_tuple():
    v = Validator(tuple[int, ...])
    with pytest.raises(ValidationError) as info:
        v.validate_json("[1, 2]")
    assert info.value.code == "tuple_type"


def test_load_returns_the_parsed_object_and_validate_json_none():
    v = Validator(dict[str, list[int]])
    assert v.load('{"a": [1, 2]}') == {"a": [1, 2]}
    assert v.validate_json(b'{"a": []}') is None
    with pytest.raises(ValidationError) as info:
        v.load('{"a": [1, "x"]}')
    assert info.value.code == "int_type"
    assert info.value.path == ("a", 1)


def test_load_fail_fast_is_checked_before_the_document():
    v = Validator(int)
    with pytest.raises(TypeError):
        v.load("[1,", fail_fast=1)


# --- objects ------------------------------------------------------------------

def test_repeated_key_keeps_first_position_and_last_value():
    assert list(Validator(Any).load('{"a": 1, "b": 2, "a": "x"}').items()) == [("a", "x"), ("b", 2)]


MANY = ", ".join(f'"k{i}": "v"' for i in range(20))


@pytest.mark.parametrize("doc,record_answer,mapping_answer", [
    ('{"a": 1, "a": "x"}', True, True),
    ('{"a": "x", "a": 1}', False, False),
    ('{"a": "x", "b": 1, "b": "y"}', True, True),
    ('{"a": 1, "b": "y"}', False, False),
    ('{"a": "x", "b": "y", "a": 1}', False, False),
    ('{"b": 1, "a": "x", "b": "y", "c": 2, "c": "z"}', False, True),  # the record has no c
    ("{" + MANY + ', "k3": 1, "k3": "w"}', False, True),
    ("{" + MANY + ', "k3": "w", "k3": 1}', False, False),
])
def test_repeated_key_counts_by_its_last_occurrence(doc, record_answer, mapping_answer):
    record = Validator({"a": str, "b?": str})
    mapping = Validator(dict[str, str])
    assert record.is_valid_json(doc) is record_answer
    assert mapping.is_valid_json(doc) is mapping_answer
    assert record.is_valid(json.loads(doc)) is record_answer
    assert mapping.is_valid(json.loads(doc)) is mapping_answer


@pytest.mark.parametrize("spec,doc,answer", [
    ({"a": int, "a?": int}, '{"a": 1}', False),  # the key goes to the later, optional field
    ({"a?": int, "a": int}, '{"a": 1}', True),
    ({"a?": int, "a": int}, "{}", False),
])
def test_two_fields_of_one_name(spec, doc, answer):
    v = Validator(spec)
    assert v.is_valid_json(doc) is answer
    assert v.is_valid(json.loads(doc)) is answer


def test_repeated_keys_share_one_str():
    rows = Validator(Any).load('[{"name": 1, "id": 2}, {"id": 3, "name": 4}]')
    k0, k1 = list(rows[0]), list(rows[1])
    assert k0[0] is k1[1] and k0[1] is k1[0]


def test_escaped_text_is_decoded():
    doc = '{"k\\u00e9y\\n": ["\\"q\\"", "\\\\", "\\t\\/"]}'
    assert Validator(Any).load(doc) == json.loads(doc)
    assert Validator({"k\u00e9y\n": list[str]}).is_valid_json(doc)


# --- Python checks on converted values ---------------------------------------

def raises(exc):
    def predicate(value):
        raise exc
    return predicate


def test_fatal_exception_of_a_predicate_is_raised():
    v = Validator(list[Annotated[int, raises(KeyboardInterrupt)]])
    with pytest.raises(KeyboardInterrupt):
        v.is_valid_json("[1]")
    with pytest.raises(KeyboardInterrupt):
        v.validate_json("[1]")


class Meta(type):
    failure = None

    def __instancecheck__(cls, value):
        raise cls.failure


class Checked(metaclass=Meta):
    pass


@pytest.mark.parametrize("failure,raised", [(KeyboardInterrupt, KeyboardInterrupt),
                                            (MemoryError, MemoryError),
                                            (ValueError, None)])
def test_instance_check_exception_under_json(monkeypatch, failure, raised):
    monkeypatch.setattr(Meta, "failure", failure)
    v = Validator(list[Checked])
    if raised is None:
        assert v.is_valid_json("[1]") is False
    else:
        with pytest.raises(raised):
            v.is_valid_json("[1]")
    assert v.is_valid_json("[]") is True


def test_ordinary_exception_of_a_predicate_is_non_membership():
    v = Validator(Annotated[int, raises(ValueError("bad"))])
    assert v.is_valid_json("1") is False


@dataclass
class Point:
    x: int


class Movie(TypedDict):
    title: str
    year: int


@pytest.mark.parametrize("spec,doc,answer", [
    (Point, '{"x": 1}', False),  # a JSON object is a dict, never an instance
    (Movie, '{"title": "t", "year": 1999}', True),
    (Movie, '{"title": "t"}', False),
    (Movie, '{"title": "t", "year": 1999, "extra": 1}', False),
    (Annotated[int, types.SimpleNamespace(ge=0, lt=10)], "9", True),
    (Annotated[int, types.SimpleNamespace(ge=0, lt=10)], "10", False),
    (Annotated[str, types.SimpleNamespace(pattern="[a-z]+")], '"abc"', True),
    (Annotated[str, types.SimpleNamespace(pattern="[a-z]+")], '"abc1"', False),
    (Annotated[list[int], types.SimpleNamespace(min_length=2)], "[1]", False),
    (Annotated[float, types.SimpleNamespace(multiple_of=0.5)], "2.5", True),
    (Annotated[Any, lambda v: v == {"a": [1]}], '{"a": [1]}', True),
    (Literal["a", "b"], '"b"', True),
    (Literal["a", "b"], '"c"', False),
    (Literal[True], "true", True),
    (Literal[1], "true", False),
])
def test_checks_that_need_python_values(spec, doc, answer):
    v = Validator(spec)
    assert v.is_valid_json(doc) is answer
    assert v.is_valid(json.loads(doc)) is answer


# --- recursion ----------------------------------------------------------------

@pytest.mark.parametrize("depth,answer", [(1, True), (127, True), (128, False), (199, False)])
def test_recursion_limit_applies_to_documents(depth, answer):
    nested = recursive(lambda s: int | list[s])
    doc = "[" * depth + "1" + "]" * depth
    assert nested.is_valid_json(doc) is answer
    assert nested.is_valid(json.loads(doc)) is answer


# --- both roads agree -------------------------------------------------------

SCHEMAS = [
    Any, int, float, str, bool, None, bytes,
    list[int], list[Any], list[int | str], list[float | None],
    dict[str, int], dict[str, Any], dict[str, list[int]],
    {"a": int, "b?": str}, {"a": list[Any], "b": bool}, {"a": int, "a?": str},
    Optional[list[dict[str, int]]], list[Movie],
    Literal[0, 1, "a", True, None],
    Annotated[int, types.SimpleNamespace(gt=-5, le=5)],
    Annotated[str, types.SimpleNamespace(pattern="[a-c]*")],
    Annotated[list[int], types.SimpleNamespace(max_length=2)],
    int | list[int],
    dict[str, dict[str, int | float]],
    recursive(lambda s: None | bool | int | float | str | list[s] | dict[str, s]),
    recursive(lambda s: {"a": int, "b?": list[s]}),
    complement(list[Any]), intersection(dict[str, Any], complement({"a": int})),
]

text_chars = st.characters(blacklist_categories=("Cs",))
scalars = (
    st.none() | st.booleans()
    | st.integers(min_value=-(2**70), max_value=2**70)
    | st.sampled_from([2**63 - 1, 2**63, 2**64 - 1, 2**64, -(2**63), -(2**63) - 1])
    | st.floats(allow_nan=False, allow_infinity=False)
    | st.text(text_chars, max_size=5)
    | st.sampled_from(["a", "b", "title", "year"])
)
# Objects are lists of pairs, so a key may repeat in the text.
trees = st.recursive(
    scalars,
    lambda inner: st.lists(inner, max_size=4).map(lambda items: ("array", items))
    | st.lists(st.tuples(st.sampled_from(["a", "b", "title", "year", "c"]) | st.text(text_chars, max_size=3), inner),
               max_size=4).map(lambda pairs: ("object", pairs)),
    max_leaves=12,
)


def to_text(tree):
    if isinstance(tree, tuple) and tree[0] == "array":
        return "[" + ", ".join(to_text(x) for x in tree[1]) + "]"
    if isinstance(tree, tuple) and tree[0] == "object":
        return "{" + ", ".join(json.dumps(k) + ": " + to_text(v) for k, v in tree[1]) + "}"
    return json.dumps(tree)


@settings(max_examples=300, deadline=None)
@given(trees)
def test_is_valid_json_agrees_with_is_valid_of_loads(tree):
    text = to_text(tree)
    value = json.loads(text)
    for spec in SCHEMAS:
        v = Validator(spec)
        expected = v.is_valid(value)
        assert v.is_valid_json(text) is expected, (spec, text)
        assert v.is_valid_json(text.encode()) is expected
        assert boost_road(spec).is_valid_json(text) is expected, (spec, text)
        if expected:
            assert v.load(text) == value
            assert v.validate_json(text) is None


# --- the validity road and the event parser road ----------------------------
# A predicate that always holds keeps the membership and sends the document
# to the event parser road, so it gives that road's verdict to compare with.

def always(_):
    return True


def boost_road(spec):
    return Validator(Annotated[spec, always])


ROAD_SCHEMAS = [
    Any, int, float, str, list[Any], list[int | float], dict[str, Any], Literal[0, 9223372036854775807],
    Annotated[int, types.SimpleNamespace(ge=0)], Literal[18446744073709551615],
    recursive(lambda s: None | bool | int | float | str | list[s] | dict[str, s]),
]

ROAD_DOCUMENTS = [
    # (document, whether it is valid JSON that loads)
    ("9223372036854775807", True), ("-9223372036854775808", True),
    ("9223372036854775808", True), ("18446744073709551615", True),
    ("18446744073709551616", True), ("-9223372036854775809", True),
    ("1" * 30, True), ("-0", True), ("-0.0", True), ("[-0, 0.0, -0e5]", True),
    ("1e400", False), ("-1e400", False), ("[1, 1.8e308]", False), ("1e-400", True),
    ("1.7976931348623157e308", True), ("4.9e-324", True),
    ("1e99999999999999999999", False), ("0e99999999999999999999", True),
    ("-0e99999999999999999999", True), ("[1e-40000000000000000000000000000]", True),
    ('"\\ud800"', False), ('"\\udc00"', False), ('"\\ud800\\u0041"', False),
    ('"\\ud83d\\ude00"', True), ('"\\u0000"', True),
    ('"a\x00b"', False), ("[1]\x00", False),
    ("\ufeff[1]", False),
    ("[" * 200 + "]" * 200, True), ("[" * 201 + "]" * 201, False),
    ('{"a":' * 200 + "1" + "}" * 200, True), ('{"a":' * 201 + "1" + "}" * 201, False),
    ("[1] x", False), ("1 2", False), ("{}}", False), ("[1]  \n", True), ("", False), ("01", False),
    ('{"a": 1, "a": "x"}', True),
]


@pytest.mark.parametrize("doc,valid", ROAD_DOCUMENTS)
def test_both_roads_answer_alike(doc, valid):
    for spec in ROAD_SCHEMAS:
        fast, slow = Validator(spec), boost_road(spec)
        for data in (doc, doc.encode()):
            answer = fast.is_valid_json(data)
            assert answer is slow.is_valid_json(data), (spec, doc)
            try:
                fast.validate_json(data)
                assert answer, (spec, doc)
            except ValidationError:
                assert not answer, (spec, doc)
    assert Validator(Any).is_valid_json(doc) is valid


@pytest.mark.parametrize("data", [b'"\xff"', b'["ok", "\xc3"]', b'"\xed\xa0\x80"', b"\xef\xbb\xbf[1]",
                                  b'{"\xc3\xa9": 1, "\xff": 2}'])
def test_bytes_that_are_not_json_on_both_roads(data):
    for spec in ROAD_SCHEMAS:
        assert Validator(spec).is_valid_json(data) is False
        assert boost_road(spec).is_valid_json(data) is False


@pytest.fixture(params=[4300, 0, 640])
def int_digit_limit(request):
    old = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(request.param)
    yield request.param
    sys.set_int_max_str_digits(old)


def test_digit_limit_on_both_roads(int_digit_limit):
    # Past 64 bits the validity road leaves every integer to the other road,
    # so the limit is read in one place.
    for digits in (19, 20, 21, 640, 641, 4300, 4301):
        doc = "[" + "7" * digits + ", -" + "7" * digits + "]"
        valid = int_digit_limit == 0 or digits <= int_digit_limit
        for spec in (list[int], list[Any], Any, list[int | str], Annotated[list[int], types.SimpleNamespace(min_length=2)]):
            assert Validator(spec).is_valid_json(doc) is valid, (spec, digits)
            assert boost_road(spec).is_valid_json(doc) is valid, (spec, digits)


# Field names around the widths the validity road compares a key in one go,
# against keys that differ from them at either end or only in how they are
# written.
FIELD_NAMES = ["", "a", "k" * 12, "k" * 27, "k" * 28, "k" * 29, "\u00e9" * 14, "x\u0000y"]


@pytest.mark.parametrize("name", FIELD_NAMES)
def test_record_keys_match_by_their_text_on_both_roads(name):
    spec = {name: int, "z?": int}
    keys = [name, name + "k", name[:-1], "k" + name, name[:-1] + "j" if name else "j", name.upper()]
    for key in keys:
        escaped = "".join(f"\\u{ord(c):04x}" if ord(c) < 0x10000 else c for c in key)
        for doc in (json.dumps({key: 1}), json.dumps({key: 1, "z": 2}), '{"' + escaped + '": 1}',
                    json.dumps({key: "1"})):
            expected = Validator(spec).is_valid(json.loads(doc))
            assert Validator(spec).is_valid_json(doc) is expected, (name, doc)
            assert boost_road(spec).is_valid_json(doc) is expected, (name, doc)


def test_user_code_runs_once_per_value():
    calls = []

    def seen(x):
        calls.append(x)
        return True

    v = Validator(list[Annotated[int, seen]])
    v.validate_json("[1, 2]")
    assert calls == [1, 2]
    assert v.is_valid_json("[3]") and calls == [1, 2, 3]


@pytest.mark.parametrize("spec,answer", [
    (list[int | float | str | None], False),  # [] and {}
    (list[int | float | str | None | list[Any] | dict[str, Any]], True),
    (list[float | str | None | list[Any] | dict[str, Any]], False),  # 1 and true are ints
    (list[bool | float | str | None | list[Any] | dict[str, Any]], False),  # 1 is no bool
    (list[int | float | str | None | list[int] | dict[str, int]], True),
    (list[Any | bytes], True),
])
def test_unions_of_kinds(spec, answer):
    doc = '[1, 2.5, "x", null, true, [], {}]'
    assert Validator(spec).is_valid_json(doc) is answer
    assert boost_road(spec).is_valid_json(doc) is answer


def test_documents_one_after_another_answer_for_themselves():
    # The validity road keeps its parser between calls: a document after a
    # larger one, a refused one, or one that made the parser let go of its
    # buffers reads only its own bytes.
    v = Validator(list[int])
    big = "[" + ",".join(map(str, range(200_000))) + "]"
    huge = "[" + "0," * 5_000_000 + "0]"
    for doc, answer in [(big, True), ("[1, 2", False), ("[1]", True), (big[:-1] + ', "x"]', False),
                        ("[]", True), (huge, True), ('[1, "a"]', False), (big, True)]:
        assert v.is_valid_json(doc) is answer
        assert v.is_valid_json(doc.encode()) is answer


# Each document alone stays under what a thread's parser may keep between
# calls; the numbers fill its tape and indexes, the strings its string buffer.
RETAINED = textwrap.dedent(
    """
    import tarmelix as t

    def resident():
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) << 10

    numbers = ("[" + "0," * 2_250_000 + "0]").encode()
    strings = ("[" + ",".join(['"' + "x" * 1000 + '"'] * 30_000) + "]").encode()
    v = t.Validator(list[int | str])
    v.is_valid_json(b"[0]")
    before = resident()
    most = 0
    for _ in range(3):
        for doc in (numbers, strings):
            assert v.is_valid_json(doc)
            most = max(most, resident() - before)
    print(most >> 20)
    """
)


@pytest.mark.skipif(bool(os.environ.get("TARMELIX_SANITIZED")), reason="the sanitizers keep freed memory")
def test_kept_parser_stays_under_its_cap_whatever_the_mix_of_documents():
    done = subprocess.run(
        [sys.executable, "-c", RETAINED],
        capture_output=True,
        text=True,
        timeout=300,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, done.stderr[-2000:]
    assert int(done.stdout) < 64
