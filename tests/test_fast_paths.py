"""The fast roads answer exactly as the reference walk: every entry point's answer and
every record, on Python values and on JSON documents, compared between an interpreter
with the fast roads and one with TARMELIX_SLOW_PATHS=1."""

import gc
import itertools
import json
import math
import os
import subprocess
import sys
from pathlib import Path
from typing import Literal

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from fast_path_cases import ENUMS, NAMES, WORDS
from tarmelix import ValidationError, Validator

HERE = Path(__file__).parent
NAN = math.nan
INF = math.inf


class Server:
    """An interpreter answering cases (fast_path_cases.serve). Both run with one hash
    seed, so sets iterate alike and their records come in the same order."""

    def __init__(self, slow):
        env = dict(os.environ, PYTHONHASHSEED="12",
                   PYTHONPATH=os.pathsep.join([str(HERE)] + sys.path))
        env.pop("TARMELIX_SLOW_PATHS", None)
        if slow:
            env["TARMELIX_SLOW_PATHS"] = "1"
        self.proc = subprocess.Popen([sys.executable, str(HERE / "fast_path_cases.py")], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def receive(self, line):
        answer = self.proc.stdout.readline()
        assert answer, f"the interpreter ended (status {self.proc.poll()}) on {line[:2000]}"
        return json.loads(answer)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


@pytest.fixture(scope="module")
def ask():
    fast, slow = Server(False), Server(True)

    def both(request):
        # Both at once: the two interpreters work side by side.
        line = json.dumps(request)
        fast.send(line)
        slow.send(line)
        return fast.receive(line), slow.receive(line)

    yield both
    fast.close()
    slow.close()


def member(answer):
    return answer[1] if answer[0] == "ok" else None


def check_agreement(case, fast, slow):
    """The fast interpreter's answers equal the slow one's, and the entry points agree
    among themselves."""
    assert fast == slow, case
    if "construct" in fast:
        return
    python = fast["python"]
    if not any(a[0] == "raised" for a in python):
        assert python[0] == python[1], case
        assert [a[0] == "ok" for a in python[2:]] == [member(python[0])] * 2, case
    if "json" in fast and not any(a[0] == "raised" for a in fast["json"]):
        answers = fast["json"]
        valid = member(answers[0])
        assert [a[0] == "ok" for a in answers[2:]] == [valid] * 4, case
        if "parsed" in fast:
            assert fast["parsed"] == answers[0], case
        if "\ud800" not in case[2]:
            assert answers[1] == answers[0], case


def same_as_slow(ask, case):
    fast, slow = ask(case)
    check_agreement(case, fast, slow)
    return fast


def all_same_as_slow(ask, cases):
    fast, slow = ask(["batch", cases])
    for case, f, s in zip(cases, fast, slow, strict=True):
        check_agreement(case, f, s)
    return fast


# --- schemas ---------------------------------------------------------------------

INTS = [0, 1, 2, -1, 300, 2**53, 2**53 + 1, 2**63 - 1, -2**63, 2**63, 2**64, 2**70, -2**70, 10**20]
FLOATS = [0.5, 1.0, -0.0, 0.0, 2.5, 1e300, 2.0**53, 2.0**63, 1e20, NAN, -INF]
MEMBERS = [["enum", "Color", "RED"], ["enum", "Color", "GREEN"], ["enum", "Hue", "RED"],
           ["enum", "Level", "LOW"], ["enum", "Tone", "W1"]]
LITERALS = (
    st.lists(st.sampled_from(WORDS), min_size=1, max_size=6, unique=True)
    | st.lists(st.sampled_from(INTS), min_size=1, max_size=4, unique=True)
    | st.lists(st.sampled_from(["w1", "w2", "", "é"] + INTS[:6] + FLOATS[:4] + [True, False, None, NAN]
                               + MEMBERS), min_size=1, max_size=4))

# A counted bound is user code: its calls are compared too.
BOUNDS = st.sampled_from([0, 1, 5, -3, 300, 0.0, -0.0, 2.5, 1.5, 1e20, NAN, INF, 2**53, 2**53 + 1,
                          2**63, -2**63 - 1, 2**64, 2**70, -2**70, 10**20, ["counted", 1],
                          ["counted", 2.5]])
NUMERIC = st.lists(st.tuples(st.sampled_from(["ge", "gt", "le", "lt"]), BOUNDS).map(list)
                   | st.tuples(st.just("mult"), st.sampled_from([2, 3, 0.5, 2.5, 2**64])).map(list)
                   | st.sampled_from([["pred", "pos"], ["pred", "log"]]), min_size=1, max_size=3)
LENGTHS = st.lists(st.tuples(st.sampled_from(["minlen", "maxlen"]), st.integers(0, 4)).map(list),
                   min_size=1, max_size=2)
PATTERNS = ["w[0-9]+", "a|ab", "", "[a-z]*", "é.", "\\d{2}"]
TEXTS = LENGTHS | st.sampled_from(PATTERNS).map(lambda p: [["regex", p]]) \
    | st.just([["regex", "w[0-9]+"], ["maxlen", 2]]) | st.just([["pred", "raise"]])
CONSTRAINED = (st.tuples(st.sampled_from(["int", "float"]), NUMERIC)
               | st.tuples(st.just("str"), TEXTS)
               # Bounds of one type against values of another.
               | st.tuples(st.sampled_from(["str", "any"]), NUMERIC)).map(lambda t: ["cons", [t[0]], t[1]])

# Scalar kinds weigh most: their sequences, records and unions have the most fast roads.
SCALARS = st.sampled_from([["int"], ["str"], ["float"], ["bool"], ["none"]])
# The everyday shapes: homogeneous containers of a scalar kind, of a union of kinds, of
# literals or of constrained scalars.
KIND_UNIONS = st.lists(SCALARS, min_size=2, max_size=3).map(lambda cs: ["union", cs])
ELEMENTS = st.one_of(SCALARS, SCALARS, KIND_UNIONS, LITERALS.map(lambda xs: ["lit", xs]),
                     CONSTRAINED)
SHAPES = st.tuples(st.sampled_from(["list", "tuple", "set", "frozenset", "map"]), ELEMENTS).map(
    lambda t: ["map", ["str"], t[1]] if t[0] == "map" else [t[0], t[1]])
LEAVES = st.one_of(
    SCALARS, SCALARS, SCALARS, SHAPES, SHAPES,
    st.sampled_from([["bytes"], ["any"], ["object"], ["obj", "Point"], ["obj", "SlotPoint"],
                     ["class", "Color"], ["class", "Level"], ["mut", "shrink"], ["mut", "grow_dict"]]),
    LITERALS.map(lambda xs: ["lit", xs]),
    LITERALS.map(lambda xs: ["const", xs[0]]),
    CONSTRAINED,
)

KEYS = st.sampled_from([["str"], ["int"], ["any"], ["lit", ["w1", "w2"]], ["lit", [1, 2]],
                        ["cons", ["str"], [["regex", "w[0-9]+"]]]])


def fields(children, unique=False, min_size=1):
    field = st.tuples(st.sampled_from(NAMES), children, st.booleans()).map(list)
    return st.lists(field, min_size=min_size, max_size=4,
                    unique_by=(lambda f: f[0]) if unique else None)


@st.composite
def tagged(draw, children):
    """A union of records that each require `kind`, bound to tags of their own."""
    count = draw(st.integers(2, 4))
    tags = draw(st.lists(st.sampled_from(WORDS), min_size=count, max_size=count, unique=True)
                | st.lists(st.sampled_from([0, 1, 2, 3, 300, -1]), min_size=count,
                           max_size=count, unique=True))
    members = []
    for tag in tags:
        fs = draw(fields(children, unique=True, min_size=0))
        fs.insert(draw(st.integers(0, len(fs))), ["kind", ["lit", [tag]], True])
        members.append(draw(st.sampled_from([["typeddict", None, fs], ["record", fs]])))
    return ["union", members]


def recursive_forms(c):
    return st.sampled_from([
        ["rec", ["union", [c, ["list", ["self"]]]]],
        ["rec", ["record", [["v", c, True], ["next", ["self"], False]]]],
        ["rec", ["union", [["none"], c, ["list", ["self"]], ["map", ["str"], ["self"]]]]],
        ["rec", ["union", [
            ["typeddict", None, [["kind", ["lit", ["leaf"]], True], ["v", c, True]]],
            ["typeddict", None, [["kind", ["lit", ["node"]], True], ["kids", ["list", ["self"]], True]]],
        ]]],
    ])


def extend(children):
    few = st.lists(children, min_size=1, max_size=2)
    extra = st.sampled_from([None, None, "open"]) | st.tuples(st.just("clause"), KEYS, children).map(list)
    return st.one_of(
        children.map(lambda c: ["list", c]),
        children.map(lambda c: ["tuple", c]),
        st.lists(children, max_size=3).map(lambda cs: ["tuplefix", cs]),
        st.tuples(few, children).map(lambda t: ["tupletail", t[0], t[1]]),
        (st.lists(children, min_size=2, max_size=3) | st.just([])).map(lambda cs: ["listfix", cs]),
        st.tuples(few, children).map(lambda t: ["listtail", t[0], t[1]]),
        children.map(lambda c: ["set", c]),
        children.map(lambda c: ["frozenset", c]),
        st.tuples(fields(children), extra).map(lambda t: ["record", t[0], t[1]]),
        st.tuples(KEYS, children).map(lambda t: ["map", t[0], t[1]]),
        st.tuples(st.sampled_from(["typeddict", "dataclass", "namedtuple"]),
                  fields(children, unique=True)).map(lambda t: [t[0], None, t[1]]),
        st.lists(children, min_size=1, max_size=4).map(lambda cs: ["union", cs]),
        children.map(lambda c: ["optional", c]),
        tagged(children),
        st.lists(children, min_size=2, max_size=2).map(lambda cs: ["inter", cs]),
        children.map(lambda c: ["not", c]),
        st.tuples(children, LENGTHS).map(lambda t: ["cons", t[0], t[1]]),
        children.flatmap(recursive_forms),
    )


def name_classes(schema):
    """Gives every class a schema makes a name of its own."""
    count = [0]

    def visit(d):
        if isinstance(d, list):
            if len(d) == 3 and d[0] in ("typeddict", "dataclass", "namedtuple") and d[1] is None:
                d[1] = f"C{count[0]}"
                count[0] += 1
            for x in d:
                visit(x)

    visit(schema)
    return schema


SCHEMAS = st.recursive(LEAVES, extend, max_leaves=6).map(name_classes)


# --- values ----------------------------------------------------------------------

HOW = st.sampled_from(["same", "same", "new", "odd"])
STRAY = st.sampled_from([["int", 7], ["str", "w1", "new"], ["none"], ["float", 0.5], ["bool", True],
                         ["list", []], ["tuple", []], ["dict", "dict", []], ["bytes", "w1"],
                         ["eqall"]])
LIKE = {
    "int": [["int", 2**63 - 1], ["int", 2**63], ["int", 2**64], ["int", -2**63 - 1], ["int", 10**20],
            ["intsub", 2], ["bool", False], ["bool", True], ["float", 1.0], ["float", 2.5],
            ["enum", "Level", "LOW"], ["str", "1", "new"]],
    "float": [["float", 2.5], ["float", -0.0], ["float", 0.0], ["float", 1.0], ["float", NAN],
              ["float", INF], ["float", 1e300], ["floatsub", 2.5], ["int", 1], ["int", 0],
              ["int", 2**70], ["int", 2**53 + 1], ["bool", True]],
    "str": [["str", "", "same"], ["str", "é", "new"], ["str", "東京", "new"], ["enum", "Tone", "W1"],
            ["bytes", "w1"], ["int", 1]],
    "bool": [["bool", True], ["bool", False], ["int", 1], ["int", 0], ["intsub", 1], ["float", 1.0]],
    "none": [["none"], ["none"], ["int", 0], ["bool", False], ["str", "None", "new"]],
    "bytes": [["bytes", "w1"], ["bytes", ""], ["str", "w1", "new"]],
}


OTHER_ENUM = {"Color": "Hue", "Hue": "Color"}


def near_literal(x):
    """Values equal to a literal or close to it, of its own type and of others."""
    if isinstance(x, list):
        member = ENUMS[x[1]][x[2]]
        out = [x, x]
        if x[1] in OTHER_ENUM:
            out.append(["enum", OTHER_ENUM[x[1]], x[2]])
        raw = member.value
        out.append(["int", raw] if isinstance(raw, int) else ["str", raw, "new"])
        return out
    if x is None:
        return [["none"]]
    if isinstance(x, bool):
        return [["bool", x], ["int", int(x)], ["float", float(x)]]
    if isinstance(x, int):
        out = [["int", x], ["int", x, "same"], ["float", float(x)], ["intsub", x], ["int", x + 1]]
        if x in (0, 1):
            out.append(["bool", bool(x)])
        if x == 1:
            out += [["enum", "Level", "LOW"], ["enum", "Color", "RED"]]
        return out
    if isinstance(x, float):
        out = [["float", x], ["float", x, "same"], ["floatsub", x]]
        if math.isfinite(x) and x == int(x):
            out.append(["int", int(x)])
        return out
    out = [["str", x, "same"], ["str", x, "new"], ["str", x, "odd"], ["str", x + "1", "new"]]
    if x in ("w1", "w2"):
        out.append(["enum", "Tone", x.upper()])
    return out


def near_bound(b):
    """Numbers on either side of a bound, and equal to it as another type."""
    if isinstance(b, float):
        if not math.isfinite(b):
            return [["float", b], ["float", 0.0], ["int", 2**70]]
        return [["float", b], ["float", math.nextafter(b, INF)], ["float", math.nextafter(b, -INF)],
                ["int", int(b)], ["int", int(b) + 1], ["int", int(b) - 1]]
    return [["int", b], ["int", b + 1], ["int", b - 1], ["float", float(b)], ["float", b + 0.5],
            ["intsub", b], ["bool", True], ["float", NAN]]


def texts_near(n):
    return [["str", "é" * n, "new"], ["str", "a" * n, "new"], ["str", "東" * (n + 1), "new"],
            ["str", "😀" * max(n - 1, 0), "new"]]


PATTERN_TEXTS = ["w12", "w", "a", "ab", "", "é1", "12", "abc", "w1\n", "\ud800"]


@st.composite
def record_value(draw, fields, extra, depth, me, closed_kind=None):
    entries = []
    for name, child, _required in fields:
        if draw(st.integers(0, 5)) > 0:
            entries.append([["str", name, draw(HOW)], draw(value_for(child, depth + 1, me))])
    if draw(st.booleans()):
        entries = draw(st.permutations(entries))
    if draw(st.integers(0, 3)) == 0:
        if isinstance(extra, list):
            key = draw(value_for(extra[1], depth + 1, me))
            item = draw(value_for(extra[2], depth + 1, me))
        else:
            key = draw(st.sampled_from([["str", "zz", "new"], ["int", 1], ["str", "a", "odd"]]))
            item = ["int", 1]
        entries.append([key, item])
    kind = closed_kind or draw(st.sampled_from(["dict", "dict", "sub", "missing"]))
    return ["dict", kind, entries]


@st.composite
def value_for(draw, schema, depth=0, me=None):
    """Mostly a near member of the schema, now and then something else; containers mix
    kinds in their elements."""
    if depth > 4 or draw(st.integers(0, 11)) == 0:
        return draw(STRAY)
    tag = schema[0]
    if tag == "int":
        return draw(st.integers(-3, 3).map(lambda n: ["int", n]) | st.sampled_from(LIKE["int"]))
    if tag == "str":
        return draw(st.tuples(st.sampled_from(WORDS), HOW).map(lambda t: ["str", *t])
                    | st.sampled_from(LIKE["str"]))
    if tag in LIKE:
        return draw(st.sampled_from(LIKE[tag]))
    if tag in ("any", "object"):
        return draw(STRAY | st.sampled_from(LIKE["float"]))
    if tag == "mut":
        return draw(st.sampled_from([["int", 1], ["intsub", 2], ["bool", False]]))
    if tag == "lit":
        return draw(st.sampled_from(near_literal(draw(st.sampled_from(schema[1] + [3, "w11"])))))
    if tag == "const":
        return draw(st.sampled_from(near_literal(schema[1])))
    if tag == "class":
        enum = ENUMS[schema[1]]
        return draw(st.sampled_from([["enum", schema[1], m.name] for m in enum]
                                    + MEMBERS + [["int", 1], ["str", "green", "new"]]))
    if tag in ("list", "tuple", "set", "frozenset"):
        items = draw(st.lists(value_for(schema[1], depth + 1, me), max_size=5))
        kinds = {"list": ["list", "tuple"], "tuple": ["tuple", "list"],
                 "set": ["set", "frozenset"], "frozenset": ["frozenset", "set"]}[tag]
        return [draw(st.sampled_from([kinds[0]] * 3 + [kinds[1]])), items]
    if tag in ("tuplefix", "tupletail", "listfix", "listtail"):
        prefix = schema[1]
        tail = schema[2] if tag.endswith("tail") else None
        items = [draw(value_for(s, depth + 1, me)) for s in prefix]
        if tail is not None:
            items += draw(st.lists(value_for(tail, depth + 1, me), max_size=3))
        cut = draw(st.integers(0, 5))
        if cut == 0 and items:
            items.pop()
        elif cut == 1:
            items.append(draw(STRAY))
        kind = "tuple" if tag.startswith("tuple") else "list"
        other = "list" if kind == "tuple" else "tuple"
        return [draw(st.sampled_from([kind] * 4 + [other])), items]
    if tag == "record":
        return draw(record_value(schema[1], schema[2] if len(schema) > 2 else None, depth, me))
    if tag == "typeddict":
        return draw(record_value(schema[2], None, depth, me, "dict"))
    if tag in ("dataclass", "namedtuple"):
        field_values = [[name, draw(value_for(s, depth + 1, me))] for name, s, _ in schema[2]]
        if draw(st.integers(0, 4)) > 0:
            return ["inst", schema[1], tag, field_values]
        if tag == "namedtuple":
            return ["tuple", [v for _, v in field_values]]
        return ["dict", "dict", [[["str", n, "same"], v] for n, v in field_values]]
    if tag == "map":
        entries = draw(st.lists(st.tuples(value_for(schema[1], depth + 1, me),
                                          value_for(schema[2], depth + 1, me)).map(list),
                                max_size=4))
        return ["dict", draw(st.sampled_from(["dict", "dict", "sub"])), entries]
    if tag in ("union", "inter"):
        return draw(value_for(draw(st.sampled_from(schema[1])), depth, me))
    if tag in ("optional", "not"):
        return draw(value_for(schema[1], depth, me) | st.just(["none"]))
    if tag == "cons":
        base, constraints = schema[1], schema[2]
        near = []
        for kind, arg in constraints:
            if kind in ("ge", "gt", "le", "lt"):
                near += near_bound(arg[1] if isinstance(arg, list) else arg)
            elif kind == "mult":
                near += [["int", 6], ["int", 7], ["float", 7.5], ["float", 5.0], ["int", 2**65]]
            elif kind in ("minlen", "maxlen") and base[0] == "str":
                near += texts_near(arg)
            elif kind == "regex":
                near += [["str", t, "new"] for t in PATTERN_TEXTS]
        options = value_for(base, depth, me)
        if near:
            options = options | st.sampled_from(near)
        return draw(options)
    if tag == "rec":
        return draw(value_for(schema[1], depth, schema[1]))
    if tag == "self":
        return draw(value_for(me, depth + 1, me))
    if tag == "obj":
        cls = draw(st.sampled_from([schema[1], schema[1], "Getattr", "Prop"]))
        y = draw(st.sampled_from([["str", "w1", "new"], ["str", "raise", "new"], ["int", 1]]))
        return ["obj", cls, draw(st.sampled_from([["int", 1], ["str", "w2", "same"]])), y]
    raise AssertionError(schema)


# --- JSON texts ------------------------------------------------------------------

def spell_int(n):
    """JSON spellings of an integer; some make it a float."""
    out = [str(n), str(n), f"{n}.0", f"{n}e0"]
    if n == 0:
        out.append("-0")
    return st.sampled_from(out)


def spell_float(x):
    if math.isnan(x):
        return st.sampled_from(["NaN", "1e400"])
    if math.isinf(x):
        return st.sampled_from(["Infinity", "-1e400" if x < 0 else "1e400", "1.8e308"])
    out = [repr(x), repr(x), f"{x:e}", f"{x:E}".replace("E+", "E")]
    if x == 0:
        out += ["0e99999", "1e-400", "-0.0e-7"]
    if x == int(x) and abs(x) < 1e16:
        out += [f"{int(x)}.000", f"{int(x) * 10}e-1"]
    return st.sampled_from(out)


@st.composite
def json_text(draw, d):
    """A JSON text of a value: numbers spelled several ways, objects that now and then
    repeat a key, and what JSON cannot hold as what it loads to."""
    tag = d[0]
    if tag in ("int", "intsub"):
        return draw(spell_int(d[1]))
    if tag in ("float", "floatsub"):
        return draw(spell_float(d[1]))
    if tag == "bool":
        return "true" if d[1] else "false"
    if tag in ("none", "eqall"):
        return "null"
    if tag in ("str", "bytes"):
        return json.dumps(d[1], ensure_ascii=draw(st.booleans()))
    if tag == "enum":
        return json.dumps(ENUMS[d[1]][d[2]].value)
    if tag in ("list", "tuple", "set", "frozenset"):
        return "[" + ",".join(draw(json_text(x)) for x in d[1]) + "]"
    if tag in ("dict", "inst", "obj"):
        if tag == "inst" and d[2] == "namedtuple":
            return "[" + ",".join(draw(json_text(x)) for _, x in d[3]) + "]"
        if tag == "dict":
            entries = [[k[1] if k[0] == "str" else draw(json_text(k)).strip('"'), v] for k, v in d[2]]
        elif tag == "inst":
            entries = d[3]
        else:
            entries = [["x", d[2]], ["y", d[3]]]
        if entries and draw(st.integers(0, 5)) == 0:
            # The same key again, before or after, with another value.
            key = draw(st.sampled_from(entries))[0]
            at = draw(st.integers(0, len(entries)))
            entries = entries[:at] + [[key, draw(STRAY)]] + entries[at:]
        return "{" + ",".join(json.dumps(k) + ":" + draw(json_text(v)) for k, v in entries) + "}"
    raise AssertionError(d)


@st.composite
def cases(draw):
    schema = draw(SCHEMAS)
    value = draw(value_for(schema))
    document = None
    if draw(st.integers(0, 3)) > 0:
        document = draw(json_text(value))
        if draw(st.integers(0, 5)) == 0:
            document = draw(st.sampled_from([" ", "\n", "\t \r\n"])) + document + " "
    return [schema, value, document]


@settings(max_examples=400, deadline=None,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large,
                                 HealthCheck.filter_too_much])
