"""Membership of Python values: is_valid against pydantic-core and msgspec in strict
mode on the same inputs, and validate of a member against is_valid.

Prints ratios measured in this one run: is_valid time / the time of a hand-written C
loop making the same checks (the floor, bench/floor/floor.c), peer time / tarmelix
is_valid time (above 1 means tarmelix is faster), and validate time / is_valid time
for a member. Times are
the process's CPU time, the least of 15 interleaved rounds, so that other work on a
shared machine disturbs the ratios as little as possible.

In strict mode both peers accept a dataclass instance as it is, without reading its
fields, while is_valid reads and checks every field. The dataclass workload therefore
compares with peer configurations that read and check every field of every instance:
pydantic with revalidate_instances="always", and msgspec converting each instance by
its attributes into a Struct of the same fields; the strict defaults are printed after.
"""

import os
import platform
import sys
import time
from dataclasses import dataclass
from typing import Literal, NotRequired, TypedDict

import msgspec
import pydantic

from tarmelix import Validator

# The floor: hand-written C loops making the same checks (bench/floor/floor.c),
# built by scripts/bench.sh into TARMELIX_FLOOR_DIR.
sys.path.insert(0, os.environ.get("TARMELIX_FLOOR_DIR", "build-bench-floor"))
import floor  # noqa: E402

KIND_CODES = {int: 0, str: 1, float: 2}
FIELDS = {f"field{i}": (int if i % 3 == 0 else str if i % 3 == 1 else float) for i in range(10)}
Row = TypedDict("Row", FIELDS)
# The floor compares keys against the interned names, as the source's literals are.
NAMES = tuple(sys.intern(name) for name in FIELDS)
KINDS = tuple(KIND_CODES[t] for t in FIELDS.values())
WORDS = tuple(f"word{i:03d}" for i in range(100))


def literal_row(i):
    """A row whose keys are literals of this source, so interned str objects."""
    return {
        "field0": i, "field1": f"s{i}", "field2": i * 0.5, "field3": i, "field4": f"t{i}",
        "field5": i * 0.25, "field6": -i, "field7": f"u{i}", "field8": i * 2.0, "field9": i + 1,
    }


@dataclass
class Point:
    x: int
    y: int
    label: str
    weight: float


class PointStruct(msgspec.Struct):
    """Point's fields as a Struct, the target msgspec checks attributes against."""

    x: int
    y: int
    label: str
    weight: float


class Address(TypedDict):
    street: str
    city: str
    zip: NotRequired[str]


class User(TypedDict):
    id: int
    name: str
    tags: list[str]
    address: Address
    score: NotRequired[float]


def field_checking_peers():
    """Peer calls that read and check every field of every Point in a list."""
    revalidating = pydantic.TypeAdapter(
        list[Point], config=pydantic.ConfigDict(revalidate_instances="always")
    )
    return (
        lambda x: revalidating.validate_python(x, strict=True),
        lambda x: msgspec.convert(x, list[PointStruct], strict=True, from_attributes=True),
    )


def strict_peers(peer_type):
    adapter = pydantic.TypeAdapter(peer_type)
    return (
        lambda x: adapter.validate_python(x, strict=True),
        lambda x: msgspec.convert(x, peer_type, strict=True),
    )


