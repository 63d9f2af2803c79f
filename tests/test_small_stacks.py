"""Every operation on a thread with a small native stack answers or raises
RecursionError; none may run off the end of the stack."""

import os
import subprocess
import sys
import textwrap

import pytest

from stack_sizes import find_smallest_stack_size, stack_sizes

# Each case runs in a child process, once per stack size on a fresh thread,
# and prints one line a run.
SCRIPT = textwrap.dedent(
    """
    import copy, json, threading, typing
    import tarmelix as t

    def nest(s, depth, form=list):
        for _ in range(depth):
            s = form[s]
        return s

    def dict_literal(depth):
        d = int
        for _ in range(depth):
            d = {{"k": d}}
        return d

    def deep_value(depth):
        v = 1
        for _ in range(depth):
            v = [v]
        return v

    R = t.recursive(lambda s: t.union(int, nest(s, 62)))
    # Empty, but proving it descends every level.
    E = t.Validator(nest(t.intersection(int, str), 63, tuple))
    deep = deep_value(200)
    deeper = deep_value(2000)
    deep_text = json.dumps(deep_value(199))

    def job():
        return {expr}

    def run():
        try:
            result = job()
        except RecursionError:
            print("RecursionError")
        except t.ValidationError:
            print("ValidationError" if {show} else "answer")
        else:
            print(repr(result) if {show} else "answer")

    for size in {sizes}:
        threading.stack_size(size)
        worker = threading.Thread(target=run)
        worker.start()
        worker.join()
    """
)

# The sanitizers pad every frame.
SCALE = 8 if os.environ.get("TARMELIX_SANITIZED") else 1


