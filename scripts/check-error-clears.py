#!/usr/bin/env python3
"""Fails when a bare PyErr_Clear() does not say why the exception is dropped.

An exception is dropped on purpose or not at all: py::clear_if(cls) clears
one class, py::clear_unless_fatal() keeps the fatal ones (src/py/error.h), and
a PyErr_Clear() that stays needs a comment on its line or just above it.

usage: check-error-clears.py [ROOT]   (default: the checkout holding this script)
"""
import os
import sys

# Lines above a clear that may hold its comment (the comment may sit above the
# `if` that guards the clear).
REACH = 3


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = []
    for base, _, files in os.walk(os.path.join(root, "src")):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(base, name)
            with open(path, encoding="utf-8") as f:
                lines = f.read().splitlines()
            for i, line in enumerate(lines):
                if "PyErr_Clear()" not in line or line.lstrip().startswith("//"):
                    continue
                if not any("//" in above for above in lines[max(0, i - REACH):i + 1]):
                    faults.append(f"{os.path.relpath(path, root)}:{i + 1}: {line.strip()}")
    for fault in faults:
        print(fault)
    if faults:
        sys.exit("a PyErr_Clear() without a comment saying why the exception is dropped")


if __name__ == "__main__":
    main()
