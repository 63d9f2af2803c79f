"""is_valid_json on several threads: the 10 MB list of flat records of the JSON floor
benchmark, checked by one thread and by two at once, as calls per second of wall time;
orjson.loads and msgspec's typed decode under the same harness beside it, and a hash
that lets go of the interpreter lock (what the machine allows two threads at the time)."""

import hashlib
import json
import os
import random
import sys
import threading
import time

import msgspec
import orjson

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_json_floor as floor  # noqa: E402

from tarmelix import Validator  # noqa: E402


def throughput(fn, threads, calls=12, rounds=5):
    """Calls per second of wall time with `threads` threads each making `calls`
    calls, best of `rounds`."""
    best = 0.0
    for _ in range(rounds):
        start = threading.Barrier(threads + 1)

        def work():
            start.wait()
            for _ in range(calls):
                fn()

        pool = [threading.Thread(target=work) for _ in range(threads)]
        for t in pool:
            t.start()
        start.wait()
        t0 = time.perf_counter()
        for t in pool:
            t.join()
        best = max(best, threads * calls / (time.perf_counter() - t0))
    return best


def main():
    data = floor.encode(floor.flat_doc(random.Random(12), 120_000))
    shape = floor.infer([json.loads(data)])
    v = Validator(floor.to_tarmelix(shape))
    decoder = msgspec.json.Decoder(floor.to_typing(shape, [0]))
    assert v.is_valid_json(data)
    contenders = {
        "is_valid_json": lambda: v.is_valid_json(data),
        "orjson.loads": lambda: orjson.loads(data),
        "msgspec decode": lambda: decoder.decode(data),
        "sha256 (ceiling)": lambda: hashlib.sha256(data).digest(),
    }
    print(f"flat records: {len(data) / 1e6:.2f} MB, {os.cpu_count()} CPUs")
    for name, fn in contenders.items():
        one = throughput(fn, 1)
        two = throughput(fn, 2)
        print(f"  {name:16s} 1 thread {one:7.1f}/s  2 threads {two:7.1f}/s  "
              f"ratio {two / one:5.2f}" + ("  (target >= 1.7)" if name == "is_valid_json" else ""))


if __name__ == "__main__":
    main()