def run_on_small_stacks(expr, show=False, sizes=(32, 64, 128, 256, 512, 8192)):
    """One line per size (KiB, scaled for the sanitizers; a size the
    interpreter refuses is raised to its smallest): "RecursionError", or the
    answer's repr with `show` ("ValidationError" for that), else "answer"."""
    sizes = stack_sizes([kib * 1024 * SCALE for kib in sizes])
    done = subprocess.run(
        [sys.executable, "-c", SCRIPT.format(expr=expr, show=show, sizes=sizes)],
        capture_output=True,
        text=True,
        timeout=300,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, done.stderr[-2000:]
    lines = done.stdout.splitlines()
    assert len(lines) == len(sizes), lines
    return lines


@pytest.mark.parametrize(
    "expr",
    [
        # frontend: dict literals and typing forms, one level short of the limit
        "t.Validator(dict_literal(127))",
        "t.Validator(nest(int, 63))",
        # recursive: substitution, contractiveness and the limits
        "t.recursive(lambda s: t.union(int, nest(s, 62)))",
        # embedding a deep validator
        "t.Validator(list[R])",
        "repr(R)",
        "hash(R)",
        "R == t.Validator(R)",
        "copy.copy(R)",
        "R.simplify()",
        "R.open()",
        "R.close()",
        "R.is_valid(deep)",
        "R.validate(deep)",
        # a shallow failure whose got text is the repr of a deep value
        "t.Validator(dict).validate(deeper)",
        # the JSON builders, and the conversion under a refinement
        "t.anything.load(deep_text)",
        "t.Validator(typing.Annotated[list, lambda v: True]).is_valid_json(deep_text)",
    ],
)
def test_operation_answers_or_raises_recursion_error(expr):
    # The last size is ample, so every operation must answer there.
    words = run_on_small_stacks(expr)
    assert set(words) <= {"answer", "RecursionError"}
    assert words[-1] == "answer"


@pytest.mark.parametrize(
    "expr",
    ["E.is_empty()", "R.is_subtype_of(R)", "R.is_equivalent(R)"],
)
def test_decision_answers_unproven_when_the_stack_runs_short(expr):
    # Where the operand compiles but the decision runs short is a window of
    # about 16 KiB, and where it lies moves with the build's frame sizes.
    sizes = (32, 48, 64, 80, 96, 112, 128, 8192)
    words = run_on_small_stacks(expr, show=True, sizes=sizes)
    assert words[-1] == "True"
    # Copying and compiling the operand may raise; the decision itself only
    # answers, unproven where the stack ran short.
    assert set(words) <= {"True", "False", "RecursionError"}
    assert "False" in words


# The smallest stack the newest interpreters give a thread: work that stays
# shallow answers on it, however small the interpreter would go.
SMALLEST_KIB = 52


@pytest.mark.parametrize(
    "expr, answer",
    [
        ("t.Validator(int).is_valid(1)", "True"),
        ("t.Validator(list[int]).is_valid([1])", "True"),
        ("t.Validator(dict[str, list[int]]).is_valid({'a': [1]})", "True"),
        ("t.Validator(typing.Annotated[int, lambda v: v > 0]).is_valid(1)", "True"),
        ("t.Validator(list[int]).validate([1])", "None"),
        ("t.Validator(list[int]).validate(['x'])", "ValidationError"),
        # the SIMD road, the event parser's tape, the parse into Python objects
        ("t.Validator(list[int]).is_valid_json('[1]')", "True"),
        ("t.Validator(typing.Annotated[list[int], lambda v: True]).is_valid_json('[1]')", "True"),
        ("t.Validator(list[int]).validate_json('[\"x\"]')", "ValidationError"),
        ("t.Validator(dict[str, list[int]]).load('{\"a\": [1]}')", "{'a': [1]}"),
        ("t.Validator(dict[str, list[int]])", "dict[str, list[int]]"),
        ("t.Validator(list[bool]).is_subtype_of(list[int])", "True"),
        ("t.recursive(lambda s: t.union(int, list[s])).is_valid([[1]])", "True"),
    ],
)
def test_shallow_work_answers_on_the_smallest_stack(expr, answer):
    assert run_on_small_stacks(expr, show=True, sizes=(SMALLEST_KIB, 64)) == [answer, answer]


@pytest.mark.parametrize(
    "expr",
    ["R.is_valid(deep)", "R.validate(deep)", "R.is_valid_json(deep_text)", "R.load(deep_text)"],
)
def test_deep_work_raises_recursion_error_on_the_smallest_stack(expr):
    assert run_on_small_stacks(expr, sizes=(SMALLEST_KIB, 8192)) == ["RecursionError", "answer"]


class FakeStackSize:
    """threading.stack_size of an interpreter that refuses sizes under `floor`."""

    def __init__(self, floor):
        self.floor = floor
        self.size = 0

    def __call__(self, size=0):
        if size and size < self.floor:
            raise ValueError("size not valid: %d bytes" % size)
        previous, self.size = self.size, size
        return previous


@pytest.mark.parametrize(
    "floor, smallest",
    [(32 << 10, 32 << 10), (53248, 53248), (50_000, 53248), (1 << 20, 1 << 20)],
)
def test_smallest_stack_size_is_the_first_accepted_page(floor, smallest):
    fake = FakeStackSize(floor)
    fake(1 << 21)
    assert find_smallest_stack_size(fake) == smallest
    assert fake.size == 1 << 21


def test_no_accepted_stack_size_is_an_error():
    with pytest.raises(RuntimeError):
        find_smallest_stack_size(FakeStackSize(2 << 20))


@pytest.mark.parametrize(
    "smallest, sizes",
    [
        (32 << 10, [32 << 10, 48 << 10, 64 << 10, 8 << 20]),
        (53248, [53248, 64 << 10, 8 << 20]),
        (1 << 20, [1 << 20, 8 << 20]),
    ],
)
def test_sizes_below_the_smallest_are_raised_to_it(smallest, sizes):
    assert stack_sizes([32 << 10, 48 << 10, 64 << 10, 8 << 20], smallest) == sizes
