#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer, then runs the C++
# model tests and the pytest suite under them (first CPython >= 3.12 only).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
ensure_sanitizer_venv

# Tests that run on a deliberately small stack scale it for the padded frames.
export TARMELIX_SANITIZED=1
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
failed=()
bash "$ROOT/scripts/cpp-tests.sh" "$venv" build-cpp-asan -DTARMELIX_SANITIZE=ON || failed+=("C++ model tests")

preload="$(sanitizer_preload)"
say "pytest on Python $ver under ASan+UBSan"
rc=0
LD_PRELOAD="$preload" PYTHONMALLOC=malloc "$venv/bin/python" -m pytest tests -q -p no:cacheprovider || rc=$?
[ "$rc" = 0 ] || [ "$rc" = 5 ] || failed+=("pytest under sanitizers")

if [ "${#failed[@]}" -gt 0 ]; then
  say "FAILED: $(printf '%s; ' "${failed[@]}")"
  exit 1
fi
say "sanitizer runs passed"
