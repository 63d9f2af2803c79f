"""Schemas, values and JSON texts described as plain data, so that interpreters with and
without the fast roads (TARMELIX_SLOW_PATHS=1) build the same objects and can compare
what the validators answer. `serve()` is each interpreter's loop: one case a line in,
its answers a line out.

Schemas: ["int"], ["str"], ["float"], ["bool"], ["none"], ["bytes"], ["any"], ["object"];
["lit", [constants]] (a constant is a JSON scalar or ["enum", class, member]), a union of
literals as Literal[...] makes; ["const", constant], the literal alone;
["list", s], ["tuple", s] (variadic), ["tuplefix", [s...]], ["tupletail", [s...], s],
["listfix", [s...]], ["listtail", [s...], s]; ["set", s], ["frozenset", s];
["record", [[name, s, required]...], extra] (extra None, "open" or ["clause", k, v]);
["map", k, v]; ["typeddict" | "dataclass" | "namedtuple", class name, fields];
["union", [s...]], ["optional", s], ["inter", [s...]], ["not", s];
["cons", s, [constraint...]] (["ge" | "gt" | "le" | "lt" | "mult", number],
["minlen" | "maxlen", n], ["regex", pattern], ["pred", kind]); ["mut", kind];
["rec", body] with ["self"] inside; ["obj", "Point" | "SlotPoint"]; ["class", enum].
A constant (a literal, a bound) may be ["counted", number]: user code that notes every
comparison and hash it is asked for in CALLS; ["pred", "log"] notes each
value it is called with. Each entry point's notes are part of its answers ("calls").

Values: ["int", n, how?], ["intsub", n], ["bool", b], ["float", x, how?], ["floatsub", x],
["none"], ["str", text, how], ["bytes", text], ["enum", class, member], ["list" | "tuple" |
"set" | "frozenset", [v...]], ["dict", kind, [[k, v]...]], ["inst", class name, kind,
[[field, v]...]], ["obj", ...], ["eqall"], ["counted", number] (a new one, equal by its
number). `how` "same" is the schema's own constant.
"""

import json
import sys
from collections import namedtuple
from dataclasses import dataclass, make_dataclass
from enum import Enum, IntEnum, StrEnum
from typing import Annotated, Any, NotRequired, TypedDict

from tarmelix import ValidationError, Validator, complement, intersection, recursive, union

WORDS = tuple(f"w{i}" for i in range(12))
NAMES = ("a", "b", "c", "d")


class OddStr(str):
    """A str subclass with its own hash and equality."""

    def __hash__(self):
        return 7

    def __eq__(self, other):
        return isinstance(other, str) and str.__eq__(self.lower(), other.lower())


class IntSub(int):
    pass


class FloatSub(float):
    pass


class DictSub(dict):
    pass


class Missing(dict):
    def __missing__(self, key):
        return 0


class EqualToAll:
    """Equal to everything, with a hash and repr that do not depend on its address."""

    def __eq__(self, other):
        return True

    def __hash__(self):
        return 11

    def __repr__(self):
        return "EqualToAll()"


class Color(Enum):
    RED = 1
    GREEN = "green"


class Hue(Enum):
    """Color's names and values, in another enum."""

    RED = 1
    GREEN = "green"


class Level(IntEnum):
    LOW = 1
    HIGH = 2


class Tone(StrEnum):
    W1 = "w1"
    W2 = "w2"


ENUMS = {c.__name__: c for c in (Color, Hue, Level, Tone)}


@dataclass
class Point:
    x: int
    y: str


@dataclass(slots=True)
class SlotPoint:
    x: int
    y: str


class GetattrPoint(Point):
    """Serves its fields from __getattr__; made without __init__."""

    def __getattr__(self, name):
        if name == "x":
            return 3
        if name == "y":
            return "served"
        raise AttributeError(name)


class PropPoint(Point):
    """x is a property, which raises when y is "raise"; made without __init__."""

    @property
    def x(self):
        if self.__dict__.get("y") == "raise":
            raise ValueError("no x")
        return 5


CLASSES = {"Point": Point, "SlotPoint": SlotPoint}

# What user code the entry point under way ran: one text a call.
CALLS = []


class Counted:
    """A number of the user's: its comparisons, equality and hash are its own code, each
    call noted in CALLS with the other operand."""

    def __init__(self, x):
        self.x = x

    def _other(self, op, other):
        CALLS.append(f"{op} {self.x!r} {other!r}")
        return other.x if isinstance(other, Counted) else other

    def _order(op):
        def compare(self, other):
            other = self._other(op, other)
            if not isinstance(other, (int, float)):
                return NotImplemented
            return getattr(self.x, f"__{op}__")(other)

        return compare

    __lt__, __le__, __gt__, __ge__ = _order("lt"), _order("le"), _order("gt"), _order("ge")

    def __eq__(self, other):
        return self.x == self._other("eq", other)

    def __hash__(self):
        CALLS.append(f"hash {self.x!r}")
        return hash(self.x)

    def __repr__(self):
        return f"Counted({self.x!r})"


class Meta:
    """Annotated metadata: the constraint attributes it is given."""

    def __init__(self, **attributes):
        self.__dict__.update(attributes)


