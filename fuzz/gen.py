"""Random specs with member samplers, random values and JSON documents.

Every generator takes a random.Random and nothing else, so a case is
reproduced from its seed alone. A spec comes with its source text (an
expression over the names in NAMESPACE) for the reproducer.
"""

import collections.abc
import dataclasses
import enum
import json
import math
import typing
from typing import Annotated, Any, Literal, NamedTuple, Optional, TypedDict

import tarmelix as t

V = t.Validator


class Meta:
    """Annotated metadata carrying exactly the attributes it is given."""

    def __init__(self, **attributes):
        self.__dict__.update(attributes)

    def __repr__(self):
        return "Meta(%s)" % ", ".join("%s=%r" % kv for kv in self.__dict__.items())


class Color(enum.Enum):
    RED = 1
    GREEN = "g"


class Level(enum.IntEnum):
    LOW = 0
    HIGH = 7


@dataclasses.dataclass
class Point:
    x: int
    y: Optional[str] = None


class Pair(NamedTuple):
    left: int
    right: list[str]


class Movie(TypedDict, total=False):
    title: str
    year: typing.Required[int]


class Tag(str):
    pass


UserId = typing.NewType("UserId", int)
Alias = typing.TypeAliasType("Alias", list[int])


def is_small(x):
    return -5 <= x <= 5


def has_a(s):
    return "a" in s


NAMESPACE = {
    name: obj
    for name, obj in {**vars(typing), **globals()}.items()
    if not name.startswith("__")
}
NAMESPACE.update(t=t, V=V, typing=typing, collections=collections, math=math)


class Gen:
    """A spec, its source text, a sampler of likely members and a few facts."""

    def __init__(self, src, spec, sample, negated=False, structural=False, regex=False):
        self.src = src
        self.spec = spec
        self.sample = sample
        self.negated = negated        # holds a complement: rewrites are not monotone
        self.structural = structural  # holds a class whose instance test is structural
        self.regex = regex

    def __repr__(self):
        return self.src


def merge(src, spec, sample, parts):
    return Gen(
        src, spec, sample,
        negated=any(p.negated for p in parts),
        structural=any(p.structural for p in parts),
        regex=any(p.regex for p in parts),
    )


# ---- scalars --------------------------------------------------------------

INTS = [0, 1, -1, 2, 5, 6, 7, -6, 255, 2**31, 2**63 - 1, 2**63, -(2**63), -(2**63) - 1, 2**64, 10**30, -(10**30)]
FLOATS = [0.0, -0.0, 0.5, -1.5, 1e300, 5e-324, 3.0, 1e16, 2.5]
STRS = ["", "a", "b", "ab", "abc", "\u00e9", "\U0001f600", "a1", "x" * 40, "\x00", "0", "title", "year", "x", "y"]
BYTES = [b"", b"a", b"\x00\xff"]


def rand_int(rng):
    if rng.random() < 0.6:
        return rng.choice(INTS)
    return rng.randint(-1000, 1000)


def rand_str(rng):
    if rng.random() < 0.7:
        return rng.choice(STRS)
    return "".join(rng.choice("ab1\u00e9\"\\\n") for _ in range(rng.randint(0, 6)))


def rand_scalar(rng):
    r = rng.random()
    if r < 0.1:
        return None
    if r < 0.2:
        return rng.random() < 0.5
    if r < 0.45:
        return rand_int(rng)
    if r < 0.6:
        return rng.choice(FLOATS)
    if r < 0.85:
        return rand_str(rng)
    if r < 0.9:
        return rng.choice(BYTES)
    return rng.choice([Color.RED, Level.HIGH, Point(1), Pair(1, []), Tag("a"), UserId(3), 1j, ...])


def rand_value(rng, depth=3):
    """Any Python value: scalars and nested containers."""
    if depth <= 0 or rng.random() < 0.4:
        return rand_scalar(rng)
    kind = rng.randrange(6)
    items = [rand_value(rng, depth - 1) for _ in range(rng.randint(0, 3))]
    if kind == 0:
        return items
    if kind == 1:
        return tuple(items)
    if kind in (2, 3):
        keys = [rng.choice(["a", "b", "x", "y", "title", "year", 1, None]) for _ in items]
        return dict(zip(keys, items))
    hashable = [i for i in items if is_hashable(i)]
    return set(hashable) if kind == 4 else frozenset(hashable)


