"""Construction time: a dataclass of ten fields and a union of a hundred literals.

Prints microseconds per schema node for tarmelix and, for each peer present in
this environment, the ratio peer time / tarmelix time on the same spec (above 1
means tarmelix builds faster).
"""

import dataclasses
import timeit
import typing

import tarmelix


@dataclasses.dataclass
class Ten:
    a: int
    b: str
    c: float
    d: bool
    e: bytes
    f: list[int]
    g: dict[str, int]
    h: typing.Optional[str]
    i: tuple[int, ...]
    j: set[str]


HUNDRED = typing.Literal[tuple(range(100))]

# Nodes of each tree: the Object and its ten field trees; the Union and its
# hundred Literal members.
CASES = [
    ("dataclass of ten fields", Ten, 1 + 10 + 2 + 2 + 1 + 2 + 2 + 2),
    ("union of a hundred literals", HUNDRED, 101),
]


def best_seconds(build, number):
    return min(timeit.repeat(build, number=number, repeat=5)) / number


def peers(spec):
    # Only peers that build afresh on each call: a library that caches what it
    # made for a type would be timing a dict lookup.
    found = {}
    try:
        import pydantic

        found["pydantic"] = lambda: pydantic.TypeAdapter(spec)
    except ImportError:
        pass
    return found


def main():
    for name, spec, nodes in CASES:
        ours = best_seconds(lambda: tarmelix.Validator(spec), 200)
        print(f"{name}: {ours * 1e6:.1f} us per validator, {ours * 1e6 / nodes:.2f} us per node")
        for peer, build in peers(spec).items():
            theirs = best_seconds(build, 20)
            print(f"  {peer}: {theirs / ours:.2f}x tarmelix time")


if __name__ == "__main__":
    main()
