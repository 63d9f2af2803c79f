"""JSON documents: is_valid_json against msgspec and pydantic-core decoding into
the same type, and load against json.loads followed by is_valid.

Prints ratios (peer time / tarmelix time) measured in this one run.
"""

import json
import random
import time
from typing import TypedDict

import msgspec
from pydantic_core import SchemaValidator, core_schema as cs

from tarmelix import Validator


class Address(TypedDict):
    street: str
    city: str
    zip: str


class Row(TypedDict):
    id: int
    name: str
    email: str
    active: bool
    score: float
    tags: list[str]
    address: Address


def row_core_schema():
    def field(schema):
        return cs.typed_dict_field(schema)

    address = cs.typed_dict_schema({k: field(cs.str_schema()) for k in ("street", "city", "zip")})
    row = cs.typed_dict_schema({
        "id": field(cs.int_schema()),
        "name": field(cs.str_schema()),
        "email": field(cs.str_schema()),
        "active": field(cs.bool_schema()),
        "score": field(cs.float_schema()),
        "tags": field(cs.list_schema(cs.str_schema())),
        "address": field(address),
    })
    return cs.list_schema(row)


def make_rows(target_bytes):
    rnd = random.Random(7)
    words = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"]
    rows, size, i = [], 0, 0
    while size < target_bytes:
        row = {
            "id": i,
            "name": f"{rnd.choice(words)} {rnd.choice(words)}",
            "email": f"user{i}@example.org",
            "active": rnd.random() < 0.5,
            "score": rnd.random() * 1000,
            "tags": rnd.sample(words, rnd.randint(0, 4)),
            "address": {"street": f"{rnd.randint(1, 999)} Main St", "city": rnd.choice(words),
                        "zip": f"{rnd.randint(10000, 99999)}"},
        }
        rows.append(row)
        size += len(json.dumps(row)) + 2
        i += 1
    return rows


def least_times(contenders, rounds=9):
    """CPU time of the process, least over rounds in which every contender runs
    once, so a busy machine disturbs each of them alike."""
    least = {name: float("inf") for name in contenders}
    for _ in range(rounds):
        for name, fn in contenders.items():
            t0 = time.process_time()
            fn()
            least[name] = min(least[name], time.process_time() - t0)
    return least


def main():
    data = json.dumps(make_rows(10 * 1024 * 1024)).encode()
    T = list[Row]
    v = Validator(T)
    ms_decoder = msgspec.json.Decoder(T)
    pd_validator = SchemaValidator(row_core_schema())

    assert v.is_valid_json(data)
    assert v.load(data) == json.loads(data)
    ms_decoder.decode(data)
    pd_validator.validate_json(data, strict=True)

    t = least_times({
        "is_valid_json": lambda: v.is_valid_json(data),
        "msgspec": lambda: ms_decoder.decode(data),
        "pydantic": lambda: pd_validator.validate_json(data, strict=True),
        "load": lambda: v.load(data),
        "loads_is_valid": lambda: v.is_valid(json.loads(data)),
    })
    t_is_valid_json, t_msgspec, t_pydantic = t["is_valid_json"], t["msgspec"], t["pydantic"]
    t_load, t_loads_is_valid = t["load"], t["loads_is_valid"]

    mb = len(data) / 1e6
    print(f"document: {mb:.1f} MB of records")
    print(f"is_valid_json            {t_is_valid_json * 1e3:8.1f} ms  ({mb / t_is_valid_json:6.0f} MB/s)")
    print(f"msgspec decode(type=T)   {t_msgspec * 1e3:8.1f} ms  ratio {t_msgspec / t_is_valid_json:5.2f}x (target >= 2)")
    print(f"pydantic-core strict     {t_pydantic * 1e3:8.1f} ms  ratio {t_pydantic / t_is_valid_json:5.2f}x (target >= 2)")
    print(f"load                     {t_load * 1e3:8.1f} ms")
    print(f"json.loads + is_valid    {t_loads_is_valid * 1e3:8.1f} ms  ratio {t_loads_is_valid / t_load:5.2f}x (target >= 1)")


if __name__ == "__main__":
    main()