def is_hashable(v):
    try:
        hash(v)
        return True
    except Exception:
        return False


def json_value(rng, depth=3):
    """A value that json.dumps can write."""
    if depth <= 0 or rng.random() < 0.35:
        r = rng.random()
        if r < 0.1:
            return None
        if r < 0.2:
            return rng.random() < 0.5
        if r < 0.5:
            return rand_int(rng)
        if r < 0.65:
            return rng.choice(FLOATS)
        return rand_str(rng)
    items = [json_value(rng, depth - 1) for _ in range(rng.randint(0, 3))]
    if rng.random() < 0.5:
        return items
    return {rng.choice(["a", "b", "x", "y", "title", "year", ""]): v for v in items}


# ---- specs ----------------------------------------------------------------

def leaf(rng, json_only):
    def scalar(src, spec, sample):
        return Gen(src, spec, sample)

    choices = [
        lambda: scalar("int", int, rand_int),
        lambda: scalar("bool", bool, lambda r: r.random() < 0.5),
        lambda: scalar("float", float, lambda r: r.choice(FLOATS)),
        lambda: scalar("str", str, rand_str),
        lambda: scalar("None", None, lambda r: None),
        lambda: scalar("Any", Any, lambda r: rand_value(r, 2)),
        lambda: scalar("object", object, lambda r: rand_value(r, 2)),
        lambda: scalar("t.anything", t.anything, lambda r: rand_value(r, 2)),
        lambda: scalar("t.nothing", t.nothing, lambda r: rand_value(r, 1)),
        lambda: literal(rng),
        lambda: constrained(rng),
    ]
    if not json_only:
        choices += [
            lambda: scalar("bytes", bytes, lambda r: r.choice(BYTES)),
            lambda: scalar("Color", Color, lambda r: r.choice(list(Color))),
            lambda: scalar("Level", Level, lambda r: r.choice(list(Level))),
            lambda: scalar("Point", Point, lambda r: Point(rand_int(r), r.choice([None, "s", 3]))),
            lambda: scalar("Pair", Pair, lambda r: Pair(rand_int(r), [rand_str(r)])),
            lambda: scalar("Movie", Movie, lambda r: {"title": rand_str(r), "year": rand_int(r)}),
            lambda: scalar("Tag", Tag, lambda r: Tag(rand_str(r))),
            lambda: scalar("UserId", UserId, rand_int),
            lambda: scalar("Alias", Alias, lambda r: [rand_int(r) for _ in range(r.randint(0, 2))]),
            lambda: scalar("list", list, lambda r: [rand_scalar(r)]),
            lambda: scalar("collections.abc.Sequence", collections.abc.Sequence, lambda r: [rand_scalar(r)]),
            lambda: structural_leaf(rng),
        ]
    return rng.choice(choices)()


def structural_leaf(rng):
    name = rng.choice(["typing.SupportsInt", "typing.SupportsIndex", "collections.abc.Sized", "collections.abc.Hashable"])
    g = Gen(name, eval(name, NAMESPACE), lambda r: rand_scalar(r))
    g.structural = True
    return g


def literal(rng):
    pool = [0, 1, -1, 2**64, "a", "b", "", True, False, None, 1.5, b"x", Color.RED, Level.HIGH]
    values = rng.sample(pool, rng.randint(1, 4))
    src = "Literal[%s]" % ", ".join(repr(v) if not isinstance(v, enum.Enum) else "%s.%s" % (type(v).__name__, v.name) for v in values)
    return Gen(src, Literal[tuple(values)], lambda r: r.choice(values))


PATTERNS = [("[a-c]+", "abc"), ("a*", "a"), ("[0-9]{1,3}", "0123456789"), ("(ab|c)?", "abc"), (".", "a\u00e9")]


