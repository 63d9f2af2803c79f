"""Thread stack sizes for the small-stack runs, as this interpreter allows them.

Interpreters differ in the smallest size `threading.stack_size` accepts (older
ones take 32 KiB, newer ones refuse anything under 52 KiB); the runs ask for
the smallest accepted one in place of any size below it, so the small end is
always probed.
"""

import threading

PAGE = 4096
# No supported interpreter accepts less; none has asked for more than this.
FLOOR = 32 << 10
CEILING = 1 << 20

_smallest = None


def find_smallest_stack_size(stack_size=threading.stack_size):
    """The smallest size, in bytes, that `stack_size` accepts (tried from
    FLOOR a page at a time); the thread stack size in force is left as it was."""
    previous = stack_size()
    try:
        for size in range(FLOOR, CEILING + 1, PAGE):
            try:
                stack_size(size)
            except ValueError:
                continue
            return size
    finally:
        stack_size(previous)
    raise RuntimeError("threading.stack_size accepts no size up to %d bytes" % CEILING)


def smallest_stack_size():
    global _smallest
    if _smallest is None:
        _smallest = find_smallest_stack_size()
    return _smallest


def stack_sizes(sizes, smallest=None):
    """`sizes` (bytes, ascending) with each one below the smallest accepted
    size raised to it, repeats dropped."""
    smallest = smallest_stack_size() if smallest is None else smallest
    out = []
    for size in sizes:
        size = max(size, smallest)
        if size not in out:
            out.append(size)
    return out
