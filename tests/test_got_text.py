"""Got texts: a value's repr cut to 80 characters, written only as far as it is shown,
whatever the value's size or depth."""

import os
import subprocess
import sys
import textwrap
import time

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import tarmelix as t
from tarmelix import ValidationError, Validator

NOTHING = Validator(t.nothing)
BUILTIN = (list, tuple, dict, set, frozenset, str, bytes)


def got(value):
    with pytest.raises(ValidationError) as e:
        NOTHING.validate(value)
    return e.value.errors[0]["value"]


def shown(text, cut=True):
    """A repr as a got text shows it: each lone surrogate as three U+FFFD, cut to 80 characters."""
    text = text.encode("utf-8", "surrogatepass").decode("utf-8", "replace")
    return text if not cut or len(text) <= 80 else text[:80] + "..."


class Text:
    """A user class: its repr is its own code."""

    def __init__(self, text):
        self.text = text

    def __repr__(self):
        return self.text


class Loud(str):
    def __str__(self):
        return "LOUD"


class SubList(list):
    pass


class SubStr(str):
    pass


class SubInt(int):
    pass


class Clears:
    """Empties the container holding it, then shows that container."""

    def __init__(self, box):
        self.box = box

    def __repr__(self):
        self.box.clear()
        return "C" + repr(self.box)


class ShowsOuter:
    """Shows the container it was put into, which is being shown already."""

    outer = None

    def __repr__(self):
        return "S" + repr(self.outer)


def cyclic_list():
    a = [1, "a"]
    a.append(a)
    return a


def cyclic_dict():
    d = {"k": 1}
    d["self"] = [d]
    return d


def tuple_through_list():
    inner = []
    outer = (inner, 2)
    inner.append(outer)
    return outer


def cleared(make):
    def build():
        box = make()
        box.clear()
        if isinstance(box, list):
            box.append(Clears(box))
        elif isinstance(box, dict):
            box["k"] = Clears(box)
        else:
            box.add(Clears(box))
        return box

    return build


def shows_outer(make):
    def build():
        s = ShowsOuter()
        outer = make(s)
        s.outer = outer
        return outer

    return build


CASES = {
    "str quotes": lambda: ["it's", 'say "hi"', "both ' and \"", "\\"],
    "str escapes": lambda: ["\x00\t\n\r\x1f\x7f\x80\x9f\xa0\xad", "\u0301\u2028\ufeff\U0001f600\U000e0001\U0010ffff"],
    "str surrogates": lambda: ["\ud800", "a\udfffb", "\ud83d\ude00"],
    "str non-ascii past 80": lambda: "\u00e9" * 100,
    "bytes": lambda: [b"", b"it's", b"'\"", b"a\x7f\x80", bytes(range(256))],
    "utf-8 widths": lambda: ["\x7e\xa1\u07ff\u0800\ufffd\U00010000\U0010fffd"],
    "numbers": lambda: [0, -1, 2**200, 1.5, -0.0, float("nan"), float("inf"), 1e300, 5e-324, 1j, True, None, ...],
    "empty containers": lambda: [[], (), {}, set(), frozenset(), [[]]],
    "one-element": lambda: [(1,), ((),), {1}, frozenset({1}), {"a": (1,)}],
    "sets": lambda: ({1, "a", (2, 3)}, frozenset({frozenset({1}), b"x"})),
    "nested dict": lambda: {"a": {"b": [1, (2,)], 3: None}, (1, "x"): frozenset()},
    "subclasses and user classes": lambda: [SubList([1, "a"]), SubStr("it's"), SubInt(5), Text("<\x00odd\ud800>"), Text("")],
    "str subclass repr result": lambda: [Text(Loud("quiet"))],
    "long list": lambda: list(range(100)),
    "exactly 80": lambda: ["x" * 74],
    "81": lambda: ["x" * 75],
    "str of exactly 80": lambda: "x" * 78,
    "str of 81": lambda: "x" * 79,
    "cyclic list": cyclic_list,
    "cyclic dict": cyclic_dict,
    "tuple through list": tuple_through_list,
    "list cleared by its element": cleared(list),
    "dict cleared by its element": cleared(dict),
    "set cleared by its element": cleared(set),
    "element shows the outer list": shows_outer(lambda s: [1, s]),
    "element shows the outer tuple": shows_outer(lambda s: (s,)),
    "element shows the outer frozenset": shows_outer(lambda s: frozenset({s})),
    "element shows the outer dict": shows_outer(lambda s: {"k": s}),
}