def constrained(rng):
    kind = rng.randrange(5)
    if kind == 0:
        lo, hi = sorted(rng.sample([-5, 0, 1, 3, 5, 10, 2**64], 2))
        keys = rng.sample(["ge", "gt", "le", "lt"], rng.randint(1, 2))
        meta = {k: (lo if k in ("ge", "gt") else hi) for k in keys}
        base = rng.choice(["int", "float"])

        def sample(r):
            v = r.randint(lo, min(hi, lo + 20)) if r.random() < 0.8 else rand_int(r)
            return float(v) if base == "float" else v

        src = "Annotated[%s, Meta(%s)]" % (base, ", ".join("%s=%r" % kv for kv in meta.items()))
        return Gen(src, Annotated[eval(base), Meta(**meta)], sample)
    if kind == 1:
        n = rng.randint(0, 3)
        m = n + rng.randint(-1, 3)
        src = "Annotated[str, Meta(min_length=%d, max_length=%d)]" % (n, m)
        return Gen(src, Annotated[str, Meta(min_length=n, max_length=m)], lambda r: "a" * r.randint(n, max(n, m)))
    if kind == 2:
        pattern, alphabet = rng.choice(PATTERNS)
        src = "Annotated[str, Meta(pattern=%r)]" % pattern
        g = Gen(src, Annotated[str, Meta(pattern=pattern)], lambda r: "".join(r.choice(alphabet) for _ in range(r.randint(0, 3))))
        g.regex = True
        return g
    if kind == 3:
        d = rng.choice([2, 3, 0.5])
        src = "Annotated[%s, Meta(multiple_of=%r)]" % ("float" if isinstance(d, float) else "int", d)
        base = float if isinstance(d, float) else int
        return Gen(src, Annotated[base, Meta(multiple_of=d)], lambda r: base(r.randint(-3, 3) * d))
    fn = rng.choice(["is_small", "has_a"])
    base = "int" if fn == "is_small" else "str"
    return Gen("Annotated[%s, %s]" % (base, fn), Annotated[eval(base), eval(fn)], rand_int if base == "int" else rand_str)


RECURSIVE = [
    ("t.recursive(lambda s: t.union(None, int, list[s]))", lambda s: t.union(None, int, list[s]), "tree"),
    ("t.recursive(lambda s: {'v': int, 'next?': s})", lambda s: {"v": int, "next?": s}, "chain"),
    ("t.recursive(lambda s: dict[str, s] | list[s] | str)", lambda s: dict[str, s] | list[s] | str, "doc"),
    ("t.recursive(lambda s: tuple[int, ...] | list[s])", lambda s: tuple[int, ...] | list[s], "tuples"),
]


def nested_member(rng, shape, depth):
    if depth <= 0 or rng.random() < 0.3:
        return {"tree": rand_int(rng), "chain": {"v": rand_int(rng)}, "doc": rand_str(rng), "tuples": (1, 2)}[shape]
    inner = nested_member(rng, shape, depth - 1)
    if shape == "chain":
        return {"v": rand_int(rng), "next": inner}
    if shape == "doc" and rng.random() < 0.5:
        return {"k": inner}
    return [inner, nested_member(rng, shape, 0)][: rng.randint(1, 2)]


def recursive_spec(rng):
    src, builder, shape = rng.choice(RECURSIVE)
    return Gen(src, t.recursive(builder), lambda r: nested_member(r, shape, 4))


