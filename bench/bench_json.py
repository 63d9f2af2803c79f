"""JSON documents: is_valid_json against msgspec and pydantic-core decoding into
the same type, and load against json.loads followed by is_valid.

Prints ratios (peer time / tarmelix time) measured in this one run.
"""

import json
import random
import time
from typing import TypedDict

import msgspec
import pydantic

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


def best(fn, repeat=7):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def main():
    data = json.dumps(make_rows(10 * 1024 * 1024)).encode()
    T = list[Row]
    v = Validator(T)
    ms_decoder = msgspec.json.Decoder(T)
    pd_validator = pydantic.TypeAdapter(T).validator

    assert v.is_valid_json(data)
    assert v.load(data) == json.loads(data)
    ms_decoder.decode(data)
    pd_validator.validate_json(data, strict=True)

    t_is_valid_json = best(lambda: v.is_valid_json(data))
    t_msgspec = best(lambda: ms_decoder.decode(data))
    t_pydantic = best(lambda: pd_validator.validate_json(data, strict=True))
    t_load = best(lambda: v.load(data))
    t_loads_is_valid = best(lambda: v.is_valid(json.loads(data)))

    mb = len(data) / 1e6
    print(f"document: {mb:.1f} MB of records")
    print(f"is_valid_json            {t_is_valid_json * 1e3:8.1f} ms  ({mb / t_is_valid_json:6.0f} MB/s)")
    print(f"msgspec decode(type=T)   {t_msgspec * 1e3:8.1f} ms  ratio {t_msgspec / t_is_valid_json:5.2f}x (target >= 2)")
    print(f"pydantic-core strict     {t_pydantic * 1e3:8.1f} ms  ratio {t_pydantic / t_is_valid_json:5.2f}x (target >= 2)")
    print(f"load                     {t_load * 1e3:8.1f} ms")
    print(f"json.loads + is_valid    {t_loads_is_valid * 1e3:8.1f} ms  ratio {t_loads_is_valid / t_load:5.2f}x (target >= 1)")


if __name__ == "__main__":
    main()
