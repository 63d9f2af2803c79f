"""Objects whose dunders raise, predicates that mutate what is under check,
and deep values: the user code a validator must survive."""

import dataclasses
from typing import Annotated, Any

import tarmelix as t

from gen import Meta, Point, rand_value
from known import KNOWN


class Boom(Exception):
    pass


class Abort(BaseException):
    pass


# Non-fatal exceptions count as non-membership; fatal ones must come out unchanged.
FATAL = [KeyboardInterrupt, MemoryError, RecursionError, Abort, SystemExit]
PLAIN = [Boom, ValueError, TypeError, AttributeError, StopIteration, ZeroDivisionError]

DUNDERS = ["__eq__", "__hash__", "__repr__", "__len__", "__bool__", "__iter__", "__lt__", "__ge__", "__mod__", "__contains__"]


def raiser(exc, name, base):
    def method(self, *args):
        if type(self).armed:
            raise exc("hostile")
        fallback = getattr(base, name, None)
        if fallback is None:
            if name == "__bool__":
                return True
            raise TypeError(name)
        return fallback(self, *args)
    return method


def hostile_class(base, dunders, exc):
    """A subclass of base whose given dunders raise once the class is armed
    (so that the value under check can be built first)."""
    name = "Hostile_%s_%s" % (base.__name__, "_".join(d.strip("_") for d in dunders))
    body = {d: raiser(exc, d, base) for d in dunders}
    body["armed"] = False
    if "__eq__" in body and "__hash__" not in body:
        body["__hash__"] = base.__hash__
    return type(name, (base,), body)


class RaisingMeta(type):
    exc = Boom

    def __instancecheck__(cls, obj):
        raise cls.exc("instancecheck")

    def __subclasscheck__(cls, sub):
        raise cls.exc("subclasscheck")


@dataclasses.dataclass
class Box:
    f: int