@pytest.mark.parametrize("make", CASES.values(), ids=CASES.keys())
def test_got_text_is_the_repr_cut_to_80_characters(make):
    # repr may change the value (an element that empties its container):
    # each side gets a value of its own.
    assert got(make()) == shown(repr(make()))


def test_a_str_subclass_from_repr_shows_through_its_str_only_at_the_top():
    assert got(Text(Loud("quiet"))) == "LOUD"
    assert got([Text(Loud("quiet"))]) == "[quiet]"


class Boom:
    calls = 0

    def __repr__(self):
        Boom.calls += 1
        raise ValueError("no repr")


@pytest.mark.parametrize(
    ("make", "text"),
    [
        (lambda: [1, Boom()], "<unrepresentable>"),
        (lambda: {"k": {Boom(): 1}}, "<unrepresentable>"),
        (lambda: ["x" * 75, Boom()], "<unrepresentable>"),  # starts at character 80
        # past the kept characters the element's repr is not asked
        (lambda: ["x" * 76, Boom()], "['" + "x" * 76 + "',..."),
        (lambda: [list(range(40)), Boom()], "[[" + ", ".join(map(str, range(40)))[:78] + "..."),
    ],
    ids=["first", "nested key", "reached at 80", "past 80", "past 80 nested"],
)
def test_an_element_whose_repr_raises(make, text):
    Boom.calls = 0
    value = make()
    assert got(value) == text
    assert Boom.calls == (text == "<unrepresentable>")


@pytest.fixture
def digit_limit():
    before = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(1000)
    yield
    sys.set_int_max_str_digits(before)


@pytest.mark.usefixtures("digit_limit")
def test_an_int_past_the_digit_limit_is_unrepresentable_where_it_is_shown():
    huge = 10**1000
    assert got(huge) == "<unrepresentable>"
    assert got([1, huge]) == "<unrepresentable>"
    assert got(["x" * 80, huge]) == "['" + "x" * 78 + "..."
    assert got([10**999]) == "[1" + "0" * 78 + "..."


class Counted:
    calls = 0

    def __repr__(self):
        Counted.calls += 1
        return "c"


@pytest.mark.parametrize(
    "make",
    [
        lambda n: [Counted() for _ in range(n)],
        lambda n: (Counted(),) * n,
        lambda n: {i: Counted() for i in range(n)},
        lambda n: {Counted() for _ in range(n)},
        lambda n: [[Counted() for _ in range(n)]],
    ],
    ids=["list", "tuple", "dict", "set", "nested"],
)
def test_only_the_elements_shown_are_repred(make):
    value = make(200_000)
    Counted.calls = 0
    got(value)
    assert Counted.calls <= 40


def test_a_huge_value_costs_what_its_first_characters_cost():
    big = list(range(2_000_000))
    v = Validator(dict[str, int])

    def timed(fn):
        started = time.perf_counter()
        fn()
        return time.perf_counter() - started

    def validate():
        with pytest.raises(ValidationError) as e:
            v.validate(big)
        assert e.value.errors[0]["value"] == shown(repr(big[:30]))

    full = timed(lambda: repr(big))
    assert min(timed(validate) for _ in range(3)) * 10 < full


