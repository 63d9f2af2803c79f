"""A/B of two builds on the same machine:
bench-ab.py BASE_DIR NEW_DIR [--rounds N] [--only ROW]... [SCRIPT...]

BASE_DIR and NEW_DIR each hold an installed `tarmelix` package (put first on PYTHONPATH).
Each benchmark script (default: bench_shapes, bench_json_floor, bench_json) runs N times
per build, the builds taking turns, so a machine that slows down in the middle slows both.
Every line of our own timings ("is_valid", "is_valid_json", "validate_json", "load", ...)
is collected per section, and the table printed holds each row's median per build and
new / base. Run it with the benchmark venv's interpreter.
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
from collections import defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
OURS = {"is_valid", "is_valid_json", "validate_json", "load", "validate_json one bad",
        "validate_json 1/10 bad"}
TIMED = re.compile(r"^\s*(\S.*?)\s+(\d+(?:\.\d+)?) ms\b")


def timings(script, package_dir, only):
    env = {**os.environ, "PYTHONPATH": os.pathsep.join([str(package_dir), str(ROOT / "bench")])}
    out = subprocess.run([sys.executable, str(ROOT / "bench" / script), *only], env=env, check=True,
                         capture_output=True, text=True).stdout
    found = {}
    section = Path(script).stem
    for line in out.splitlines():
        if line and not line[0].isspace() and not line.startswith("|"):
            top = TIMED.match(line)
            if top and top.group(1) in OURS:
                found[(Path(script).stem, top.group(1))] = float(top.group(2))
                continue
            section = line.split(":")[0].strip() or section
            continue
        m = TIMED.match(line)
        if m and m.group(1) in OURS:
            found[(section, m.group(1))] = float(m.group(2))
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("base")
    parser.add_argument("new")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--only", action="append", default=[],
                        help="a row name (substring) the scripts measure alone; repeatable")
    parser.add_argument("scripts", nargs="*",
                        default=["bench_shapes.py", "bench_json_floor.py", "bench_json.py"])
    args = parser.parse_intermixed_args()
    runs = {"base": defaultdict(list), "new": defaultdict(list)}
    for script in args.scripts:
        for r in range(args.rounds):
            # Alternate which build goes first, so neither always runs on a warmer machine.
            order = [("base", args.base), ("new", args.new)]
            if r % 2:
                order.reverse()
            for label, directory in order:
                print(f"{script} round {r + 1}: {label}", file=sys.stderr, flush=True)
                for key, ms in timings(script, directory, args.only).items():
                    runs[label][key].append(ms)
    print("| benchmark | row | base ms | new ms | new / base |")
    print("|---|---|---:|---:|---:|")
    worst = 0.0
    for key in runs["base"]:
        if key not in runs["new"]:
            continue
        base = statistics.median(runs["base"][key])
        new = statistics.median(runs["new"][key])
        ratio = new / base if base else float("nan")
        worst = max(worst, ratio)
        section, row = key
        print(f"| {section.replace('|', chr(92) + '|')} | {row} | {base:.2f} | {new:.2f} | "
              f"{ratio:.2f} |")
    print(f"\nslowest row: new / base {worst:.2f} (medians of {args.rounds} runs each)")


if __name__ == "__main__":
    main()
