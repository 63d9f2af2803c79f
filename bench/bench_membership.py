"""Membership of Python values: is_valid against pydantic-core and msgspec in strict
mode on the same inputs, and validate of a member against is_valid.

Prints ratios measured in this one run: peer time / tarmelix is_valid time (above 1
means tarmelix is faster), and validate time / is_valid time for a member.
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


def best(fn, value, repeat):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn(value)
        times.append(time.perf_counter() - t0)
    return min(times)


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
        repeat = 7
        t_is_valid = best(v.is_valid, value, repeat)
        t_validate = best(v.validate, value, repeat)
        t_pydantic = best(lambda x: adapter.validate_python(x, strict=True), value, repeat)
        t_msgspec = best(lambda x: msgspec.convert(x, peer_type, strict=True), value, repeat)
        print(f"{name:40} {t_is_valid * 1e3:11.2f} {t_pydantic / t_is_valid:10.2f} "
              f"{t_msgspec / t_is_valid:10.2f} {t_validate / t_is_valid:18.2f}")


if __name__ == "__main__":
    main()