# The value under check, for predicates that change it during the walk.
victim = [None]
# Per case: the constants of the schema by (type name, repr), for values that are the very
# constant, and the classes the schema made, by name.
constants = {}
made_classes = {}


def mutate(kind):
    def predicate(v):
        target = victim[0]
        if kind == "shrink" and isinstance(target, list) and target:
            target.pop()
        elif kind == "grow_dict" and isinstance(target, dict):
            target[f"new{len(target)}"] = 1
        return True

    return predicate


def positive(v):
    return v > 0


def raising(v):
    raise ValueError("bad")


def noted(v):
    CALLS.append(f"pred {v!r}")
    return v != 0


PREDICATES = {"pos": positive, "raise": raising, "log": noted}


def constant(x):
    if isinstance(x, list) and x[0] == "counted":
        return Counted(x[1])
    if isinstance(x, list):
        made = ENUMS[x[1]][x[2]]
    elif isinstance(x, str):
        # Interned, so that a value can be the very constant.
        made = sys.intern(x)
    else:
        made = x
    constants.setdefault((type(made).__name__, repr(made)), made)
    return made


def metadata(c):
    kind, arg = c
    if kind in ("ge", "gt", "le", "lt"):
        return Meta(**{kind: constant(arg)})
    if kind == "mult":
        return Meta(multiple_of=constant(arg))
    if kind == "minlen":
        return Meta(min_length=arg)
    if kind == "maxlen":
        return Meta(max_length=arg)
    if kind == "regex":
        return Meta(pattern=arg)
    return Meta(func=PREDICATES[arg] if arg in PREDICATES else mutate(arg))


def class_fields(fields, me):
    return [(name, spec(s, me), required) for name, s, required in fields]


def spec(d, me=None):
    """The annotation a description stands for; `me` is the placeholder of the innermost
    recursive schema being built."""
    tag = d[0]
    scalars = {"int": int, "str": str, "float": float, "bool": bool, "none": None,
               "bytes": bytes, "any": Any, "object": object}
    if tag in scalars:
        return scalars[tag]
    if tag == "lit":
        # A bare constant is its literal; union keeps them as Literal[...] does.
        return union(*(constant(x) for x in d[1]))
    if tag == "const":
        return constant(d[1])
    if tag == "list":
        return list[spec(d[1], me)]
    if tag == "tuple":
        return tuple[spec(d[1], me), ...]
    if tag == "tuplefix":
        return tuple[tuple(spec(s, me) for s in d[1])] if d[1] else tuple[()]
    if tag == "tupletail":
        return tuple[(*(spec(s, me) for s in d[1]), spec(d[2], me), ...)]
    if tag == "listfix":
        return [spec(s, me) for s in d[1]]
    if tag == "listtail":
        return [*(spec(s, me) for s in d[1]), spec(d[2], me), ...]
    if tag == "set":
        return set[spec(d[1], me)]
    if tag == "frozenset":
        return frozenset[spec(d[1], me)]
    if tag == "record":
        out = {name + ("" if required else "?"): spec(s, me) for name, s, required in d[1]}
        extra = d[2] if len(d) > 2 else None
        if extra == "open":
            out[object] = object
        elif extra:
            out[spec(extra[1], me)] = spec(extra[2], me)
        return out
    if tag == "map":
        return dict[spec(d[1], me), spec(d[2], me)]
    if tag == "typeddict":
        fields = {name: s if required else NotRequired[s]
                  for name, s, required in class_fields(d[2], me)}
        made = TypedDict(d[1], fields)
    elif tag == "dataclass":
        made = make_dataclass(d[1], [(name, s) for name, s, _ in class_fields(d[2], me)])
    elif tag == "namedtuple":
        fields = class_fields(d[2], me)
        made = namedtuple(d[1], [name for name, _, _ in fields])
        made.__annotations__ = {name: s for name, s, _ in fields}
    else:
        made = None
    if made is not None:
        made_classes[d[1]] = made
        return made
    if tag == "union":
        return union(*(spec(s, me) for s in d[1]))
    if tag == "optional":
        return union(spec(d[1], me), None)
    if tag == "inter":
        return intersection(*(spec(s, me) for s in d[1]))
    if tag == "not":
        return complement(spec(d[1], me))
    if tag == "cons":
        return Annotated[(spec(d[1], me), *(metadata(c) for c in d[2]))]
    if tag == "mut":
        return Annotated[int, mutate(d[1])]
    if tag == "rec":
        return recursive(lambda s: spec(d[1], s))
    if tag == "self":
        return me
    if tag == "obj":
        return CLASSES[d[1]]
    if tag == "class":
        return ENUMS[d[1]]
    raise ValueError(d)


def text(s, how):
    """A str of the text s: the interned object itself, an equal new one, or an OddStr."""
    if how == "same":
        return sys.intern(s)
    if how == "new":
        return "".join(list(s)) if len(s) > 1 else (s + "!")[:-1]
    return OddStr(s)


def number(x, kind, how):
    made = kind(x)
    if how == "same":
        return constants.get((kind.__name__, repr(made)), made)
    return made


