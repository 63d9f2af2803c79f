"""A short fixed run of the fuzz harness (fuzz/run.py), so that it keeps working."""

import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def test_fuzz_harness_runs_clean_on_a_few_cases_of_every_target():
    done = subprocess.run(
        [sys.executable, os.path.join(ROOT, "fuzz", "run.py"), "--cases", "14", "--seed", "1"],
        capture_output=True,
        text=True,
        timeout=600,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, (done.stdout + done.stderr)[-4000:]
    assert "14 cases, 0 failures" in done.stdout
