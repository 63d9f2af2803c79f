"""The fast roads against the reference walk (TARMELIX_SLOW_PATHS=1) along the shapes
they take shortcuts over: runs of tape items stepped several at a time, int literal sets
held as a 64-bit mask, texts compared as masked words, and the user code a shortcut must
neither skip nor run twice. Each case is answered by both interpreters of
test_fast_paths and compared answer for answer, record for record and call for call, and
the JSON roads against the Python road on the value the document loads to."""

import itertools
import json

import pytest

from test_fast_paths import all_same_as_slow, ask  # noqa: F401 - ask: the servers

# Items the tape's run loops test at once (simd_tape.h).
STEP = 4
LENGTHS = range(3 * STEP + 2)
INT64_MIN, INT64_MAX = -2**63, 2**63 - 1


def desc(x):
    """The value description of a loaded JSON value."""
    if x is None:
        return ["none"]
    if isinstance(x, bool):
        return ["bool", x]
    if isinstance(x, int):
        return ["int", x]
    if isinstance(x, float):
        return ["float", x]
    if isinstance(x, str):
        return ["str", x, "new"]
    if isinstance(x, list):
        return ["list", [desc(y) for y in x]]
    return ["dict", "dict", [[["str", k, "new"], desc(v)] for k, v in x.items()]]


def case(schema, document):
    return [schema, desc(json.loads(document)), document]


# --- runs of items stepped several at a time -------------------------------------

def tagged_member(tag, name, kind):
    return ["record", [["kind", ["lit", [tag]], True], [name, [kind], True]]]


RECORD = ["record", [["a", ["int"], True], ["b", ["str"], True]]]
TAGGED = ["union", [tagged_member("a", "x", "int"), tagged_member("b", "y", "str")]]
BIG = "18446744073709551616"  # past 64 bits: not on the SIMD tape
# Per item kind: the schema, members to fill arrays with (in turn, so kinds of one and
# two tape words alternate at every offset of a step), and strangers to spoil them.
RUN_KINDS = {
    "str": (["str"], ['"a"', '"\\u00e9t\\u00e9"', '""'], ["1", "null", "true", "[]", "{}", "1.5"]),
    "bool": (["bool"], ["true", "false"], ["1", "0", "null", '"true"', "[]"]),
    "None": (["none"], ["null"], ["false", "0", '"null"', "{}"]),
    "int": (["int"], ["1", "-1", "9223372036854775807", "-9223372036854775808", "9223372036854775808"],
            ["1.0", "1e2", '"1"', "true", "null", "[1]"]),
    "float": (["float"], ["1.0", "2.5", "-0.0", "1e300"], ["1", "null", '"1.0"', "true", "[]", BIG]),
    "int | float": (["union", [["int"], ["float"]]], ["1", "2.5", "9223372036854775808"],
                    ["null", '"1"', "true", "[]"]),
    "Literal[1, 2, 3]": (["lit", [1, 2, 3]], ["1", "2", "3"],
                         ["9", "0", "4", "1.0", "true", '"1"', "null", "9223372036854775808"]),
    "Literal[0, 63]": (["lit", [0, 63]], ["0", "63"], ["64", "1", "-1", "62"]),
    "Literal[-5, 58]": (["lit", [-5, 58]], ["-5", "58"], ["59", "-6", "-4", "57", "0"]),
    "Literal of texts": (["lit", ["a", "bc", "w1"]], ['"a"', '"bc"', '"w1"'],
                         ['"b"', '"ab"', '"A"', "1", "null", '"w10"']),
    "Literal of texts and ints": (["lit", ["a", 1, 2]], ['"a"', "1", "2"],
                                  ['"b"', "3", "1.0", "true", "null"]),
    "record": (RECORD, ['{"a": 1, "b": "x"}', '{"b": "y", "a": 2}'],
               ['{"a": "x", "b": "x"}', '{"a": 1}', '{"a": 1, "b": "x", "c": 1}',
                '{"a": 1, "b": "x", "a": 1.5}', "[]", "null"]),
    "tagged union": (TAGGED, ['{"kind": "a", "x": 1}', '{"kind": "b", "y": "s"}', '{"x": 2, "kind": "a"}'],
                     ['{"kind": "c", "x": 1}', '{"kind": "a", "y": "s"}', '{"kind": "a", "x": 1, "kind": "b"}',
                      '{"kind": "b", "y": 1}', "[]", "null"]),
    "float | str": (["union", [["float"], ["str"]]], ["1.5", '"a"'], ["1", "null", "true", "[]"]),
    "int | str": (["union", [["int"], ["str"]]], ["1", '"a"', '"b"'], ["1.5", "null", "{}", "false"]),
    "str | bool | None": (["union", [["str"], ["bool"], ["none"]]], ['"a"', "true", "null"],
                          ["1", "1.5", "[]", "{}", BIG]),
}