def compose(rng, depth, json_only=False):
    """A random spec of at most the given nesting depth."""
    if depth <= 0 or rng.random() < 0.25:
        return leaf(rng, json_only)
    kind = rng.randrange(17)
    a = compose(rng, depth - 1, json_only)
    if kind == 0:
        return merge("list[%s]" % a, list[a.spec], lambda r: [a.sample(r) for _ in range(r.randint(0, 3))], [a])
    if kind == 1 and not json_only:
        return merge("tuple[%s, ...]" % a, tuple[a.spec, ...], lambda r: tuple(a.sample(r) for _ in range(r.randint(0, 3))), [a])
    if kind == 2:
        b = compose(rng, depth - 1, json_only)
        if json_only:
            return merge("[%s, %s]" % (a, b), [a.spec, b.spec], lambda r: [a.sample(r), b.sample(r)], [a, b])
        return merge("tuple[%s, %s]" % (a, b), tuple[a.spec, b.spec], lambda r: (a.sample(r), b.sample(r)), [a, b])
    if kind == 3:
        return merge("{'a': %s}" % a, {"a": a.spec}, lambda r: {"a": a.sample(r)}, [a])
    if kind == 4:
        b = compose(rng, depth - 1, json_only)

        def sample(r):
            d = {"a": a.sample(r)}
            if r.random() < 0.5:
                d["b"] = b.sample(r)
            if r.random() < 0.2:
                d["c"] = 1
            return d

        return merge("{'a': %s, 'b?': %s}" % (a, b), {"a": a.spec, "b?": b.spec}, sample, [a, b])
    if kind == 5:
        return merge("dict[str, %s]" % a, dict[str, a.spec], lambda r: {rand_str(r): a.sample(r) for _ in range(r.randint(0, 3))}, [a])
    if kind in (6, 7):
        b = compose(rng, depth - 1, json_only)
        form = rng.randrange(3)
        src = ["%s | %s" % (a, b), "t.union(%s, %s)" % (a, b), "typing.Union[%s, %s]" % (a, b)][form]
        try:
            spec = [lambda: a.spec | b.spec, lambda: t.union(a.spec, b.spec), lambda: typing.Union[a.spec, b.spec]][form]()
        except TypeError:  # `|` of two plain objects that do not support it
            src, spec = "t.union(%s, %s)" % (a, b), t.union(a.spec, b.spec)
        return merge(src, spec, lambda r: (a if r.random() < 0.5 else b).sample(r), [a, b])
    if kind == 8:
        b = compose(rng, depth - 1, json_only)
        return merge("t.intersection(%s, %s)" % (a, b), t.intersection(a.spec, b.spec), lambda r: (a if r.random() < 0.5 else b).sample(r), [a, b])
    if kind == 9:
        g = merge("t.complement(%s)" % a, t.complement(a.spec), lambda r: rand_value(r, 2) if r.random() < 0.7 else a.sample(r), [a])
        g.negated = True
        return g
    if kind == 10 and not json_only:
        hashable = lambda r: next((v for v in (a.sample(r) for _ in range(4)) if is_hashable(v)), 0)
        if rng.random() < 0.5:
            return merge("set[%s]" % a, set[a.spec], lambda r: {hashable(r) for _ in range(r.randint(0, 2))}, [a])
        return merge("frozenset[%s]" % a, frozenset[a.spec], lambda r: frozenset(hashable(r) for _ in range(r.randint(0, 2))), [a])
    if kind == 11:
        return merge("V(%s)" % a, V(a.spec), a.sample, [a])
    if kind == 12:
        return merge("Optional[%s]" % a, Optional[a.spec], lambda r: None if r.random() < 0.3 else a.sample(r), [a])
    if kind == 13:
        # a validator that embeds recursive definitions
        r = recursive_spec(rng)
        return merge("t.union(%s, %s)" % (r, a), t.union(r.spec, a.spec), lambda q: (r if q.random() < 0.5 else a).sample(q), [r, a])
    if kind == 14 and not json_only:
        D = dataclasses.make_dataclass("D", [("f", a.spec)])
        return merge("dataclasses.make_dataclass('D', [('f', %s)])" % a, D, lambda r: D(a.sample(r)), [a])
    if kind == 15:
        TD = TypedDict("TD", {"f": a.spec}, total=rng.random() < 0.5)
        src = "TypedDict('TD', {'f': %s}, total=%r)" % (a, TD.__total__)
        return merge(src, TD, lambda r: {"f": a.sample(r)} if r.random() < 0.8 else {}, [a])
    if kind == 16:
        o = rng.choice([V(a.spec).open(), V(a.spec).close(), V(a.spec).simplify()])
        return merge("V(%s).rewritten" % a, o, a.sample, [a])
    return merge("list[%s]" % a, list[a.spec], lambda r: [a.sample(r)], [a])


def schema(rng, depth=3, json_only=False):
    """A Gen whose spec Validator() accepts (retrying rare rejections)."""
    for _ in range(20):
        try:
            # typing forms refuse some arguments on some versions (an unhashable dict literal)
            g = recursive_spec(rng) if rng.random() < 0.1 else compose(rng, depth, json_only)
        except TypeError:
            continue
        try:
            g.validator = V(g.spec)
        except (ValueError, NotImplementedError):
            continue
        return g
    g = Gen("int", int, rand_int)
    g.validator = V(int)
    return g


