#!/usr/bin/env python3
"""Fails when two units of a build define one name differently.

Reads the objects of a build made with debug info (-g, e.g. Debug) and reports
every external symbol that is defined outside one place: a strong symbol
defined in two objects, or an inline/template (weak) one whose definitions
in two objects come from different source files. The linker keeps one of those bodies
for all callers, which goes unnoticed until inlining stops hiding it.

usage: check-one-definition.py BUILD_DIR
"""
import collections
import os
import subprocess
import sys

STRONG = set("TDBR")
WEAK = set("WVu")


def objects(build_dir):
    for root, _, files in os.walk(build_dir):
        for name in files:
            if name.endswith(".o"):
                yield os.path.join(root, name)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    build_dir = sys.argv[1]
    found = sorted(objects(build_dir))
    if not found:
        sys.exit(f"no object files under {build_dir}")
    strong = collections.defaultdict(set)  # name -> objects
    weak = collections.defaultdict(dict)   # name -> object -> source files
    for obj in found:
        out = subprocess.run(["nm", "-C", "-l", "--defined-only", obj],
                             capture_output=True, text=True, check=True).stdout
        for line in out.splitlines():
            parts = line.split(" ", 2)
            if len(parts) != 3 or len(parts[1]) != 1:
                continue
            kind, rest = parts[1], parts[2]
            name, _, where = rest.partition("\t")
            if kind in STRONG:
                strong[name].add(os.path.relpath(obj, build_dir))
            elif kind in WEAK and where:
                source = os.path.realpath(where.rsplit(":", 1)[0])
                weak[name].setdefault(obj, set()).add(source)
    faults = [(n, places) for n, places in strong.items() if len(places) > 1]
    # One object may place a body's variants at the header and at its own
    # source; a body shared by all objects has one place they all name.
    for name, per_object in weak.items():
        if len(per_object) > 1 and not set.intersection(*per_object.values()):
            faults.append((name, set.union(*per_object.values())))
    for name, places in sorted(faults):
        print(f"{name} is defined in: {', '.join(sorted(places))}")
    if faults:
        sys.exit(f"{len(faults)} name(s) with more than one definition")
    print(f"one definition per name in {len(found)} objects")


if __name__ == "__main__":
    main()