@given(case=cases())
def test_fast_roads_answer_as_the_reference_walk(ask, case):
    same_as_slow(ask, case)


# --- chosen cases ----------------------------------------------------------------

REC = ["record", [["a", ["int"], True], ["b", ["lit", ["w1", "w2"]], False], ["a", ["str"], False]]]
ROWS = ["list", ["record", [["a", ["int"], True], ["b", ["mut", "shrink"], True]]]]


def row(a="same", b="same"):
    return ["dict", "dict", [[["str", "a", a], ["int", 1]], [["str", "b", b], ["int", 2]]]]


@pytest.mark.parametrize("case, first", [
    # Interned keys in order, then the same keys equal but not identical, or str subclasses.
    ([["record", [["a", ["int"], True], ["b", ["int"], True]]], row()], ["ok", True]),
    ([["record", [["a", ["int"], True], ["b", ["int"], True]]], row("new", "odd")], None),
    # A later field of the same name shadows the earlier one, whose key is never matched.
    ([REC, ["dict", "dict", [[["str", "a", "same"], ["int", 1]]]]], ["ok", False]),
    ([REC, ["dict", "sub", [[["str", "a", "same"], ["str", "x", "new"]]]]], None),
    # A predicate under a list's record shortens the list during the walk.
    ([ROWS, ["list", [row(), row(), ["dict", "dict", []], row()]]], None),
    # ...or grows the dict under check.
    ([["record", [["a", ["mut", "grow_dict"], True]]], row()], None),
    # Literal values that are the constants, equal new strs, subclasses, bools, big ints.
    ([["list", ["lit", ["w1", "w2", 1, 2**70]]],
      ["list", [["str", "w1", "same"], ["str", "w2", "new"], ["int", 2**70], ["int", 1]]]],
     ["ok", True]),
    ([["tuple", ["lit", ["w1", 1]]],
      ["tuple", [["str", "w1", "odd"], ["bool", True], ["int", 1], ["str", "w3", "same"]]]],
     ["ok", False]),
    ([["list", ["int"]], ["list", [["int", 1], ["str", "x", "new"], ["int", 2], ["none"]]]],
     ["ok", False]),
    ([["list", ["obj", "Point"]],
      ["list", [["obj", "Getattr", ["int", 1], ["int", 1]], ["obj", "Prop", ["int", 1], ["str", "raise", "new"]],
                ["obj", "SlotPoint", ["int", 1], ["str", "y", "new"]]]]], ["ok", False]),
])
def test_hostile_values(ask, case, first):
    answers = same_as_slow(ask, case)
    if first is not None:
        assert answers["python"][0] == first