def spoiled_runs(fillers, strangers, full):
    """Arrays of every length up to three steps and one more: all members, and one
    stranger at every place; `full`: each stranger at every place, and two strangers at
    every pair of places, else the strangers in turn."""
    for n in LENGTHS:
        items = [fillers[i % len(fillers)] for i in range(n)]
        yield items
        for at in range(n):
            for stranger in strangers if full else [strangers[(n + at) % len(strangers)]]:
                yield items[:at] + [stranger] + items[at + 1:]
        if full:
            for a, b in itertools.combinations(range(n), 2):
                spoiled = list(items)
                spoiled[a] = strangers[(a + b) % len(strangers)]
                spoiled[b] = strangers[(a * b + 1) % len(strangers)]
                yield spoiled


@pytest.mark.parametrize("kind", RUN_KINDS.values(), ids=RUN_KINDS.keys())
def test_runs_of_items_spoiled_at_every_place(ask, kind):
    item, fillers, strangers = kind
    cases = []
    for items in spoiled_runs(fillers, strangers, full=True):
        cases.append(case(["list", item], "[" + ",".join(items) + "]"))
    for items in spoiled_runs(fillers, strangers, full=False):
        array = "[" + ",".join(items) + "]"
        # As a map's value and as a record's field, beside a good entry.
        cases.append(case(["map", ["str"], ["list", item]], '{"k": %s, "j": []}' % array))
        cases.append(case(["record", [["a", ["list", item], True], ["b", ["int"], True]]],
                          '{"a": %s, "b": 1}' % array))
    all_same_as_slow(ask, cases)


# --- int literal sets held as a mask ---------------------------------------------

INT_SETS = [[0, 1, 2], [-1, 0, 62], [0, 63], [0, 64], [0, 65], [-5, 58], [-5, 59], [-64, -1],
            [5], [0, 63, 64], [INT64_MIN, INT64_MIN + 63], [INT64_MIN, INT64_MIN + 64],
            [INT64_MAX - 63, INT64_MAX], [INT64_MAX - 64, INT64_MAX], [INT64_MIN, INT64_MAX],
            [INT64_MIN], [INT64_MAX], [-1, 2**63]]


def near_mask(members):
    """Every member and its neighbours, and the places a 64-bit mask from the least member
    starts and ends."""
    least = min(members)
    around = {least + d for d in (-65, -64, -63, -2, -1, 0, 1, 62, 63, 64, 65, 127, 128)}
    around |= {m + d for m in members for d in (-1, 0, 1)}
    around |= {0, -1, 64, INT64_MIN, INT64_MAX, 2**63, 2**64 - 1}
    return sorted(around)


@pytest.mark.parametrize("members", INT_SETS, ids=str)
def test_int_literal_sets_at_the_mask_edges(ask, members):
    lit = ["lit", members]
    contexts = [
        (lit, "%s"),
        (["list", lit], "[%s]"),
        # After a run of members, and at its start.
        (["list", lit], "[" + f"{members[0]}," * (2 * STEP + 1) + "%s]"),
        (["list", lit], "[%s" + f",{members[-1]}" * (2 * STEP - 1) + "]"),
        (["record", [["a", lit, True]]], '{"a": %s}'),
        (["record", [["a", ["list", lit], True]]], '{"a": [%s]}'),
        (["map", ["str"], lit], '{"k": %s}'),
        (["list", ["lit", members + ["a"]]], "[%s]"),
        (["union", [lit, ["str"]]], "%s"),
    ]
    cases = []
    for value in near_mask(members):
        for number in (str(value), f"{value}.0"):
            for schema, document in contexts:
                cases.append(case(schema, document % number))
    all_same_as_slow(ask, cases)


