"""Membership of Python values: is_valid against pydantic-core and msgspec in strict
mode on the same inputs, and validate of a member against is_valid.

Prints ratios measured in this one run: peer time / tarmelix is_valid time (above 1
means tarmelix is faster), and validate time / is_valid time for a member. Times are
the process's CPU time, the least of 15 interleaved rounds, so that other work on a
shared machine disturbs the ratios as little as possible.

In strict mode both peers accept a dataclass instance as it is, without reading its
fields, while is_valid reads and checks every field. The dataclass workload therefore
also runs peer configurations that read and check every field of every instance:
pydantic with revalidate_instances="always", and msgspec converting each instance by
its attributes into a Struct of the same fields.
"""

import platform
import time
from dataclasses import dataclass
from typing import Literal, TypedDict

import msgspec
import pydantic

from tarmelix import Validator

FIELDS = {f"field{i}": (int if i % 3 == 0 else str if i % 3 == 1 else float) for i in range(10)}
Row = TypedDict("Row", FIELDS)
WORDS = tuple(f"word{i:03d}" for i in range(100))


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


def field_checking_peers():
    """Peer calls that read and check every field of every Point in a list."""
    revalidating = pydantic.TypeAdapter(
        list[Point], config=pydantic.ConfigDict(revalidate_instances="always")
    )
    return [
        ("pydantic revalidate_instances='always'",
         lambda x: revalidating.validate_python(x, strict=True)),
        ("msgspec convert to a Struct, from_attributes",
         lambda x: msgspec.convert(x, list[PointStruct], strict=True, from_attributes=True)),
    ]


def workloads():
    ints = list(range(10**6))
    rows = [
        {name: (i if t is int else f"s{i}" if t is str else i * 0.5) for name, t in FIELDS.items()}
        for i in range(10**5)
    ]
    words = [WORDS[(i * 37) % 100] for i in range(10**5)]
    points = [Point(i, -i, f"p{i}", i * 0.25) for i in range(10**5)]
    words_type = list[Literal[WORDS]]
    return [
        ("list of 10^6 ints", list[int], list[int], ints, []),
        ("list of 10^5 ten-field dicts", list[FIELDS], list[Row], rows, []),
        ("list of 10^5 of a 100-string Literal", words_type, words_type, words, []),
        ("list of 10^5 dataclass instances", list[Point], list[Point], points,
         field_checking_peers()),
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
    header = (f"{'workload':40} {'is_valid ms':>11} {'pydantic x':>10} {'msgspec x':>10} "
              f"{'validate/is_valid':>18}")
    print(header)
    like_for_like = []
    for name, spec, peer_type, value, extra in workloads():
        v = Validator(spec)
        adapter = pydantic.TypeAdapter(peer_type)
        assert v.is_valid(value)
        adapter.validate_python(value, strict=True)
        msgspec.convert(value, peer_type, strict=True)
        for peer, fn in extra:
            fn(value)
            # Each such peer must refuse an instance whose field has the wrong type.
            bad = [Point(0, "0", "p", 0.0)]
            assert not v.is_valid(bad)
            try:
                fn(bad)
            except (pydantic.ValidationError, msgspec.ValidationError):
                pass
            else:
                raise AssertionError(f"{peer} accepted a wrong field")
        times = best_of(
            [
                v.is_valid,
                v.validate,
                lambda x: adapter.validate_python(x, strict=True),
                lambda x: msgspec.convert(x, peer_type, strict=True),
            ]
            + [fn for _, fn in extra],
            value,
            repeat=15,
        )
        t_is_valid, t_validate, t_pydantic, t_msgspec = times[:4]
        print(f"{name:40} {t_is_valid * 1e3:11.2f} {t_pydantic / t_is_valid:10.2f} "
              f"{t_msgspec / t_is_valid:10.2f} {t_validate / t_is_valid:18.2f}")
        for (peer, _), t in zip(extra, times[4:]):
            like_for_like.append((name, peer, t, t_is_valid))
    if like_for_like:
        print()
        print("peers that read and check every field:")
        print(f"{'workload':40} {'peer':46} {'peer ms':>8} {'peer x':>7}")
        for name, peer, t, t_is_valid in like_for_like:
            print(f"{name:40} {peer:46} {t * 1e3:8.2f} {t / t_is_valid:7.2f}")


if __name__ == "__main__":
    main()
