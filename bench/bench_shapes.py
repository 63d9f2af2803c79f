"""Everyday schema shapes on both roads: is_valid against pydantic and msgspec in strict
mode on the same Python values, and is_valid_json against a bare SIMD parse (pysimdjson,
one parser reused) and both peers' JSON validation of the same bytes.

Each shape is a container of about 10^5 values (records: 2 * 10^4), all members, the
same type for every contender: unions of scalar kinds, literal sets, an enum, tuples,
sets and frozensets, dict values of unions, records of optional, union and constrained
fields, and a union of three TypedDicts tagged by a `kind` literal (pydantic with that
field as its discriminator). Constraints are annotated_types objects for tarmelix and
pydantic, and msgspec.Meta with the same bounds for msgspec. A "-" is a peer that
refuses the shape, or JSON that cannot hold it (tuples, sets and enum members are never
read from JSON by is_valid_json).

Prints, per shape, the times of this one run (CPU time of the process, least of 7 rounds
in which every contender runs) and their ratios: peer time / ours (above 1: tarmelix is
faster) and is_valid_json / SIMD parse. Beside the SIMD parse, "own parse" is our own
parser's bare parse of the same bytes (is_valid_json against `Any`, whose walk reads only
the root), a different build of the parser than pysimdjson's, so the reader can see how
much of the ratio is the parsers' own difference; the target stays against pysimdjson.
Run with shape names (substrings) to measure only those.
"""

import enum
import importlib.metadata
import platform
import sys
from typing import Annotated, Any, Literal, NotRequired, Optional, TypedDict, Union

import annotated_types as at
import msgspec
import pydantic
import simdjson

from bench_json_floor import least_times
from tarmelix import Validator

N = 100_000
ROWS = 20_000


class Color(enum.Enum):
    RED = 1
    GREEN = 2
    BLUE = 3


class Circle(TypedDict):
    kind: Literal["circle"]
    r: float


class Rect(TypedDict):
    kind: Literal["rect"]
    w: float
    h: float


class Label(TypedDict):
    kind: Literal["label"]
    text: str


Shape = Union[Circle, Rect, Label]


class Mixed(TypedDict):
    id: Optional[int]
    ref: Union[int, str]
    scores: Optional[list[int]]


def bounded_types(meta):
    """The constrained records, with the constraint objects `meta` makes."""

    class Bounded(TypedDict):
        name: Annotated[str, meta(min_length=1, max_length=16)]
        count: Annotated[int, meta(ge=0, le=1000)]
        ratio: Annotated[float, meta(gt=0.0, lt=1.0)]

    class Tagged(TypedDict):
        name: Annotated[str, meta(min_length=1, max_length=16)]
        tags: list[Literal["a", "b", "c", "d"]]
        note: NotRequired[Optional[str]]

    return Bounded, Tagged


def annotated_meta(min_length=None, max_length=None, ge=None, le=None, gt=None, lt=None):
    """annotated_types objects: tarmelix and pydantic read the same ones."""
    if min_length is not None:
        return at.Len(min_length, max_length)
    if ge is not None:
        return at.Interval(ge=ge, le=le)
    return at.Interval(gt=gt, lt=lt)


Bounded, Tagged = bounded_types(annotated_meta)
MsBounded, MsTagged = bounded_types(msgspec.Meta)


def shapes():
    """(name, our type, pydantic type, msgspec type, value, JSON or None)."""
    words = [f"w{i % 1000}" for i in range(N)]
    shape_rows = [
        {"kind": "circle", "r": i * 0.5 + 0.25} if i % 3 == 0
        else {"kind": "rect", "w": i * 0.25 + 0.5, "h": 2.5} if i % 3 == 1
        else {"kind": "label", "text": f"label {i}"}
        for i in range(ROWS)
    ]
    mixed_rows = [{"id": i if i % 4 else None, "ref": i if i % 2 else f"r{i}",
                   "scores": [i, i + 1, i + 2] if i % 3 else None} for i in range(ROWS)]
    bounded_rows = [{"name": f"n{i % 9999}", "count": i % 1001, "ratio": (i % 999 + 0.5) / 1000}
                    for i in range(ROWS)]
    tagged_rows = [{"name": f"t{i % 9999}", "tags": ["a", "b", "c", "d"][: i % 4 + 1],
                    **({"note": None if i % 2 else f"note {i}"} if i % 3 else {})}
                   for i in range(ROWS)]
    discriminated = Annotated[Shape, pydantic.Field(discriminator="kind")]
    same = lambda t, value, json=True: (t, t, t, value, json)  # noqa: E731
    table = [
        ("list[int | None]", *same(list[Optional[int]], [i if i % 3 else None for i in range(N)])),
        ("list[int | str]", *same(list[Union[int, str]], [i if i % 2 else f"s{i}" for i in range(N)])),
        ("list[float | str]", *same(list[Union[float, str]],
                                    [i + 0.5 if i % 2 else f"s{i}" for i in range(N)])),
        ("list[str | bool | None]", *same(list[Union[str, bool, None]],
                                          [None if i % 3 == 0 else i % 2 == 0 if i % 3 == 1
                                           else words[i] for i in range(N)])),
        ("list[Literal[1, 2, 3]]", *same(list[Literal[1, 2, 3]], [i % 3 + 1 for i in range(N)])),
        ("list[Enum]", *same(list[Color], [Color(i % 3 + 1) for i in range(N)], json=False)),
        ("tagged union of 3 TypedDicts", list[Shape], list[discriminated], list[Shape],
         shape_rows, True),
        ("TypedDict of Optional[int], int | str, Optional[list[int]]", *same(list[Mixed], mixed_rows)),
        ("TypedDict of str length, int Ge/Le, float Gt/Lt", list[Bounded], list[Bounded],
         list[MsBounded], bounded_rows, True),
        ("TypedDict of str length, list[Literal], NotRequired[Optional[str]]", list[Tagged],
         list[Tagged], list[MsTagged], tagged_rows, True),
        ("dict[str, float]", *same(dict[str, float], {f"k{i}": i + 0.5 for i in range(N)})),
        ("dict[str, int | str]", *same(dict[str, Union[int, str]],
                                       {f"k{i}": i if i % 2 else words[i] for i in range(N)})),
        ("tuple[float, ...]", *same(tuple[float, ...], tuple(i + 0.5 for i in range(N)), json=False)),
        ("list[tuple[int, str, float]]", *same(list[tuple[int, str, float]],
                                               [(i, words[i], i + 0.5) for i in range(ROWS)],
                                               json=False)),
        ("set[int]", *same(set[int], set(range(N)), json=False)),
        ("frozenset[str]", *same(frozenset[str], frozenset(f"s{i}" for i in range(N)), json=False)),
    ]
    for name, ours, pd_type, ms_type, value, has_json in table:
        data = msgspec.json.encode(value) if has_json else None
        yield name, ours, pd_type, ms_type, value, data


