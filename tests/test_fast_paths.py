"""The fast roads of the walk answer exactly as the general walk: every entry point's
answer and every record, compared with an interpreter that has them switched off."""

import gc
import json
import os
import subprocess
import sys
from pathlib import Path
from typing import Literal

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from fast_path_cases import NAMES, WORDS, evaluate
from tarmelix import ValidationError, Validator

HERE = Path(__file__).parent


@pytest.fixture(scope="module")
def slow():
    """Asks an interpreter running with TARMELIX_SLOW_PATHS=1."""
    env = dict(os.environ, TARMELIX_SLOW_PATHS="1",
               PYTHONPATH=os.pathsep.join([str(HERE)] + sys.path))
    proc = subprocess.Popen([sys.executable, str(HERE / "fast_path_cases.py")], env=env,
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def ask(case):
        proc.stdin.write(json.dumps(case) + "\n")
        proc.stdin.flush()
        return json.loads(proc.stdout.readline())

    yield ask
    proc.stdin.close()
    proc.wait(timeout=30)


def same_as_slow(slow, case):
    case = json.loads(json.dumps(case))
    fast = json.loads(json.dumps(evaluate(*case)))
    assert fast == slow(case)
    return fast


LITERALS = st.lists(st.sampled_from(WORDS), min_size=1, max_size=6, unique=True) | st.lists(
    st.sampled_from([0, 1, 2, 300, 2**70, -5, True, "w1", 1.5]), min_size=1, max_size=4)
LEAVES = (st.sampled_from([["int"], ["str"], ["float"], ["bool"], ["none"], ["obj", "Point"],
                           ["obj", "SlotPoint"], ["mut", "shrink"], ["mut", "grow_dict"]])
          | LITERALS.map(lambda xs: ["lit", xs]))


def fields(children):
    field = st.tuples(st.sampled_from(NAMES), children, st.booleans()).map(list)
    return st.lists(field, min_size=1, max_size=4)


SCHEMAS = st.recursive(
    LEAVES,
    lambda children: st.one_of(
        children.map(lambda c: ["list", c]),
        children.map(lambda c: ["tuple", c]),
        fields(children).map(lambda fs: ["record", fs]),
    ),
    max_leaves=6,
)

HOW = st.sampled_from(["same", "same", "new", "odd"])
STRAY = st.sampled_from([["int", 7], ["str", "w1", "new"], ["none"], ["float", 0.5],
                         ["bool", True], ["list", []], ["dict", "dict", []]])


@st.composite
def value_for(draw, schema, depth=0):
    """Mostly a near member of the schema, now and then something else."""
    if depth > 4 or draw(st.integers(0, 9)) == 0:
        return draw(STRAY)
    tag = schema[0]
    if tag in ("int", "mut"):
        return draw(st.sampled_from([["int", draw(st.integers(-3, 3))], ["intsub", 2],
                                     ["bool", False]]))
    if tag == "str":
        return ["str", draw(st.sampled_from(WORDS)), draw(HOW)]
    if tag == "float":
        return ["float", 2.5]
    if tag == "bool":
        return ["bool", True]
    if tag == "none":
        return ["none"]
    if tag == "lit":
        pick = draw(st.sampled_from(schema[1] + [3, "w11", 2**64]))
        if isinstance(pick, str):
            return ["str", pick, draw(HOW)]
        if isinstance(pick, bool):
            return ["bool", pick]
        return draw(st.sampled_from([["int", pick], ["intsub", pick] if abs(pick) < 2**62 else ["int", 1]])) \
            if isinstance(pick, int) else ["float", pick]
    if tag in ("list", "tuple"):
        items = draw(st.lists(value_for(schema[1], depth + 1), max_size=5))
        return [draw(st.sampled_from([tag, tag, tag, "list", "tuple"])), items]
    if tag == "record":
        entries = []
        for name, child, _required in schema[1]:
            if draw(st.integers(0, 5)) > 0:
                entries.append([["str", name, draw(HOW)], draw(value_for(child, depth + 1))])
        if draw(st.booleans()):
            entries = draw(st.permutations(entries))
        if draw(st.integers(0, 4)) == 0:
            key = draw(st.sampled_from([["str", "zz", "new"], ["int", 1], ["str", "a", "odd"]]))
            entries.append([key, ["int", 1]])
        return ["dict", draw(st.sampled_from(["dict", "dict", "sub", "missing"])), entries]
    if tag == "obj":
        cls = draw(st.sampled_from([schema[1], schema[1], "Getattr", "Prop"]))
        y = draw(st.sampled_from([["str", "w1", "new"], ["str", "raise", "new"], ["int", 1]]))
        return ["obj", cls, draw(st.sampled_from([["int", 1], ["str", "w2", "same"]])), y]
    raise AssertionError(schema)


CASES = SCHEMAS.flatmap(lambda s: value_for(s).map(lambda v: [s, v]))


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(case=CASES)
def test_fast_roads_answer_as_the_general_walk(slow, case):
    same_as_slow(slow, case)


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
def test_hostile_values(slow, case, first):
    answers = same_as_slow(slow, case)
    if first is not None:
        assert answers[0] == first


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
