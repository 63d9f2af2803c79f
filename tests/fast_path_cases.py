"""Schemas and values described as plain data, so that two interpreters (one with
the fast roads, one with TARMELIX_SLOW_PATHS=1) build the same objects and can
compare what the validators answer. `serve()` is the slow interpreter's loop."""

import json
import sys
from dataclasses import dataclass
from typing import Annotated, Literal

from tarmelix import ValidationError, Validator

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


class DictSub(dict):
    pass


class Missing(dict):
    def __missing__(self, key):
        return 0


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

# The value under check, for predicates that change it during the walk.
victim = [None]


def mutate(kind):
    def predicate(v):
        target = victim[0]
        if kind == "shrink" and isinstance(target, list) and target:
            target.pop()
        elif kind == "grow_dict" and isinstance(target, dict):
            target[f"new{len(target)}"] = 1
        return True

    return predicate


def spec(d):
    tag = d[0]
    scalars = {"int": int, "str": str, "float": float, "bool": bool, "none": None}
    if tag in scalars:
        return scalars[tag]
    if tag == "lit":
        # Interned, so that a value can be the very constant.
        return Literal[tuple(sys.intern(x) if isinstance(x, str) else x for x in d[1])]
    if tag == "list":
        return list[spec(d[1])]
    if tag == "tuple":
        return tuple[spec(d[1]), ...]
    if tag == "record":
        return {name + ("" if required else "?"): spec(s) for name, s, required in d[1]}
    if tag == "obj":
        return CLASSES[d[1]]
    if tag == "mut":
        return Annotated[int, mutate(d[1])]
    raise ValueError(d)


def text(s, how):
    """A str of the text s: the interned object itself, an equal new one, or an OddStr."""
    if how == "same":
        return sys.intern(s)
    if how == "new":
        return "".join(list(s)) if len(s) > 1 else (s + "!")[:-1]
    return OddStr(s)


def value(d):
    tag = d[0]
    if tag == "int":
        return d[1]
    if tag == "intsub":
        return IntSub(d[1])
    if tag == "float":
        return d[1]
    if tag == "bool":
        return d[1]
    if tag == "none":
        return None
    if tag == "str":
        return text(d[1], d[2])
    if tag in ("list", "tuple"):
        items = [value(x) for x in d[1]]
        return items if tag == "list" else tuple(items)
    if tag == "dict":
        kind = {"dict": dict, "sub": DictSub, "missing": Missing}[d[1]]
        out = kind()
        for key, item in d[2]:
            out[value(key)] = value(item)
        return out
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


def outcome(call):
    try:
        result = call()
    except ValidationError as e:
        return ["invalid", [[r["code"], r["path"], r["expected"], r["value"]] for r in e.errors]]
    except BaseException as e:  # noqa: BLE001 - faults are part of the answer
        return ["raised", type(e).__name__, str(e)]
    return ["ok", result if isinstance(result, bool) else None]


def evaluate(schema_desc, value_desc):
    """Everything the membership entry points say about one value."""
    v = Validator(spec(schema_desc))
    answers = []
    for call in ("is_valid", "in", "validate", "validate_fail_fast"):
        x = value(value_desc)
        victim[0] = x
        if call == "is_valid":
            answers.append(outcome(lambda: v.is_valid(x)))
        elif call == "in":
            answers.append(outcome(lambda: x in v))
        elif call == "validate":
            answers.append(outcome(lambda: v.validate(x)))
        else:
            answers.append(outcome(lambda: v.validate(x, fail_fast=True)))
    return answers


def serve():
    for line in sys.stdin:
        schema_desc, value_desc = json.loads(line)
        print(json.dumps(evaluate(schema_desc, value_desc)), flush=True)


if __name__ == "__main__":
    serve()