def samples(rng, gens, count=8):
    """Likely members of each Gen plus random values."""
    out = []
    for g in gens:
        for _ in range(count):
            try:
                out.append(g.sample(rng))
            except (TypeError, ValueError):
                pass
    out += [rand_value(rng) for _ in range(count)]
    return out


# ---- JSON documents -------------------------------------------------------

TOKENS = [
    "0", "-0", "1", "-1", "1.5", "1e5", "1E+2", "-0.0", "1e400", "-1e400", "1e-400", "2.5e-324",
    "18446744073709551616", "-9223372036854775809", "9223372036854775807", "123456789012345678901234567890",
    "01", "1.", ".5", "+1", "NaN", "Infinity", "-Infinity", "true", "false", "null", "tru", "nul",
    '""', '"a"', '"\\u00e9"', '"\\ud83d\\ude00"', '"\\ud800"', '"\\udc00x"', '"\\x"', '"\\u12"', '"\x01"',
    "[", "]", "{", "}", ",", ":", " ", "\t", "\n", "\r", "\f", "\u00a0", "//", "'a'", '"title"', '"year"',
]


def mutate(rng, text):
    """A few random edits of a JSON text (a str, or bytes for byte-level edits)."""
    for _ in range(rng.randint(1, 3)):
        op = rng.randrange(7)
        pos = rng.randint(0, len(text))
        if op == 0 and text:
            text = text[:pos] + text[pos + 1:]
        elif op == 1:
            text = text[:pos] + rng.choice(TOKENS) + text[pos:]
        elif op == 2:
            text = text[:pos]
        elif op == 3 and text:
            j = rng.randint(pos, len(text))
            text = text[:pos] + text[pos:j] * rng.randint(2, 3) + text[j:]
        elif op == 4:
            n = rng.choice([50, 199, 200, 201, 1000])
            text = "[" * n + text + "]" * n
        elif op == 5:
            text = text[:pos] + rng.choice(TOKENS[:16]) + text[pos:]
        else:
            text = " " * rng.randint(0, 2) + text + rng.choice(["", " ", "\n", " x"])
    return text


def json_document(rng, gen, seeds):
    """A document: a dumped member or value, a seed, a number torture, mutated or not; str or bytes."""
    r = rng.random()
    if r < 0.4:
        try:
            text = json.dumps(gen.sample(rng), ensure_ascii=rng.random() < 0.5)
        except (TypeError, ValueError):
            text = json.dumps(json_value(rng))
    elif r < 0.6:
        text = json.dumps(json_value(rng), ensure_ascii=rng.random() < 0.5)
    elif r < 0.8:
        text = rng.choice(seeds)
    else:
        text = number_torture(rng)
    if rng.random() < 0.5:
        text = mutate(rng, text)
    if rng.random() < 0.3:
        data = text.encode("utf-8", "surrogatepass")
        if rng.random() < 0.2:
            pos = rng.randint(0, len(data))
            data = data[:pos] + rng.choice([b"\xff", b"\xc3", b"\xed\xa0\x80", b"\x00"]) + data[pos:]
        return data
    return text


def number_torture(rng):
    mantissa = rng.choice(["0", "-0", "1", "-1", "0.0", "12.5", "9" * rng.choice([19, 20, 40, 4300, 4301, 5000])])
    exponent = rng.choice([
        "", "e5", "e-5", "e400", "e-400", "e99999", "e-400000", "E+0", "e308", "e-324",
        "e99999999999999999999", "e-40000000000000000000000000000",
    ])
    token = mantissa + exponent
    return rng.choice(["%s", "[%s]", '{"a": %s}', "[1, %s, 2]"]) % token


# ---- built-in values for got texts ------------------------------------------

ODD_CHARS = (
    "ab \u00e9'\"\\\x00\t\n\r\x1f\x7f\x80\x9f\xa0\xad\u0301\u2028\u200b\ufeff\ud800\udfff"
    "\U0001f600\U000e0001\U0010ffff\uffff\u0378"
)


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


