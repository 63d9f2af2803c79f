"""Decisions over typical schemas: a hundred-field record against itself
widened, and two recursive JSON-value schemas built apart.

No other library decides inclusion of schemas, so each decision is set against
a yardstick measured in this same run: compiling the operand that the
decision compiles anyway (`Validator(other)`). The printed ratio is decision
time / yardstick time, which compares across machines; the work budget's step
counts are not exposed, so time is all that is reported.
"""

import time

from tarmelix import Validator, recursive, union

FIELDS = {f"field{i}": int for i in range(100)}
WIDENED = {**{f"field{i}": int | str for i in range(100)}, "extra?": str}


def json_value(order):
    def build(j):
        members = [None, bool, int, float, str, list[j], dict[str, j]]
        return union(*(members if order else reversed(members)))

    return recursive(build)


def best(fn, repeat=5, number=20):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        for _ in range(number):
            fn()
        times.append((time.perf_counter() - start) / number)
    return min(times)


def main():
    record, wide = Validator(FIELDS), Validator(WIDENED)
    json_a, json_b = json_value(True), json_value(False)
    cases = [
        ("record <= widened record", lambda: record.is_subtype_of(WIDENED), lambda: Validator(WIDENED), True),
        ("widened record <= record", lambda: wide.is_subtype_of(FIELDS), lambda: Validator(FIELDS), False),
        ("record == record", lambda: record.is_equivalent(FIELDS), lambda: Validator(FIELDS), True),
        ("json value == json value", lambda: json_a.is_equivalent(json_b), lambda: Validator(json_b), True),
        ("json value <= anything", lambda: json_a.is_subtype_of(object), lambda: Validator(object), None),
        ("json value is_empty", lambda: json_a.is_empty(), lambda: Validator(json_b), False),
        ("json value simplify", lambda: json_a.simplify(), lambda: Validator(json_b), None),
    ]
    print(f"{'decision':32} {'answer':>7} {'time':>12} {'ratio to compiling the operand':>32}")
    for name, decide, yardstick, expected in cases:
        answer = decide()
        if expected is not None:
            assert answer is expected, (name, answer)
        t = best(decide)
        y = best(yardstick)
        shown = answer if isinstance(answer, bool) else "-"
        print(f"{name:32} {str(shown):>7} {t * 1e6:10.1f}us {t / y:31.2f}x")


if __name__ == "__main__":
    main()
