"""Membership of Python values: is_valid against pydantic-core and msgspec in strict
mode on the same inputs, and validate of a member against is_valid.

Prints ratios measured in this one run: peer time / tarmelix is_valid time (above 1
means tarmelix is faster), and validate time / is_valid time for a member. Times are
the process's CPU time, the least of 15 interleaved rounds, so that other work on a
shared machine disturbs the ratios as little as possible.
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
        ("list of 10^6 ints", list[int], list[int], ints),
        ("list of 10^5 ten-field dicts", list[FIELDS], list[Row], rows),
        ("list of 10^5 of a 100-string Literal", words_type, words_type, words),
        ("list of 10^5 dataclass instances", list[Point], list[Point], points),
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
    for name, spec, peer_type, value in workloads():
        v = Validator(spec)
        adapter = pydantic.TypeAdapter(peer_type)
        assert v.is_valid(value)
        adapter.validate_python(value, strict=True)
        msgspec.convert(value, peer_type, strict=True)
        t_is_valid, t_validate, t_pydantic, t_msgspec = best_of(
            [
                v.is_valid,
                v.validate,
                lambda x: adapter.validate_python(x, strict=True),
                lambda x: msgspec.convert(x, peer_type, strict=True),
            ],
            value,
            repeat=15,
        )
        print(f"{name:40} {t_is_valid * 1e3:11.2f} {t_pydantic / t_is_valid:10.2f} "
              f"{t_msgspec / t_is_valid:10.2f} {t_validate / t_is_valid:18.2f}")


if __name__ == "__main__":
    main()