# Every element kind a fast road tests by type, literal set or bound, in every container,
# against values of neighbouring kinds (alone, twice, and all in one container).
ELEMENT_KINDS = {
    "int": ["int"], "float": ["float"], "bool": ["bool"], "str": ["str"], "None": ["none"],
    "bytes": ["bytes"], "int | None": ["optional", ["int"]], "int | str": ["union", [["int"], ["str"]]],
    "float | bool": ["union", [["float"], ["bool"]]], "str | None": ["union", [["str"], ["none"]]],
    "Literal[1, 2, 3]": ["lit", [1, 2, 3]], "Literal[a, b, c, d]": ["lit", ["a", "b", "c", "d"]],
    "Literal of mixed types": ["lit", [1, "a", 1.5, True, -0.0]],
    "Literal of big ints": ["lit", [2**70, 3, 2**63, -2**63 - 1]],
    "Literal of enum members": ["lit", [["enum", "Color", "RED"], ["enum", "Level", "LOW"],
                                        ["enum", "Tone", "W1"]]],
    "enum class": ["class", "Color"],
    "bare literal 2**53": ["const", 2**53], "bare literal 1": ["const", 1],
    "bare literal 'a'": ["const", "a"], "bare literal 0.5": ["const", 0.5],
    "int in [0, 10]": ["cons", ["int"], [["ge", 0], ["le", 10]]],
    "float in (0, 1)": ["cons", ["float"], [["gt", 0], ["lt", 1]]],
    "int >= 2**63": ["cons", ["int"], [["ge", 2**63]]],
    "int < -2**63": ["cons", ["int"], [["lt", -2**63]]],
    "float <= 2**53": ["cons", ["float"], [["le", 2**53]]],
    "int > 0.5": ["cons", ["int"], [["gt", 0.5]]],
    "int multiple of 2": ["cons", ["int"], [["mult", 2]]],
    "str of 1 to 2": ["cons", ["str"], [["minlen", 1], ["maxlen", 2]]],
    "str pattern": ["cons", ["str"], [["regex", "[a-w][0-9]?"]]],
}
MIXES = [["int", 1], ["int", 0], ["int", 3], ["int", -1], ["int", 2**63], ["int", 2**63 - 1],
         ["int", -2**63 - 1], ["int", 2**70], ["int", 2**70, "same"], ["int", 2**53 + 1],
         ["bool", True], ["bool", False], ["intsub", 1], ["float", 1.0], ["float", 2.5],
         ["float", 0.5], ["float", -0.0], ["float", NAN], ["float", INF], ["float", 2.0**63],
         ["floatsub", 0.5], ["str", "a", "same"], ["str", "a", "new"], ["str", "a", "odd"],
         ["str", "w1", "new"], ["str", "é", "new"], ["str", "abc", "new"], ["enum", "Tone", "W1"],
         ["enum", "Color", "RED"], ["enum", "Hue", "RED"], ["enum", "Level", "LOW"],
         ["bytes", "a"], ["none"], ["eqall"]]