# --- texts compared as masked words ------------------------------------------------

# A key or literal text is laid out after its 4-byte length and compared as one word
# (texts of up to 4 bytes), two words (12), two 16-byte loads (28) or byte by byte.
ALNUM = "abcdefghijklmnopqrstuvwxyz0123456789"
MEMBER_TEXTS = ([ALNUM[:n] for n in range(31)]
                + ["é", "aé", "éé", "aéé", "東a", "東東", "a東東東", "é" * 6, "a" + "é" * 6,
                   "😀" * 3, "😀" * 3 + "a", "東" * 9 + "a", "東" * 9 + "ab", "a😀" * 6 + "é"])


def spelled(text, escaped=False):
    """A JSON string of the text, every character as a \\u escape when `escaped`."""
    if not escaped:
        return json.dumps(text, ensure_ascii=False)
    units = text.encode("utf-16-be")
    return '"' + "".join("\\u%02x%02x" % (units[i], units[i + 1]) for i in range(0, len(units), 2)) + '"'


def near_texts(member):
    """The member (plain and escaped), and texts that differ from it at each byte, or are
    a byte shorter or longer."""
    yield member, spelled(member)
    yield member, spelled(member, escaped=True)
    raw = member.encode()
    variants = [raw[:p] + bytes([raw[p] ^ 1]) + raw[p + 1:]
                for p in range(len(raw))]
    variants += [raw[:-1], raw + b"x", raw + "é".encode()]
    for variant in variants:
        try:
            text = variant.decode()
        except UnicodeDecodeError:
            continue
        yield text, spelled(text)
    if member:
        yield member[:-1] + "x", spelled(member[:-1] + "x", escaped=True)


def text_contexts(member):
    """Where a text is compared as masked words, each with a JSON document around `%s`."""
    lit = ["lit", [member]]
    tagged = ["union", [["record", [["kind", lit, True], ["x", ["int"], True]]],
                        ["record", [["kind", ["lit", ["zz"]], True], ["y", ["str"], True]]]]]
    keyed = ["union", [["record", [[member, ["lit", ["a"]], True], ["x", ["int"], True]]],
                       ["record", [[member, ["lit", ["b"]], True], ["y", ["str"], True]]]]]
    # Sets of texts of 4 to 12 bytes are compared with the one text a string's first
    # word picks: beside one other text, and among eight.
    pair = ["lit", [member, "zzzz"]]
    eight = ["lit", [member] + [f"w{k:03d}" for k in range(7)]]
    return [
        (["list", lit], "[%s]"),
        (["list", ["lit", [member, "x" * 20]]], "[%s]"),
        (["list", pair], '["zzzz", %s]'),
        (["list", eight], '[%s, "w003"]'),
        (["record", [["a", ["list", pair], True]]], '{"a": [%s]}'),
        (["map", ["str"], ["list", eight]], '{"k": ["w001"], "j": [%s]}'),
        (["record", [["a", lit, True], ["b", ["int"], True]]], '{"a": %s, "b": 1}'),
        (["record", [["a", ["list", lit], True]]], '{"a": [%s, %s]}'),
        (tagged, '{"kind": %s, "x": 1}'),
        (["list", tagged], '[{"kind": %s, "x": 1}]'),
        # The text as a field's name and as a tag's key.
        (["record", [[member, ["int"], True]]], "{%s: 1}"),
        (["record", [[member, ["int"], True], ["b", ["int"], True]], "open"], '{%s: 1, "b": 2}'),
        (["record", [[member, ["int"], False]], "open"], '{%s: 1}'),
        (["list", keyed], '[{%s: "a", "x": 1}]'),
    ]


