"""Faults already reported and being mended: the harness steers around each.

Delete a line once its fix has landed; the check it guards then runs in full.
"""

KNOWN = {
    # validate of a deep failing value renders its got text many times.
    "deep_validate": "slow validate of deep values",
    # A MemoryError raised by a str subclass's __hash__ becomes hash 0.
    "fatal_dropped": "fatal exception cleared by the str hash",
}
