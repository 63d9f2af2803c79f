"""Hostile user code: re-entrant walks must end in an exception, never a crash."""

import os
import subprocess
import sys
import textwrap

import pytest

# Each re-entry adds a whole walk of a 60-level schema to the native stack;
# long before the interpreter's recursion limit counts enough Python frames,
# an unchecked walk runs off the end of the stack.
REENTRANT = textwrap.dedent(
    """
    import json, threading, typing
    import tarmelix as t

    def predicate(x):
        return {call}

    spec = typing.Annotated[int, predicate]
    value = 1
    for _ in range(60):
        spec, value = list[spec], [value]
    v = t.Validator(spec)
    r = t.recursive(lambda s: t.union(list[s], typing.Annotated[int, predicate]))
    text = json.dumps(value)

    def run():
        try:
            {call}
        except RecursionError:
            print("RecursionError")

    run()
    threading.stack_size(1 << 20)
    worker = threading.Thread(target=run)
    worker.start()
    worker.join()
    """
)


@pytest.mark.parametrize(
    "call",
    ["v.is_valid(value)", "value in v", "v.validate(value)", "v.is_valid_json(text)", "r.is_valid(value)"],
)
def test_predicate_reentering_its_validator_raises_recursion_error(call):
    done = subprocess.run(
        [sys.executable, "-c", REENTRANT.format(call=call)],
        capture_output=True,
        text=True,
        timeout=120,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.split() == ["RecursionError", "RecursionError"]