def build(rng):
    """One hostile case: (description, spec, value, allowed exception types)."""
    exc = rng.choice(PLAIN + FATAL) if rng.random() < 0.5 else rng.choice(PLAIN)
    allowed = {exc} if exc in FATAL else set()
    kind = rng.randrange(9)
    if kind == 0:
        # a value whose dunders raise, under a schema that pokes at it
        base = rng.choice([object, int, str, list, dict, tuple, float])
        if base is str and exc is MemoryError and "fatal_dropped" in KNOWN:
            exc, allowed = Boom, set()
        dunders = rng.sample(DUNDERS, rng.randint(1, 3))
        cls = hostile_class(base, dunders, exc)
        value = cls()
        specs = [
            ("int", int), ("str", str), ("list[int]", list[int]), ("dict[str, int]", dict[str, int]),
            ("Literal[1, 'a', None]", __import__("typing").Literal[1, "a", None]),
            ("Annotated[int, Meta(ge=0, multiple_of=2)]", Annotated[int, Meta(ge=0, multiple_of=2)]),
            ("Annotated[Any, Meta(min_length=1)]", Annotated[Any, Meta(min_length=1)]),
            ("Annotated[str, Meta(pattern='a+')]", Annotated[str, Meta(pattern="a+")]),
            ("{'a': int}", {"a": int}), ("set[int]", set[int]), ("Box", Box), ("t.complement(int)", t.complement(int)),
        ]
        src, spec = rng.choice(specs)
        holder = rng.choice(["v", "[v]", "{'a': v}", "{v: 1}", "(v,)"])
        try:
            value = eval(holder, {"v": value})
        except BaseException:
            holder = "v"
        cls.armed = True
        return "%s(%s) with %s raising %s, in %s" % (cls.__name__, base.__name__, dunders, exc.__name__, holder), spec, value, allowed
    if kind == 1:
        # a predicate that raises
        def predicate(x):
            raise exc("predicate")
        spec = rng.choice([Annotated[int, predicate], list[Annotated[Any, predicate]], t.union(Annotated[str, predicate], int)])
        return "predicate raising %s in %r" % (exc.__name__, t.Validator(spec)), spec, rand_value(rng), allowed
    if kind == 2:
        # a class whose instance check raises
        meta = type("M", (RaisingMeta,), {"exc": exc})
        cls = meta("Raising", (), {})
        spec = rng.choice([cls, list[cls], t.union(cls, int), {"a": cls}])
        return "class whose __instancecheck__ raises %s" % exc.__name__, spec, rand_value(rng), allowed
    if kind == 3:
        # a predicate that mutates the container under check
        container = rng.choice(["list", "dict", "set", "nested"])
        op = rng.choice(["clear", "grow", "replace"])
        value = {"list": [1, 2, 3, 4], "dict": {"a": 1, "b": 2, "c": 3}, "set": {1, 2, 3}, "nested": [[1, 2], {"a": [3, 4]}]}[container]

        done = []

        def predicate(x, value=value):
            # once only: growing the list on every call would never end, in Python too
            if done:
                return True
            done.append(1)
            target = value if container != "nested" else value[rng.randrange(2)]
            if isinstance(target, list):
                {"clear": target.clear, "grow": lambda: target.extend(range(50)), "replace": lambda: target.__setitem__(slice(None), [object()])}[op]()
            elif isinstance(target, dict):
                {"clear": target.clear, "grow": lambda: target.update({str(i): i for i in range(50)}), "replace": lambda: target.update(a=object(), b=[])}[op]()
            else:
                {"clear": target.clear, "grow": lambda: target.update(range(10, 60)), "replace": lambda: (target.clear(), target.add(object()))}[op]()
            return True

        p = Annotated[Any, predicate]
        spec = {
            "list": list[p], "dict": rng.choice([dict[str, p], {"a": p, "b": p, "c": p}, dict[p, p]]),
            "set": set[p], "nested": rng.choice([list[Any | list[p] | dict[str, list[p]]], t.recursive(lambda s: list[s] | dict[str, s] | p)]),
        }[container]
        return "predicate that does %s on a %s under check" % (op, container), spec, value, {"panic"}
    if kind == 4:
        # a predicate that re-enters its own validator
        holder = []

        def predicate(x):
            return holder[0].is_valid([x]) if holder else True

        spec = t.recursive(lambda s: list[s] | Annotated[int, predicate])
        holder.append(t.Validator(spec))
        return "predicate re-entering its validator", spec, [[1]], {RecursionError}
    if kind == 5:
        # attribute reads of an Object that raise
        cls = type("BadBox", (Box,), {"__getattribute__": lambda self, name: (_ for _ in ()).throw(exc(name)) if name == "f" else object.__getattribute__(self, name)})
        return "dataclass instance whose attribute read raises %s" % exc.__name__, rng.choice([Box, list[Box], Point | Box]), [cls(1)][0], allowed
    if kind == 6:
        # metadata whose attribute reads raise: construction discards them
        class BadMeta:
            def __getattr__(self, name):
                raise exc(name)
        return "Annotated metadata whose __getattr__ raises %s" % exc.__name__, Annotated[int, BadMeta()], rand_value(rng), allowed
    if kind == 7:
        # a dict key type with hostile hash and eq, looked up by a record
        raising = exc if not (exc is MemoryError and "fatal_dropped" in KNOWN) else Boom
        allowed = {raising} if raising in FATAL else set()
        cls = hostile_class(str, rng.sample(["__hash__", "__eq__"], rng.randint(1, 2)), raising)
        value = {cls("a"): 1, "b": 2}
        cls.armed = True
        spec = rng.choice([{"a": int, "b?": int}, {"a?": int}, dict[str, int], dict[Any, Any]])
        return "str subclass key with raising hash/eq (%s)" % raising.__name__, spec, value, allowed
    # deep values against schemas that descend into them
    depth = rng.choice([100, 1000, 5000, 20000])
    value = leaf = rng.choice([1, "x", None])
    for _ in range(depth):
        value = [value] if rng.random() < 0.9 else {"a": value}
    spec = rng.choice([
        t.recursive(lambda s: t.union(None, int, list[s])),
        t.recursive(lambda s: list[s] | dict[str, s] | str | int | None),
        Any, list[Any], t.recursive(lambda s: list[s]),
    ])
    return "value nested %d deep ending in %r" % (depth, leaf), spec, value, {RecursionError, "deep"}
