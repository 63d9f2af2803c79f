"""Short lists many times over: is_valid_json against a bare SIMD parse (pysimdjson, one
parser reused) of the same bytes, where the document holds 10^5 lists of two items (and,
beside them, of eight), so what entering a list costs is spread over few items.

The short lists stand where documents put them: as a map's values
(`dict[str, list[X]]`), as a list's items (`list[list[X]]`) and as a record's field
(`list[{"pair": list[X], "n": int}]`), with items of int, float, str and literal texts.
msgspec's typed JSON decode of the same bytes is shown beside them.

Prints, per shape, the times of this one run (CPU time of the process, least of 7 rounds
in which every contender runs) and their ratios: is_valid_json / SIMD parse (target at
most 1.5) and msgspec json / ours. Run with shape names (substrings) to measure only
those.
"""

import importlib.metadata
import platform
import sys
from typing import Any, Literal, TypedDict

import msgspec
import simdjson

from bench_json_floor import least_times
from tarmelix import Validator

N = 100_000
Word = Literal["alpha", "beta", "gamma", "delta"]
WORDS = ["alpha", "beta", "gamma", "delta"]


def items(kind, i, width):
    if kind == "int":
        return [i + k for k in range(width)]
    if kind == "float":
        return [i + k + 0.5 for k in range(width)]
    if kind == "str":
        return [f"s{(i + k) % 1000}" for k in range(width)]
    return [WORDS[(i + k) % 4] for k in range(width)]


ITEM_TYPES = {"int": int, "float": float, "str": str, "literal texts": Word}


def record_of(item_type):
    class Row(TypedDict):
        pair: list[item_type]
        n: int

    return Row


def shapes():
    """(name, our type, msgspec type, value)."""
    for width in (2, 8):
        count = N if width == 2 else N // 4
        for kind, t in ITEM_TYPES.items():
            lists = [items(kind, i, width) for i in range(count)]
            yield (f"dict[str, list[{kind}]] of {width}", dict[str, list[t]], dict[str, list[t]],
                   {f"k{i}": x for i, x in enumerate(lists)})
            yield f"list[list[{kind}]] of {width}", list[list[t]], list[list[t]], lists
        row = record_of(Word)
        yield (f"record field list[literal texts] of {width}", list[row], list[row],
               [{"pair": items("literal texts", i, width), "n": i} for i in range(count)])


def measure(name, ours, ms_type, value):
    data = msgspec.json.encode(value)
    v = Validator(ours)
    assert v.is_valid_json(data), name
    parser = simdjson.Parser()
    bare = Validator(Any)
    decoder = msgspec.json.Decoder(ms_type)
    decoder.decode(data)
    t = least_times({
        "is_valid_json": lambda: v.is_valid_json(data),
        "simdjson parse": lambda: parser.parse(data),
        "own parse": lambda: bare.is_valid_json(data),
        "msgspec json": lambda: decoder.decode(data),
    })
    row = {
        "is_valid_json ms": f"{t['is_valid_json'] * 1e3:.2f}",
        "parse ms": f"{t['simdjson parse'] * 1e3:.2f}",
        "own parse ms": f"{t['own parse'] * 1e3:.2f}",
        "json / parse": f"{t['is_valid_json'] / t['simdjson parse']:.2f}",
        "json / own parse": f"{t['is_valid_json'] / t['own parse']:.2f}",
        "msgspec json x": f"{t['msgspec json'] / t['is_valid_json']:.2f}",
    }
    print(f"\n{name}")
    for k, secs in t.items():
        print(f"  {k:16s} {secs * 1e3:8.2f} ms")
    return row


def main():
    print(f"python {platform.python_version()}, msgspec {msgspec.__version__}, "
          f"pysimdjson {importlib.metadata.version('pysimdjson')}")
    only = sys.argv[1:]
    rows = [(name, measure(name, *rest)) for name, *rest in shapes()
            if not only or any(o in name for o in only)]
    columns = ["is_valid_json ms", "parse ms", "own parse ms", "json / parse",
               "json / own parse", "msgspec json x"]
    print("\ntarget: is_valid_json <= 1.5x the SIMD parse\n")
    print("| shape | " + " | ".join(columns) + " |")
    print("|---|" + "---:|" * len(columns))
    for name, row in rows:
        print(f"| `{name}` | " + " | ".join(row[c] for c in columns) + " |")


if __name__ == "__main__":
    main()