def workloads():
    """(name, spec, peer calls, floor call or None, value)."""
    ints = list(range(10**6))
    literal_rows = [literal_row(i) for i in range(10**5)]
    assert all(k is sys.intern(k) for k in literal_rows[0])
    rows = [
        {name: (i if t is int else f"s{i}" if t is str else i * 0.5) for name, t in FIELDS.items()}
        for i in range(10**5)
    ]
    assert not any(k is n for k, n in zip(rows[0], NAMES))
    words = [WORDS[(i * 37) % 100] for i in range(10**5)]
    word_set = frozenset(WORDS)
    points = [Point(i, -i, f"p{i}", i * 0.25) for i in range(10**5)]
    point_names = tuple(sys.intern(n) for n in ("x", "y", "label", "weight"))
    users = [
        {"id": i, "name": f"n{i}", "tags": [f"a{i}", "b", "c"],
         "address": {"street": f"s{i}", "city": "c", **({"zip": "z"} if i % 2 else {})},
         **({"score": i * 0.5} if i % 3 else {})}
        for i in range(10**5)
    ]
    words_type = list[Literal[WORDS]]
    return [
        ("list of 10^6 ints", list[int], strict_peers(list[int]), floor.ints, ints),
        ("10^5 ten-field dicts, interned keys", list[FIELDS], strict_peers(list[Row]),
         lambda x: floor.dicts_by_identity(x, NAMES, KINDS), literal_rows),
        ("10^5 ten-field dicts, new str keys", list[FIELDS], strict_peers(list[Row]),
         lambda x: floor.dicts_by_name(x, NAMES, KINDS), rows),
        ("10^5 of a 100-string Literal", words_type, strict_peers(words_type),
         lambda x: floor.strs_in(x, word_set), words),
        ("10^5 dataclass instances (4 fields)", list[Point], field_checking_peers(),
         lambda x: floor.instances(x, Point, point_names, (0, 0, 1, 2)), points),
        ("10^5 nested TypedDicts", list[User], strict_peers(list[User]), None, users),
    ]


def best_of(fns, value, repeat):
    """The least time of each function over `repeat` rounds. The functions take
    turns within a round, so a burst of load on the machine hits all of them."""
    times = [[] for _ in fns]
    for _ in range(repeat):
        for slot, fn in zip(times, fns):
            t0 = time.process_time()
            fn(value)
            slot.append(time.process_time() - t0)
    return [min(slot) for slot in times]


def main():
    print(f"python {platform.python_version()}, pydantic-core via pydantic "
          f"{pydantic.VERSION}, msgspec {msgspec.__version__}")
    print(f"{'workload':38} {'is_valid ms':>11} {'floor ms':>9} {'/floor':>7} "
          f"{'pydantic x':>10} {'msgspec x':>10} {'validate/is_valid':>18}")
    defaults = None
    for name, spec, (pydantic_call, msgspec_call), floor_call, value in workloads():
        v = Validator(spec)
        assert v.is_valid(value)
        pydantic_call(value)
        msgspec_call(value)
        fns = [v.is_valid, v.validate, pydantic_call, msgspec_call]
        if floor_call is not None:
            assert floor_call(value) is True
            fns.append(floor_call)
        if spec == list[Point]:
            # Each field-checking peer must refuse an instance whose field has the wrong type.
            bad = [Point(0, "0", "p", 0.0)]
            assert not v.is_valid(bad) and floor_call(bad) is False
            for fn in (pydantic_call, msgspec_call):
                try:
                    fn(bad)
                except (pydantic.ValidationError, msgspec.ValidationError):
                    pass
                else:
                    raise AssertionError("a field-checking peer accepted a wrong field")
            default_pydantic, default_msgspec = strict_peers(list[Point])
            fns += [default_pydantic, default_msgspec]
        times = best_of(fns, value, repeat=15)
        t_is_valid, t_validate, t_pydantic, t_msgspec = times[:4]
        if floor_call is not None:
            t_floor = times[4]
            floor_cols = f"{t_floor * 1e3:9.2f} {t_is_valid / t_floor:7.2f}"
        else:
            floor_cols = f"{'-':>9} {'-':>7}"
        print(f"{name:38} {t_is_valid * 1e3:11.2f} {floor_cols} {t_pydantic / t_is_valid:10.2f} "
              f"{t_msgspec / t_is_valid:10.2f} {t_validate / t_is_valid:18.2f}")
        if spec == list[Point]:
            defaults = (t_is_valid, times[5], times[6])
    if defaults:
        t_is_valid, t_pydantic, t_msgspec = defaults
        print()
        print("dataclass peers above read and check every field (pydantic "
              "revalidate_instances='always', msgspec from_attributes into a Struct);")
        print(f"their strict defaults, which read no field: pydantic x {t_pydantic / t_is_valid:.2f}, "
              f"msgspec x {t_msgspec / t_is_valid:.2f}")


if __name__ == "__main__":
    main()
