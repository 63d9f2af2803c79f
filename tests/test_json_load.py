"""load and validate_json build the document from one parse: what they return is what
json.loads returns, exactly (types, key order, repeated keys), on every road a document
can take, and the lock-free stretch of large documents is safe among threads."""

import gc
import json
import random
import sys
import threading
from typing import Annotated, Any, Literal

import pytest

from tarmelix import ValidationError, Validator, recursive, union

ANY = Validator(Any)


def same(a, b):
    """Equal, with the same types everywhere (1 is not 1.0 nor True, -0.0 is not 0.0)
    and dict keys in the same order."""
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, float):
        return repr(a) == repr(b)
    return a == b


DOCUMENTS = [
    # shapes
    '[]', '{}', '[[]]', '[{}]', '{"a": {}}', '[[[[1]]], {"b": [[], {}]}]',
    'null', 'true', '"x"', '0', '-0', '[-0]', '{"a": -0}', '[-0.0, 0.0, -0e5, 0e-5]',
    '[1, 1.0, true, 1e0, 10E-1, null, false]',
    # integers around every boundary of the tape
    json.dumps([2**63 - 1, 2**63, 2**64 - 1, 2**64, -2**63, -2**63 - 1, 10**30, -10**30]),
    '[' + '9' * 600 + ', -' + '1' * 639 + ']',
    # floats the parser must round exactly as float() does
    '[0.1, 1.7976931348623157e308, 5e-324, 2.2250738585072011e-308, 4.9406564584124654e-324,'
    ' 1e-400, 123456789012345678901234567890e-10, 0.30000000000000004, 9007199254740993.0,'
    ' 1e22, 1e23, 8.98846567431158e307, 2.4703282292062328e-324]',
    '[1e-99999999999, 0e99999999999, -1E-400]',
    # texts
    '["", "ascii", "caf\\u00e9", "\\ud83d\\ude00", "\\u0000", "\\"\\\\\\/\\b\\f\\n\\r\\t", "東京", "\u00ff"]',
    '["' + 'x' * 64 + '", "' + 'y' * 65 + '", "' + 'é' * 40 + '", "' + 'a' * 5000 + '"]',
    # each str kind, the widest character after a word of ASCII or after narrower ones
    '["abcdefgh\u00e9", "abcdefghijklmnop\u6771", "\u00e9\u6771\U0001f600x", "\u00ff\u0100",'
    ' "\uffff", "\U00010000", "\u07ff\u0800", "' + '\u00e9' * 3 + 'abcdefgh' * 9 + '\u6771"]',
    # keys: non-ASCII, escaped, long, empty, repeated
    '{"é": 1, "\\u00e9": 2, "k\\"ey": 3, "": 4, "' + 'k' * 70 + '": 5, "東京": 6}',
    '{"' + '\u00e9' * 40 + '": 1, "\u6771\u4eac' + 'x' * 70 + '": 2}',
    '{"a": 1, "b": 2, "a": 3}',
    '{"a": {"x": 1}, "a": [2], "c": 0, "c": "z"}',
    '[{"a": 1, "a": 2}, {"a": 3}]',
    # whitespace everywhere it may be
    ' \t\n\r[ 1 ,\n{ "a" : 2 } ] \r\n',
]

# Schemas that take each road: the SIMD walk alone (Any; a record of the keys above), and
# a walk that runs code of the user's (only the reference walk runs it).
RECORD = Validator({"a?": Any, "b?": Any, "c?": Any, "é?": Any, "k\"ey?": Any, "?": Any,
                    "k" * 70 + "?": Any, "東京?": Any, "é" * 40 + "?": Any,
                    "東京" + "x" * 70 + "?": Any})
WITH_CODE = Validator(Annotated[Any, lambda v: True])


@pytest.mark.parametrize("validator", [ANY, RECORD, WITH_CODE], ids=["any", "record", "code"])
@pytest.mark.parametrize("doc", DOCUMENTS)
def test_load_builds_what_json_loads_builds(validator, doc):
    expected = json.loads(doc)
    for data in (doc, doc.encode()):
        if validator is RECORD and not isinstance(expected, dict):
            with pytest.raises(ValidationError):
                validator.load(data)
            continue
        assert same(validator.load(data), expected), data