JSON_MIXES = ["1", "-0", "3", "1.0", "1e2", "1E-2", "-0.0", "0.1e1", "2.5", "0.5",
              "10000000000000000000000", "9007199254740993", "9223372036854775807",
              "9223372036854775808", "-9223372036854775809", "18446744073709551616", "1e400",
              "true", "false", "null", '"a"', '"w1"', '"\\u00e9"', '"é"', '"abc"', '"1"', "[]",
              "{}"]


def contained(container, element, values, texts):
    """A case of `element` in `container` holding the values, and a document holding
    the texts."""
    items = ",".join(texts)
    keyed = ",".join(f'"k{i}":{t}' for i, t in enumerate(texts))
    if container in ("list", "tuple", "set", "frozenset"):
        return [[container, element], [container, values], f"[{items}]"]
    if container == "map":
        entries = [[["str", f"k{i}", "new"], v] for i, v in enumerate(values)]
        return [["map", ["str"], element], ["dict", "dict", entries], "{" + keyed + "}"]
    if container == "record":
        fields = [[f"k{i}", element, True] for i in range(len(values))]
        entries = [[["str", f"k{i}", "same"], v] for i, v in enumerate(values)]
        return [["record", fields], ["dict", "dict", entries], "{" + keyed + "}"]
    if container == "fixed tuple":
        return [["tuplefix", [element] * len(values)], ["tuple", values], f"[{items}]"]
    # A list of one str and then any number of the element.
    return [["listtail", [["str"]], element], ["list", [["str", "s", "new"]] + values],
            f'["s",{items}]']