def peer(make):
    """The peer's call that `make` builds, or None when the peer refuses the type or
    the value."""
    try:
        fn = make()
        fn()
    except (TypeError, ValueError, pydantic.PydanticSchemaGenerationError,
            pydantic.ValidationError, msgspec.ValidationError):
        return None
    return fn


def measure(name, ours, pd_type, ms_type, value, data):
    v = Validator(ours)
    assert v.is_valid(value), name
    adapter = pydantic.TypeAdapter(pd_type)
    contenders = {"is_valid": lambda: v.is_valid(value)}
    calls = {
        "pydantic": peer(lambda: lambda: adapter.validate_python(value, strict=True)),
        "msgspec": peer(lambda: lambda: msgspec.convert(value, ms_type, strict=True)),
    }
    if data is not None:
        assert v.is_valid_json(data), name
        parser = simdjson.Parser()
        bare = Validator(Any)
        assert bare.is_valid_json(data), name
        contenders["is_valid_json"] = lambda: v.is_valid_json(data)
        contenders["simdjson parse"] = lambda: parser.parse(data)
        contenders["own parse"] = lambda: bare.is_valid_json(data)
        calls["pydantic json"] = peer(lambda: lambda: adapter.validate_json(data, strict=True))

        def decode():
            decoder = msgspec.json.Decoder(ms_type)
            return lambda: decoder.decode(data)

        calls["msgspec json"] = peer(decode)
    contenders.update({k: fn for k, fn in calls.items() if fn is not None})
    t = least_times(contenders)

    def ratio(peer_name, road):
        return f"{t[peer_name] / t[road]:.2f}" if peer_name in t else "-"

    row = {
        "is_valid ms": f"{t['is_valid'] * 1e3:.2f}",
        "pydantic x": ratio("pydantic", "is_valid"),
        "msgspec x": ratio("msgspec", "is_valid"),
        "is_valid_json ms": "-", "parse ms": "-", "own parse ms": "-", "json / parse": "-",
        "pydantic json x": "-", "msgspec json x": "-",
    }
    if data is not None:
        row.update({
            "is_valid_json ms": f"{t['is_valid_json'] * 1e3:.2f}",
            "parse ms": f"{t['simdjson parse'] * 1e3:.2f}",
            "own parse ms": f"{t['own parse'] * 1e3:.2f}",
            "json / parse": f"{t['is_valid_json'] / t['simdjson parse']:.2f}",
            "pydantic json x": ratio("pydantic json", "is_valid_json"),
            "msgspec json x": ratio("msgspec json", "is_valid_json"),
        })
    print(f"\n{name}")
    for k, secs in t.items():
        print(f"  {k:16s} {secs * 1e3:8.2f} ms")
    print("  " + "  ".join(f"{k} {row[k]}" for k in
                           ("pydantic x", "msgspec x", "json / parse", "pydantic json x",
                            "msgspec json x")))
    return row


def main():
    print(f"python {platform.python_version()}, pydantic {pydantic.VERSION}, msgspec "
          f"{msgspec.__version__}, pysimdjson {importlib.metadata.version('pysimdjson')}")
    only = sys.argv[1:]
    rows = []
    for name, *rest in shapes():
        if not only or any(o in name for o in only):
            rows.append((name, measure(name, *rest)))
    columns = ["is_valid ms", "pydantic x", "msgspec x", "is_valid_json ms", "parse ms",
               "own parse ms", "json / parse", "pydantic json x", "msgspec json x"]
    print("\ntargets: is_valid >= 2x both peers; is_valid_json <= 1.5x the parse and "
          ">= 4x both peers\n")
    print("| shape | " + " | ".join(columns) + " |")
    print("|---|" + "---:|" * len(columns))
    for name, row in rows:
        shown = name.replace("|", "\\|")
        print(f"| `{shown}` | " + " | ".join(row[c] for c in columns) + " |")


if __name__ == "__main__":
    main()
