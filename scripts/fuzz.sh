#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer (the venv is
# shared with asan.sh) and runs the fuzz harness under them for FUZZ_SECONDS
# (default 600) with the seed FUZZ_SEED (default: the harness's fixed seed).
# Fails with each failing case's input and its replay command.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
ensure_sanitizer_venv

export TARMELIX_SANITIZED=1
# Leaks are looked for by the harness itself (the interpreter's own
# allocations would drown LeakSanitizer); any report aborts the worker.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
preload="$(sanitizer_preload)"
say "fuzzing on Python $ver under ASan+UBSan for ${FUZZ_SECONDS:-600}s"
# The harness is run from outside the tree so the installed module is the one imported.
LD_PRELOAD="$preload" PYTHONMALLOC=malloc "$ROOT/$venv/bin/python" "$ROOT/fuzz/run.py" "$@"
