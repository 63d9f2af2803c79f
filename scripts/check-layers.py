#!/usr/bin/env python3
"""Fails when a source file includes a folder that comes after its own.

The folders of src/ form one order (DEVELOPERS.md, "Layout"); a unit may
include its own folder and the folders before it, never one after it.

usage: check-layers.py [ROOT]   (default: the checkout holding this script)
"""
import os
import re
import sys

ORDER = ["py", "schema", "render", "errors", "frontend", "check", "json", "reasoning", "validator"]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    src = os.path.join(root, "src")
    folders = sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d)))
    faults = [f"src/{d}/: folder missing from the order in {__file__}"
              for d in folders if d not in ORDER]
    rank = {d: i for i, d in enumerate(ORDER)}
    for folder in folders:
        if folder not in rank:
            continue
        for base, _, files in os.walk(os.path.join(src, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(base, name)
                with open(path, encoding="utf-8") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m and m.group(1) in rank and rank[m.group(1)] > rank[folder]:
                            faults.append(f"{os.path.relpath(path, root)}:{number}: {folder}/ includes "
                                          f"{m.group(1)}/, which comes after it: {line.strip()}")
    for fault in faults:
        print(fault)
    if faults:
        sys.exit("include order: " + " < ".join(ORDER))


if __name__ == "__main__":
    main()