@pytest.mark.parametrize("element", ELEMENT_KINDS.values(), ids=ELEMENT_KINDS.keys())
def test_mixed_kinds_in_homogeneous_containers(ask, element):
    cases = []
    for container in ("list", "tuple", "set", "frozenset", "map", "record", "fixed tuple", "tail"):
        for i, mix in enumerate(MIXES):
            text = JSON_MIXES[i % len(JSON_MIXES)]
            cases.append(contained(container, element, [mix], [text]))
            cases.append(contained(container, element, [mix, mix], [text, text]))
        cases.append(contained(container, element, MIXES, JSON_MIXES))
    all_same_as_slow(ask, cases)


# Records as every road reads their keys: in field order or not, fields missing, keys
# repeated (a document's last entry counts, as in the dict it loads to), keys no field
# names, under closed, open and clause records, names declared twice, class forms and a
# union tagged by `kind`.
RECORD_FIELDS = [["a", ["int"], True], ["b", ["str"], True], ["c", ["float"], False]]
RECORDS = {
    "closed": ["record", RECORD_FIELDS],
    "open": ["record", RECORD_FIELDS, "open"],
    "clause": ["record", RECORD_FIELDS, ["clause", ["str"], ["int"]]],
    "a name twice": ["record", [["a", ["int"], True], ["b", ["str"], True], ["a", ["int"], False]]],
    "TypedDict": ["typeddict", "Row", RECORD_FIELDS],
    "tagged union": ["union", [
        ["typeddict", "A", [["kind", ["lit", ["a"]], True], ["a", ["int"], True], ["b", ["str"], True]]],
        ["typeddict", "B", [["kind", ["lit", ["b"]], True], ["a", ["str"], True], ["c", ["float"], False]]],
    ]],
}
KEY_VALUES = {"a": (["int", 1], "1", ["str", "x", "new"], '"x"'),
              "b": (["str", "w1", "new"], '"w1"', ["int", 2], "2"),
              "c": (["float", 1.5], "1.5", ["int", 1], "1"),
              "z": (["int", 3], "3", ["str", "y", "new"], '"y"'),
              "kind": (["str", "a", "new"], '"a"', ["str", "b", "new"], '"b"')}