class Shown:
    """A user class whose repr is a given text."""

    def __init__(self, text):
        self.text = text

    def __repr__(self):
        return self.text


class SubList(list):
    pass


class SubInt(int):
    pass


def odd_text(rng):
    n = rng.choice([0, 1, 3, 10, 40, 79, 80, 81, 200])
    return "".join(rng.choice(ODD_CHARS) for _ in range(n))


def builtin_scalar(rng, raising=True):
    r = rng.randrange(12)
    if r == 0:
        return rng.choice([None, True, False, ...])
    if r == 1:
        return rand_int(rng)
    if r == 2:
        return rng.choice([10**79, -(10**80), 2**300, 10**200 + 7])
    if r == 3:
        return rng.choice(FLOATS + [math.nan, math.inf, -math.inf, 1e-7, 1e22])
    if r in (4, 5, 6):
        return odd_text(rng)
    if r == 7:
        return bytes(rng.randrange(256) for _ in range(rng.choice([0, 2, 30, 100])))
    if r == 8:
        return rng.choice([b"'", b"'\"", b'"'])
    if r == 9:
        return Probe(raising and rng.random() < 0.3)
    if r == 10:
        return rng.choice([SubInt(rand_int(rng)), Tag(odd_text(rng)), 1j, Color.RED])
    return Shown(odd_text(rng))


def builtin_hashable(rng, depth):
    if depth <= 0 or rng.random() < 0.6:
        return builtin_scalar(rng)
    items = [builtin_hashable(rng, depth - 1) for _ in range(rng.randint(0, 3))]
    return tuple(items) if rng.random() < 0.6 else frozenset(items)


def builtin_value(rng, depth=4):
    """Nested lists, tuples, dicts, sets and frozensets of odd texts, big ints,
    floats, bytes, subclass instances and user classes with their own repr."""
    if depth <= 0 or rng.random() < 0.3:
        if rng.random() < 0.1:
            # a raising element in here would raise wherever the list starts
            return SubList(builtin_scalar(rng, raising=False) for _ in range(rng.randint(0, 3)))
        return builtin_scalar(rng)
    n = rng.choice([0, 1, 2, 3, 5, 40])
    kind = rng.randrange(5)
    if kind == 0:
        return [builtin_value(rng, depth - 1) for _ in range(n)]
    if kind == 1:
        return tuple(builtin_value(rng, depth - 1) for _ in range(n))
    if kind == 2:
        return {builtin_hashable(rng, 2): builtin_value(rng, depth - 1) for _ in range(n)}
    items = [builtin_hashable(rng, 2) for _ in range(n)]
    return set(items) if kind == 3 else frozenset(items)


def value_parts(value):
    """(object, whether a subclass instance holds it) for every object inside a
    built-in value, depth first, each container once."""
    seen, out = set(), []
    stack = [(value, False)]
    while stack:
        x, held = stack.pop()
        if id(x) in seen:
            continue
        seen.add(id(x))
        out.append((x, held))
        held = held or type(x) not in (list, tuple, dict, set, frozenset)
        if isinstance(x, (list, tuple, set, frozenset)):
            stack.extend((y, held) for y in reversed(list(x)))
        elif isinstance(x, dict):
            for key, y in reversed(list(x.items())):
                stack += [(y, held), (key, held)]
    return out


def tie_cycle(rng, value):
    """The value with one of its lists or dicts holding the value itself, or
    a list inside it holding the tuple around that list."""
    boxes = [x for x, _ in value_parts(value) if type(x) in (list, dict)]
    if not boxes:
        return value
    box = rng.choice(boxes)
    target = value
    if type(box) is list and rng.random() < 0.5:
        target = (box, rng.choice([1, "t"]))
        value = [target, value]
    if type(box) is list:
        box.insert(rng.randint(0, len(box)), target)
    else:
        box[rng.choice(["self", 1, None])] = target
    return value


def deep_chain(rng, value):
    """The value inside a chain of up to a thousand containers."""
    for _ in range(rng.choice([81, 82, 200, 1000])):
        r = rng.randrange(3)
        value = [value] if r == 0 else (value,) if r == 1 else {"k": value}
    return value
