"""Seeded fuzzing of tarmelix for a fixed time.

    python fuzz/run.py [--seconds N] [--seed S] [--target T ...]
    python fuzz/run.py --seed S --target T --case K     # replay one case
    python fuzz/run.py --cases N                        # cases 0 to N-1 only

A supervisor runs the cases in a worker process, so that a crash, a
sanitizer report or a hang (a per-case timeout) is reported with the case
that caused it; the worker is then restarted at the next case. Every case
draws its input from its own generator seeded by (seed, target, case), so
the three numbers printed with a failure reproduce it. Exits 1 if any case
failed.
"""

import argparse
import faulthandler
import os
import random
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_SEED = 20240611
MAX_FAILURES = 20


def parse():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--seconds", type=float, default=float(os.environ.get("FUZZ_SECONDS", 600)))
    p.add_argument("--seed", type=int, default=int(os.environ.get("FUZZ_SEED", DEFAULT_SEED)))
    p.add_argument("--target", action="append", help="run only these targets (repeatable)")
    p.add_argument("--case", type=int, help="replay this one case")
    p.add_argument("--cases", type=int, help="run cases 0 to N-1 instead of running for a time")
    p.add_argument("--timeout", type=float, default=float(os.environ.get("FUZZ_CASE_TIMEOUT", 60)))
    p.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    p.add_argument("--first", type=int, default=0, help=argparse.SUPPRESS)
    return p.parse_args()


def one_line(text, limit=4000):
    text = text.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r")
    return text if len(text) <= limit else text[:limit] + "..."


class Case:
    def __init__(self, seeds, out):
        self.seeds = seeds
        self.out = out

    def note(self, text):
        print("INPUT " + one_line(text), file=self.out, flush=True)


def load_seeds():
    folder = os.path.join(HERE, "seeds")
    seeds = []
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            seeds.append(f.read())
    return seeds


def worker(args, out):
    sys.path.insert(0, HERE)
    # The thread stack sizes are the test suite's, found one way for both.
    sys.path.append(os.path.join(os.path.dirname(HERE), "tests"))
    import targets

    names = args.target or list(targets.TARGETS)
    seeds = load_seeds()
    deadline = time.monotonic() + args.seconds
    k = args.first
    done = 0
    while True:
        if args.case is not None:
            if done:
                break
            k = args.case
        elif args.cases is not None:
            if k >= args.cases:
                break
        elif time.monotonic() >= deadline:
            break
        name = names[k % len(names)]
        print("CASE %s %d" % (name, k), file=out, flush=True)
        faulthandler.dump_traceback_later(args.timeout, exit=True)
        rng = random.Random("%d:%s:%d" % (args.seed, name, k))
        try:
            targets.TARGETS[name](rng, Case(seeds, out))
        except targets.Fail as e:
            print("FAIL %s %d %s" % (name, k, one_line(str(e))), file=out, flush=True)
        except BaseException as e:  # noqa: B036 - a harness error is a finding too
            where = traceback.extract_tb(e.__traceback__)[-1]
            print("FAIL %s %d uncaught %s: %s (at %s:%d)" % (
                name, k, type(e).__name__, one_line(str(e), 1000), os.path.basename(where.filename), where.lineno), file=out, flush=True)
        faulthandler.cancel_dump_traceback_later()
        k += 1
        done += 1
    print("DONE %d" % done, file=out, flush=True)


def supervise(args):
    deadline = time.monotonic() + args.seconds
    first, cases, failures = 0, 0, []
    names = args.target or []
    base = [sys.executable, os.path.abspath(__file__), "--worker", "--seed", str(args.seed), "--timeout", str(args.timeout)]
    for n in names:
        base += ["--target", n]
    if args.case is not None:
        base += ["--case", str(args.case)]
    if args.cases is not None:
        base += ["--cases", str(args.cases)]
        args.seconds = float("inf")
    print("fuzzing for %gs, seed %d (FUZZ_SECONDS, FUZZ_SEED)" % (args.seconds, args.seed), flush=True)
    while True:
        left = deadline - time.monotonic()
        if args.case is None and args.cases is None and left <= 1 and cases:
            break
        with tempfile.TemporaryFile("w+") as err:
            proc = subprocess.Popen(
                base + ["--first", str(first), "--seconds", str(max(min(left, 1e9), 1))],
                stdout=subprocess.PIPE, stderr=err, text=True, errors="replace",
            )
            current, note, finished = None, None, False
            for line in proc.stdout:
                line = line.rstrip("\n")
                if line.startswith("CASE "):
                    current, note = line[5:], None
                    cases += 1
                elif line.startswith("INPUT "):
                    note = line[6:]
                elif line.startswith("FAIL "):
                    _, name, k, message = line.split(" ", 3)
                    failures.append(report(args, name, k, message, note, None))
                elif line.startswith("DONE "):
                    finished = True
            rc = proc.wait()
            err.seek(0)
            stderr = err.read()
        sanitizer = "ERROR: AddressSanitizer" in stderr or "runtime error:" in stderr or "LeakSanitizer" in stderr
        if finished and rc == 0 and not sanitizer:
            break
        if current is None:
            print(stderr[-4000:], file=sys.stderr)
            print("the fuzz worker failed before its first case (exit %d)" % rc, file=sys.stderr)
            return 1
        name, k = current.split()
        what = "sanitizer report" if sanitizer else ("timeout or crash" if rc == 1 else "exit %d" % rc)
        if finished and sanitizer:
            # reported after the fact: the case is not known
            failures.append(report(args, "?", "?", "sanitizer report (case unknown)", None, stderr))
            break
        failures.append(report(args, name, k, what, note, stderr))
        if args.case is not None or len(failures) >= MAX_FAILURES:
            break
        first = int(k) + 1
    print("%d cases, %d failures" % (cases, len(failures)), flush=True)
    return 1 if failures else 0


def report(args, name, k, message, note, stderr):
    lines = ["", "FAILURE in target %s, case %s: %s" % (name, k, message)]
    if note:
        lines.append("  input: " + note)
    lines.append("  reproduce: python fuzz/run.py --seed %d --target %s --case %s" % (args.seed, name, k))
    if stderr:
        lines.append("  worker stderr (tail):")
        lines += ["    " + s for s in stderr[-6000:].splitlines()]
    text = "\n".join(lines)
    print(text, flush=True)
    return text


def main():
    args = parse()
    if args.worker:
        # the worker's own stdout is the channel to the supervisor
        out = sys.stdout
        sys.stdout = sys.stderr
        worker(args, out)
        return 0
    return supervise(args)


if __name__ == "__main__":
    sys.exit(main())