@pytest.mark.parametrize("member", MEMBER_TEXTS, ids=lambda t: f"{len(t.encode())} bytes {t[:6]!a}")
def test_texts_near_a_member_at_every_byte(ask, member):
    cases = []
    for schema, document in text_contexts(member):
        for _, spelling in near_texts(member):
            cases.append(case(schema, document.replace("%s", spelling)))
    all_same_as_slow(ask, cases)


# --- user code a shortcut must run as the reference walk does ----------------------

def at_least(n):
    return ["cons", ["int"], [["ge", ["counted", n]]]]


NOTED = ["cons", ["int"], [["pred", "log"]]]
BELOW = ["cons", ["float"], [["lt", ["counted", 2.5]]]]
USER_FIELDS = [at_least(3), NOTED, BELOW]
REPEATED_KEYS = ['{"a": 5}', '{"a": 5, "a": 6}', '{"a": 1, "a": 6}', '{"a": 6, "a": 1}',
                 '{"a": "x", "a": 5}', '{"a": 5, "a": "x"}', '{"a": 5, "b": 1, "a": 0}',
                 '{"b": 1, "a": 5, "a": 2.0}', '{"a": 4, "a": 0.5, "a": 1}', "{}", "[]"]


def user_code_cases():
    for field in USER_FIELDS:
        record = ["record", [["a", field, True], ["b", ["int"], False]]]
        for document in REPEATED_KEYS:
            yield [record, document]
            yield [["list", record], f"[{document}, {document}]"]
            yield [["map", ["str"], field], document]
            yield [["record", [["b", ["int"], False]], ["clause", ["str"], field]], document]
            yield [["typeddict", "Row", [["a", field, True], ["b", ["int"], False]]], document]
        member = ["union", [field, ["str"], ["cons", ["int"], [["pred", "log"], ["le", ["counted", 9]]]]]]
        for document in ["5", "0", '"x"', "1.5", "20", "null", "[5]"]:
            yield [member, document]
            yield [["list", member], f"[{document}, 3, {document}]"]
        tagged = ["union", [["record", [["kind", ["lit", ["a"]], True], ["v", field, True]]],
                            ["record", [["kind", ["lit", ["b"]], True], ["v", ["str"], True]]],
                            ["record", [["kind", ["lit", [3]], True], ["w", field, False]]]]]
        for document in ['{"kind": "a", "v": 5}', '{"v": 5, "kind": "a"}', '{"kind": "b", "v": 5}',
                         '{"kind": "a", "v": 5, "kind": "b"}', '{"kind": "b", "v": 5, "kind": "a"}',
                         '{"kind": "a", "v": 5, "v": 1}', '{"kind": 3, "w": 4, "w": 8}',
                         '{"kind": 3.0, "w": 4}', '{"kind": "c", "v": 5}', '{"v": 5}']:
            yield [tagged, document]
            yield [["list", tagged], f"[{document}, {document}]"]
    # A literal whose equality is user code: only a value of its own type reaches it.
    counted = ["lit", [["counted", 1], 2]]
    for schema in (counted, ["list", counted], ["record", [["a", counted, True]]]):
        for value in (["counted", 1], ["counted", 2], ["int", 1], ["int", 2]):
            wrapped = {"lit": value, "list": ["list", [value, value]],
                       "record": ["dict", "dict", [[["str", "a", "new"], value]]]}[schema[0]]
            yield [schema, wrapped, None]


def test_user_code_runs_as_often_as_in_the_reference_walk(ask):
    all_same_as_slow(ask, [c if len(c) == 3 else case(*c) for c in user_code_cases()])


@pytest.mark.parametrize("field, calls", [(at_least(3), ["le 3 6"]), (NOTED, ["pred 6"])],
                         ids=["bound", "predicate"])
def test_a_repeated_key_asks_user_code_about_its_last_entry_only(ask, field, calls):
    record = ["record", [["a", field, True]]]
    answers = all_same_as_slow(ask, [case(record, '{"a": 5, "a": 6}')])[0]
    python, json_roads = answers["calls"][:4], answers["calls"][4:10]
    assert python == [calls] * 4 and json_roads == [calls] * 6