SANITIZED = bool(os.environ.get("TARMELIX_SANITIZED"))
UNOPTIMISED = bool(os.environ.get("TARMELIX_UNOPTIMISED"))
SMALL_STACK = textwrap.dedent(
    """
    import threading
    import tarmelix as t

    def shown(text):
        return text if len(text) <= 80 else text[:80] + "..."

    def run(v, value, open_, leaf, close):
        try:
            assert v.is_valid(value) is False
        except RecursionError:
            print("RecursionError")
            return
        try:
            v.validate(value)
        except t.ValidationError as e:
            for record in e.errors:
                d = DEPTH - len(record["path"])
                assert record["value"] == shown(open_ * d + leaf + close * d), record
            print("ValidationError")
        except RecursionError:
            print("RecursionError")

    DEPTH = {depth}
    value = {leaf}
    for _ in range(DEPTH):
        value = {wrap}
    v = t.Validator(t.recursive(lambda s: {schema}))
    threading.stack_size({kib} * 1024 * (8 if {sanitized} else 1))
    worker = threading.Thread(target=run, args=(v, value, {open_!r}, {leaf!r}, {close!r}))
    worker.start()
    worker.join()
    """
)


@pytest.mark.parametrize("kib", [448, 512, 640])
@pytest.mark.parametrize(
    "shape",
    [
        dict(depth=5000, leaf="None", wrap="[value]", schema="t.union(list[s], int)",
             open_="[", close="]"),
        dict(depth=3000, leaf="'bad'", wrap="{'a': value}", schema="t.union({'a': s, 'b?': s}, int, None)",
             open_="{'a': ", close="}"),
    ],
    ids=["list", "dict"],
)
def test_validate_of_a_deep_value_on_a_small_thread_stack(kib, shape):
    script = SMALL_STACK.format(kib=kib, sanitized=SANITIZED, **shape)
    done = subprocess.run(
        [sys.executable, "-c", script],
        capture_output=True,
        text=True,
        timeout=300,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, done.stderr[-2000:]
    # Where is_valid answers, validate does. The recording walk's frames are
    # larger, so on the smallest of these stacks (and on any, in an
    # unoptimised or sanitized build, whose frame sizes vary by compiler) the
    # walk itself may run short: a clean RecursionError, never a crash.
    short_ok = SANITIZED or UNOPTIMISED or kib == 448
    assert done.stdout.split() == ["ValidationError"] or short_ok and done.stdout.split() == ["RecursionError"], \
        done.stderr[-2000:]


# ---- generated values ------------------------------------------------------------


class Probe:
    """A user element that notes being repr'd; an armed raising probe raises."""

    armed = False
    made = 0

    def __init__(self, raises):
        Probe.made += 1
        self.marker = "\x00P%d\x00" % Probe.made  # no repr of a str or bytes holds a bare NUL
        self.raises = raises
        self.called = False

    def __repr__(self):
        self.called = True
        if self.raises and Probe.armed:
            raise KeyError("probe")
        return self.marker


def parts(value):
    """Every object inside the value, depth first, each container once."""
    seen, out = set(), []

    def visit(x):
        if id(x) in seen:
            return
        seen.add(id(x))
        out.append(x)
        if type(x) in (list, tuple, set, frozenset):
            for y in list(x):
                visit(y)
        elif type(x) is dict:
            for key, y in list(x.items()):
                visit(key)
                visit(y)

    visit(value)
    return out


def tie(value, k):
    """The value with its k-th list or dict holding the value itself."""
    boxes = [x for x in parts(value) if type(x) in (list, dict)]
    if boxes:
        box = boxes[k % len(boxes)]
        if type(box) is list:
            box.insert(k % (len(box) + 1), value)
        else:
            box["self"] = value
    return value


def check_got_text(value):
    """The got text is the repr cut to 80 characters, or "<unrepresentable>" when an
    element whose repr raises starts within them; only elements starting within
    them are repr'd."""
    probes = [x for x in parts(value) if type(x) is Probe]
    Probe.armed = True
    try:
        text = got(value)
    finally:
        Probe.armed = False
    called = [p for p in probes if p.called]
    full = shown(repr(value), cut=False)
    start = {id(p): full.find(p.marker) for p in probes}
    raised = any(p.raises and 0 <= start[id(p)] <= 80 for p in probes)
    assert text == ("<unrepresentable>" if raised else shown(full))
    if type(value) in BUILTIN:
        assert all(0 <= start[id(p)] <= 80 for p in called)


TEXTS = st.lists(st.characters(exclude_categories=()) | st.sampled_from(["\ud800", "\udfff", "'", '"', "\\"]),
                 max_size=12).map("".join)
HASHABLE = (
    st.none() | st.booleans() | st.integers() | st.integers(min_value=10**60, max_value=10**90)
    | st.floats() | TEXTS | st.binary(max_size=8) | TEXTS.map(SubStr) | st.integers().map(SubInt)
)
PROBES = st.builds(Probe, st.booleans())
KEYS = HASHABLE | PROBES
VALUES = st.recursive(
    HASHABLE | PROBES | st.lists(HASHABLE, max_size=3).map(SubList) | TEXTS.map(Text),
    lambda children: (
        st.lists(children, max_size=5)
        | st.lists(children, max_size=3).map(tuple)
        | st.dictionaries(KEYS, children, max_size=4)
        | st.sets(KEYS, max_size=4)
        | st.frozensets(KEYS, max_size=4)
    ),
    max_leaves=30,
)


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(VALUES, st.none() | st.integers(0, 10))
def test_got_texts_of_generated_values(value, cycle):
    check_got_text(value if cycle is None else tie(value, cycle))


# ---- key texts ---------------------------------------------------------------------


def nested_tuple(depth, leaf="k\u00e9'\"\n"):
    key = (leaf, 1.5, frozenset({2}))
    for _ in range(depth):
        key = (key,)
    return key


@pytest.mark.parametrize("key", [
    nested_tuple(0), nested_tuple(50), frozenset({(1, "a")}), (),
    # A frozenset of several elements, first or nested, short or past any cut.
    frozenset({1, 2}), (frozenset({1, 2}),), ("k", frozenset(range(3, 60))),
])
def test_a_tuple_or_frozenset_key_is_named_by_its_str(key):
    with pytest.raises(t.ValidationError) as clause:
        t.Validator(dict[str, int]).validate({key: 1})
    text = str(key)
    assert clause.value.errors[0]["path"] == (text if len(text) <= 40 else text[:40] + "...",)
    with pytest.raises(t.ValidationError) as closed:
        t.Validator({"a": int}).validate({"a": 1, key: 1})
    (record,) = closed.value.errors
    assert record["code"] == "extra_forbidden" and record["path"] == (text,)


KEY_ON_SMALL_STACK = textwrap.dedent(
    """
    import threading
    import tarmelix as t

    key = ()
    for _ in range(5000):
        key = (key,)

    def run():
        for spec in (dict[str, int], {{"a?": int}}):
            try:
                t.Validator(spec).validate({{key: 1}})
            except t.ValidationError as e:
                print(len(e.errors[0]["path"][0]))

    threading.stack_size(512 * 1024 * (8 if {sanitized} else 1))
    worker = threading.Thread(target=run)
    worker.start()
    worker.join()
    """
)


def test_a_deep_tuple_key_is_named_on_a_small_thread_stack():
    done = subprocess.run(
        [sys.executable, "-c", KEY_ON_SMALL_STACK.format(sanitized=SANITIZED)],
        capture_output=True,
        text=True,
        timeout=300,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, done.stderr[-2000:]
    # The clause path keeps its first 40 characters; the closed record, which
    # names a key in full, names this one as str() raising would: empty.
    assert done.stdout.split() == ["43", "0"], done.stderr[-2000:]