def record_cases(schema, keys):
    """Every sequence of up to four of the keys, each entry good for its key or, for a
    key that comes again later, bad."""
    cases = []
    for length in range(5):
        for sequence in itertools.product(keys, repeat=length):
            for spoil in (False, True):
                entries, texts = [], []
                for i, key in enumerate(sequence):
                    bad = spoil and key in sequence[i + 1:]
                    good_value, good_text, bad_value, bad_text = KEY_VALUES[key]
                    how = "same" if (i + length) % 2 else "new"
                    entries.append([["str", key, how], bad_value if bad else good_value])
                    texts.append(json.dumps(key) + ":" + (bad_text if bad else good_text))
                cases.append([schema, ["dict", "dict", entries], "{" + ",".join(texts) + "}"])
    return cases


@pytest.mark.parametrize("schema", RECORDS.values(), ids=RECORDS.keys())
def test_record_keys_in_every_order(ask, schema):
    keys = ["kind", "a", "b", "c"] if schema[0] == "union" else ["a", "b", "c", "z"]
    all_same_as_slow(ask, record_cases(schema, keys))


LIST_OF_INTS = ["list", ["int"]]


@pytest.mark.parametrize("schema, document, member", [
    # Numbers that look like another kind: floats equal to ints, ints past 64 bits.
    (["list", ["float"]], "[1.5, 1]", False),
    (["list", ["float"]], "[1.0, 1e2, -0.0, 1E-400]", True),
    (LIST_OF_INTS, "[1, -0, 10000000000000000000000, -9223372036854775809]", True),
    (LIST_OF_INTS, "[1, 1.0]", False),
    (LIST_OF_INTS, "[1, 1e2]", False),
    (["list", ["bool"]], "[true, 1]", False),
    (["list", ["union", [["int"], ["none"]]]], "[1, null, 2.0]", False),
    (["list", ["union", [["int"], ["str"]]]], '[1, "a", true]', True),
    (["list", ["lit", [1, 2, 3]]], "[1, 2, 3, 1.0]", False),
    (["list", ["lit", [2**63, 2**64]]], "[9223372036854775808, 18446744073709551616]", True),
    (["list", ["lit", [2**53]]], "[9007199254740993]", False),
    (["list", ["const", 2**53]], "[9007199254740992, 9007199254740993]", False),
    (["list", ["lit", [-0.0, 1.5]]], "[0.0, -0, 1.5]", False),
    (["list", ["lit", ["a", "é"]]], '["a", "\\u00e9", "e\\u0301"]', False),
    (["cons", ["int"], [["ge", 2**63], ["lt", 2**64]]], "9223372036854775807", False),
    (["cons", ["int"], [["ge", 2**63], ["lt", 2**64]]], "18446744073709551615", True),
    (["cons", ["float"], [["gt", 0], ["le", 2**53]]], "9007199254740992.0", True),
    (["cons", ["int"], [["le", 2.5]]], "3", False),
    (["cons", ["int"], [["ge", -2**70]]], "-1180591620717411303425", False),
    (["cons", ["str"], [["minlen", 2], ["maxlen", 2]]], '["é"]', False),
    (["cons", ["str"], [["minlen", 2], ["maxlen", 2]]], '"éé"', True),
    (["cons", ["str"], [["regex", "é."]]], '"éx"', True),
    (["union", [["typeddict", "A", [["kind", ["lit", ["a"]], True], ["x", ["int"], True]]],
                ["typeddict", "B", [["kind", ["lit", ["b"]], True], ["x", ["str"], True]]]]],
     '{"kind": "b", "x": 1}', False),
    (["union", [["typeddict", "A", [["kind", ["lit", [1]], True], ["x", ["int"], True]]],
                ["typeddict", "B", [["kind", ["lit", [2]], True], ["x", ["str"], True]]]]],
     '{"x": "s", "kind": 2.0}', False),
    (["record", [["a", ["float"], True], ["b", ["int"], True]]], '{"a": 1, "b": 2}', False),
    (["record", [["a", ["int"], True]]], '{"a": "x", "a": 1}', True),
    (["map", ["str"], ["lit", [1, "1"]]], '{"k": 1, "j": "1", "i": true}', False),
])
def test_json_numbers_and_keys(ask, schema, document, member):
    answers = same_as_slow(ask, [schema, ["none"], document])
    assert answers["json"][0] == ["ok", member]


def test_fast_roads_keep_no_reference():
    names = [sys.intern(n) for n in ("fast_a", "fast_b")]
    word = sys.intern("fast_word")
    spec = list[{"fast_a": int, "fast_b": Literal[word, "other"]}]
    good = [{names[0]: i, names[1]: word} for i in range(50)]
    bad = good + [{names[0]: "x", "fast_b": "none"}, {"fast_a": 1}]
    watched = names + [word, good[0], bad[-1]]

    def churn():
        for _ in range(200):
            v = Validator(spec)
            assert v.is_valid(good) and not v.is_valid(bad)
            v.validate(good)
            try:
                v.validate(bad)
            except ValidationError:
                pass
            Validator(list[Literal[word, "other"]]).is_valid([word] * 10)

    churn()
    gc.collect()
    before = [sys.getrefcount(o) for o in watched]
    churn()
    gc.collect()
    assert [sys.getrefcount(o) for o in watched] == before