def steady(x):
    """Whether x hashes alike in every interpreter of one hash seed: a NaN hashes by its
    address, and so would a set holding it iterate."""
    if isinstance(x, float):
        return x == x
    if isinstance(x, (tuple, frozenset)):
        return all(steady(y) for y in x)
    try:
        hash(x)
    except TypeError:
        return False
    return True


def hashable_items(items):
    return [x for x in items if steady(x)]


def value(d):
    tag = d[0]
    if tag == "int":
        # A new int object, unless it is to be the schema's own constant.
        return number(d[1], int, d[2] if len(d) > 2 else "new") if abs(d[1]) > 256 else d[1]
    if tag == "intsub":
        return IntSub(d[1])
    if tag == "bool":
        return bool(d[1])
    if tag == "float":
        return number(d[1], float, d[2] if len(d) > 2 else "new")
    if tag == "floatsub":
        return FloatSub(d[1])
    if tag == "none":
        return None
    if tag == "str":
        return text(d[1], d[2])
    if tag == "bytes":
        return d[1].encode()
    if tag == "enum":
        return ENUMS[d[1]][d[2]]
    if tag == "eqall":
        return EqualToAll()
    if tag == "counted":
        return Counted(d[1])
    if tag in ("list", "tuple"):
        items = [value(x) for x in d[1]]
        return items if tag == "list" else tuple(items)
    if tag in ("set", "frozenset"):
        items = hashable_items(value(x) for x in d[1])
        return set(items) if tag == "set" else frozenset(items)
    if tag == "dict":
        kind = {"dict": dict, "sub": DictSub, "missing": Missing}[d[1]]
        out = kind()
        for key, item in d[2]:
            key = value(key)
            try:
                out[key] = value(item)
            except TypeError:
                pass
        return out
    if tag == "inst":
        cls = made_classes.get(d[1])
        args = [value(x) for _, x in d[3]]
        return cls(*args) if cls is not None else tuple(args)
    if tag == "obj":
        cls, x, y = d[1], value(d[2]), value(d[3])
        if cls == "Getattr":
            return object.__new__(GetattrPoint)
        if cls == "Prop":
            made = object.__new__(PropPoint)
            made.__dict__["y"] = y
            return made
        return CLASSES[cls](x, y)
    raise ValueError(d)


# Per answer of the case under way, the user code it ran.
calls_made = []


def outcome(call):
    del CALLS[:]
    try:
        return answer_of(call)
    finally:
        calls_made.append(list(CALLS))


def answer_of(call):
    try:
        result = call()
    except ValidationError as e:
        return ["invalid", [[r["code"], r["path"], r["expected"], r["value"]] for r in e.errors]]
    except BaseException as e:  # noqa: BLE001 - faults are part of the answer
        return ["raised", type(e).__name__, str(e)]
    return ["ok", result if isinstance(result, (bool, str)) else None]


PARSE = Validator(object)


def evaluate(schema_desc, value_desc, document=None):
    """Everything the membership entry points say about one value and, given a JSON
    text, about that document: {"python": [...], "json": [...], "parsed": ...}."""
    victim[0] = None
    constants.clear()
    made_classes.clear()
    del calls_made[:]
    try:
        v = Validator(spec(schema_desc))
    except Exception as e:  # noqa: BLE001 - a refused schema is an answer too
        return {"construct": [type(e).__name__, str(e)]}
    answers = {"python": []}
    for call in ("is_valid", "in", "validate", "validate_fail_fast"):
        x = value(value_desc)
        victim[0] = x
        if call == "is_valid":
            answers["python"].append(outcome(lambda: v.is_valid(x)))
        elif call == "in":
            answers["python"].append(outcome(lambda: x in v))
        elif call == "validate":
            answers["python"].append(outcome(lambda: v.validate(x)))
        else:
            answers["python"].append(outcome(lambda: v.validate(x, fail_fast=True)))
    victim[0] = None
    if document is not None:
        data = document.encode("utf-8", "surrogatepass")
        answers["json"] = [
            outcome(lambda: v.is_valid_json(document)),
            outcome(lambda: v.is_valid_json(data)),
            outcome(lambda: v.validate_json(document)),
            outcome(lambda: v.validate_json(data, fail_fast=True)),
            outcome(lambda: v.load(document)),
            outcome(lambda: v.load(data, fail_fast=True)),
        ]
        # What load built, to the last type and key order.
        answers["loaded"] = outcome(lambda: repr(v.load(data)))
        # The same document as the Python objects it loads to, through is_valid.
        try:
            parsed = PARSE.load(document)
        except ValidationError:
            pass
        else:
            answers["parsed"] = outcome(lambda: v.is_valid(parsed))
    if any(calls_made):
        answers["calls"] = list(calls_made)
    return answers


def serve():
    """Answers each line: a case, or a list of cases (then a list of answers)."""
    for line in sys.stdin:
        request = json.loads(line)
        if request[0] == "batch":
            answer = [evaluate(*case) for case in request[1]]
        else:
            answer = evaluate(*request)
        print(json.dumps(answer), flush=True)


if __name__ == "__main__":
    serve()