# --- sets at the edges of what a word or a small table holds -------------------------

def tagged_union(count, tag):
    """A union of `count` records told apart by `kind`, the first field of all but every
    third."""
    fields = [[["kind", ["lit", [tag(i)]], True], ["x", ["int"], True]] for i in range(count)]
    return ["union", [["record", f[::-1] if i % 3 == 2 else f] for i, f in enumerate(fields)]]


@pytest.mark.parametrize("count", [63, 64, 65, 66])
@pytest.mark.parametrize("tag", [lambda i: f"t{i}", lambda i: i], ids=["str tags", "int tags"])
def test_tagged_unions_around_64_members(ask, count, tag):
    # Which members take the tag first is a 64-bit mask over member positions.
    union = tagged_union(count, tag)
    cases = []
    for at in sorted({0, 1, 62, 63, 64, 65, count - 1, count} & set(range(count + 1))):
        spelled_tag = json.dumps(tag(at))
        for document in ('{"kind": %s, "x": 1}', '{"kind": %s, "x": "s"}', '{"x": 1, "kind": %s}',
                         '{"kind": %s, "x": 1, "kind": "t0"}'):
            document %= spelled_tag
            cases += [case(union, document), case(["list", union], f"[{document}, {document}]")]
    all_same_as_slow(ask, cases)


@pytest.mark.parametrize("count", [7, 8, 9])
def test_literal_text_sets_around_the_most_compared_in_place(ask, count):
    texts = [ALNUM[: 1 + i % 13] + str(i) for i in range(count)]
    lit = ["lit", texts]
    cases = []
    for member in texts:
        for _, spelling in near_texts(member):
            cases += [case(["list", lit], f"[{spelling}]"),
                      case(["record", [["a", lit, True]]], '{"a": %s}' % spelling),
                      case(["record", [["a", ["list", lit], True]]], '{"a": ["%s", %s]}' % (texts[0], spelling))]
    all_same_as_slow(ask, cases)


# A map of keys decided by kind and values walked: every entry answers at once where all
# pass; a failing entry may be replaced by a later one of its key, which the general
# road settles, and user code under the values leaves the map to it.
MAP_VALUES = {
    "list[int]": ["list", ["int"]],
    "list of literal texts": ["list", ["lit", ["alpha", "beta", "gamma"]]],
    "record": ["record", [["a", ["int"], True]]],
    "noted list": ["list", NOTED],
}
MAP_DOCUMENTS = {
    "list[int]": ['{"k": [1, 2], "j": [3]}', '{"k": [1, "x"], "k": [1]}', '{"k": [1], "k": [1.5]}',
                  '{"k": [1], "j": null}', '{"k": [], "j": [true]}', "{}"],
    "list of literal texts": ['{"k": ["alpha", "beta"]}', '{"k": ["alphb"], "k": ["gamma"]}',
                              '{"k": ["gamma"], "k": ["delta"]}', '{"k": ["alpha"], "j": "alpha"}'],
    "record": ['{"k": {"a": 1}, "j": {"a": 2}}', '{"k": {"a": "x"}, "k": {"a": 1}}',
               '{"k": {"a": 1}, "k": {}}', '{"k": {"a": 1, "a": "x"}}'],
    "noted list": ['{"k": [1, 0], "k": [2]}', '{"k": [3], "j": [0, 4]}', '{"k": [5], "k": [6]}'],
}


# Keys of the one kind JSON has, of kinds it has not, and of a literal set.
MAP_KEYS = [["str"], ["int"], ["union", [["int"], ["none"]]], ["lit", ["k", "j"]]]


@pytest.mark.parametrize("name", MAP_VALUES)
def test_maps_of_walked_values(ask, name):
    cases = [case(["map", key, MAP_VALUES[name]], d) for key in MAP_KEYS for d in MAP_DOCUMENTS[name]]
    all_same_as_slow(ask, cases)