@pytest.mark.parametrize("doc", DOCUMENTS)
def test_large_documents_load_as_json_loads_does(doc):
    # Past the size at which the walk lets go of the interpreter lock.
    big = "[" + ",".join([doc] * (70_000 // len(doc) + 1)) + "]"
    assert same(ANY.load(big), json.loads(big))
    assert ANY.is_valid_json(big)
    assert ANY.validate_json(big) is None


def test_field_names_are_the_schema_interned_names():
    v = Validator({"name": str, "count": int})
    loaded = v.load('{"name": "a", "count": 1}')
    assert [k is sys.intern(k) for k in loaded] == [True, True]


# Two records share "id" and "name" with other fields after them; the keys come in
# declared order, out of it, as prefixes and extensions of the names, repeated.
# Each record is also open to any dict, so every document here is a member.
SHARED_NAMES = Validator({"user": Validator({"id": int, "name": str, "url?": str}) | dict[str, Any],
                          "items": list[Validator({"name": str, "id": int, "n?": int}) | dict[str, Any]]})


@pytest.mark.parametrize("doc", [
    '{"user": {"id": 1, "name": "a", "url": "u"}, "items": [{"name": "b", "id": 2, "n": 3}]}',
    '{"items": [{"id": 2, "name": "b"}, {"n": 3, "id": 2, "name": "c"}], "user": {"url": "u", "name": "a", "id": 1}}',
    '{"user": {"id": 1, "nam": 0, "names": 0, "name": "a"}, "items": [{"nam": 1, "idx": 2, "i": 3}]}',
    '{"user": {"id": 1, "name": "a", "name": "b", "id": 2}, "items": [{"name": "x", "id": 1, "id": 4}]}',
])
def test_field_names_are_found_in_any_order(doc):
    loaded = SHARED_NAMES.load(doc)
    assert same(loaded, json.loads(doc))
    names = {"user", "items", "id", "name", "url", "n"}

    def keys(value):
        if isinstance(value, dict):
            yield from value
            for v in value.values():
                yield from keys(v)
        elif isinstance(value, list):
            for v in value:
                yield from keys(v)

    assert all(k is sys.intern(k) for k in keys(loaded) if k in names)


# Records at the root, failing at the top, deep, in a list, and a key no field takes.
ROOT_RECORD = Validator({"a": int, "b": {"c": list[{"d": str}], "e?": float}, "f?": list[int]})


@pytest.mark.parametrize("doc", [
    '{"a": "x", "b": {"c": []}}',
    '{"a": 1, "b": {"c": [{"d": "ok"}, {"d": 2}, {"d": "ok"}, {}], "e": "no"}, "f": [1, "2", 3]}',
    '{"a": 1, "b": {"c": [{"d": "ok"}]}, "g": null}',
    '{"b": {"c": [{"d": "ok"}]}}',
    '{"a": 1, "a": "late", "b": {"c": [{"d": 1}]}}',
])
def test_root_record_non_member_is_explained_as_validate_explains_it(doc):
    value = json.loads(doc)
    for fail_fast in (False, True):
        with pytest.raises(ValidationError) as from_json:
            ROOT_RECORD.validate_json(doc, fail_fast=fail_fast)
        with pytest.raises(ValidationError) as from_value:
            ROOT_RECORD.validate(value, fail_fast=fail_fast)
        assert from_json.value.errors == from_value.value.errors
        assert str(from_json.value) == str(from_value.value)


# Lists and records at the root: members among the failures, a failure repeated
# at several places, items that fail deep inside, items of a recursive schema,
# records in records in lists, repeated keys, keys no field takes, maps.
NESTED = {"id": int, "rows": list[{"a": int, "b?": list[str]}], "meta?": {"n": int},
          "map?": dict[str, {"x": float}]}


@pytest.mark.parametrize("schema, doc", [
    (NESTED, '{"id": 1, "rows": [{"a": 1}, {"a": "x", "b": ["s", 2]}, {"a": 3}, {"b": []}]}'),
    (NESTED, '{"id": "z", "rows": [], "meta": {"n": 1}, "extra": [1]}'),
    (NESTED, '{"rows": [{"a": 1, "a": "late"}, {"a": "early", "a": 2}], "id": 2, "id": "w"}'),
    (NESTED, '{"id": 1, "rows": [{"a": 1, "c": 0}], "meta": {"n": "q"}, "map": {"k": {"x": "f"}}}'),
    (NESTED, '{"id": 1, "rows": {"a": 1}, "meta": []}'),
    (NESTED, '[1, 2]'),
    ({"head": int, str: int}, '{"head": 1, "k": 2, "m": "three", "head": "x"}'),
    ({"a": {"b": {"c": list[list[{"d": int}]]}}}, '{"a": {"b": {"c": [[{"d": 1}], [{"d": 1}, {"d": "2"}]]}}}'),
    (list[{"id": int, "name": str, "tags?": list[str]}],
     '[{"id": 1, "name": "a"}, {"id": "x", "name": 2}, {"id": 3, "name": "c", "tags": ["t", 4]},'
     ' {"id": 4, "name": "d"}, {"id": "x", "name": 2}, {"id": 5}, {"id": 6, "name": "f", "x": 0}]'),
    (list[int | str], '[1, "a", null, 2, 1.5, "b", null, [3]]'),
    (list[list[int]], '[[1], [], [1, "2"], 3, [4, null]]'),
    (recursive(lambda s: list[union(int, s)]), '[1, [2, [3, "x"]], "y", [[[]]], [null]]'),
    (list[{"kind": Literal["a"], "n": int} | {"kind": Literal["b"], "s": str}],
     '[{"kind": "a", "n": 1}, {"kind": "b", "s": 1}, {"kind": "c"}, {"kind": "a", "n": 2}, 5]'),
])
def test_non_member_document_is_explained_as_validate_explains_it(schema, doc):
    v = Validator(schema)
    value = json.loads(doc)
    for fail_fast in (False, True):
        with pytest.raises(ValidationError) as from_value:
            v.validate(value, fail_fast=fail_fast)
        for call in (v.validate_json, v.load):
            with pytest.raises(ValidationError) as from_json:
                call(doc, fail_fast=fail_fast)
            assert from_json.value.errors == from_value.value.errors
            assert str(from_json.value) == str(from_value.value)


def test_repeated_key_takes_its_last_value_at_its_first_place():
    v = Validator({"a": str, "b": int})
    loaded = v.load('{"a": 1, "b": 2, "a": "x"}')
    assert list(loaded.items()) == [("a", "x"), ("b", 2)]
    with pytest.raises(ValidationError) as e:
        v.load('{"a": "x", "b": 2, "a": 1}')
    assert [r["path"] for r in e.value.errors] == [("a",)]


def test_integer_digit_limit():
    old = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(640)
    try:
        ok = "[" + "7" * 640 + "]"
        assert ANY.load(ok) == [int("7" * 640)]
        for doc in ("[" + "7" * 641 + "]", "[-" + "7" * 641 + "]"):
            with pytest.raises(ValidationError) as e:
                ANY.load(doc)
            assert e.value.errors[0]["code"] == "json_invalid"
            assert "number out of range at line 1 column 2" in str(e.value)
    finally:
        sys.set_int_max_str_digits(old)


@pytest.mark.parametrize("doc", ['[1, 2', '{"a": 1,}', '[1] x', '"\\ud800"', '[1e400]',
                                 '\ufeff[1]', '', '[' * 201 + ']' * 201, '[NaN]'])
def test_malformed_documents_keep_their_messages(doc):
    # Messages and positions come from the event parser whatever the size.
    with pytest.raises(ValidationError) as small:
        ANY.load(doc)
    big = "[" + "1," * 40_000 + doc + "]" if doc and doc[0] != "\ufeff" else doc
    with pytest.raises(ValidationError):
        ANY.load(big)
    assert small.value.errors[0]["code"] == "json_invalid"


@pytest.mark.parametrize("doc,member", [("[1, 2, 3]", True), ("[1, -2, 3]", False),
                                        ("[1, 2, 99999999999999999999999]", True)])
def test_user_code_runs_once_a_value(doc, member):
    seen = []

    def positive(value):
        seen.append(value)
        return value > 0

    v = Validator(list[Annotated[int, positive]])
    for call in (v.load, v.validate_json):
        seen.clear()
        if member:
            call(doc)
        else:
            with pytest.raises(ValidationError):
                call(doc)
        assert seen == json.loads(doc), call


def test_non_member_is_explained_by_the_walk():
    v = Validator(list[{"id": int, "name": str}])
    doc = json.dumps([{"id": i, "name": "n"} for i in range(5000)] + [{"id": "x", "name": 1}])
    with pytest.raises(ValidationError) as e:
        v.validate_json(doc)
    assert [(r["code"], r["path"]) for r in e.value.errors] == [
        ("int_type", (5000, "id")), ("string_type", (5000, "name"))]


def test_threads_validate_while_others_mutate_objects():
    rnd = random.Random(5)
    records = [{"id": i, "name": f"n{rnd.random()}", "tags": ["a", "é"], "ok": i % 2 == 0,
                "price": rnd.random()} for i in range(4000)]
    good = json.dumps(records).encode()
    bad = json.dumps(records[:-1] + [dict(records[-1], id="x")])
    assert len(good) > 64 * 1024
    v = Validator(list[{"id": int, "name": str, "tags": list[str], "ok": bool, "price": float}])
    stop = threading.Event()
    faults = []

    def validate():
        try:
            for _ in range(8):
                assert v.is_valid_json(good)
                assert not v.is_valid_json(bad)
                assert v.validate_json(good) is None
                assert v.load(good) == records
                with pytest.raises(ValidationError):
                    v.validate_json(bad)
        except BaseException as e:  # noqa: BLE001 - reported below
            faults.append(e)

    def mutate():
        junk = {}
        while not stop.is_set():
            for i in range(1000):
                junk[i] = [i, str(i), {"k": i}]
            junk.clear()
            gc.collect(0)

    mutators = [threading.Thread(target=mutate) for _ in range(2)]
    workers = [threading.Thread(target=validate) for _ in range(8)]
    for t in mutators + workers:
        t.start()
    for t in workers:
        t.join()
    stop.set()
    for t in mutators:
        t.join()
    assert faults == []
