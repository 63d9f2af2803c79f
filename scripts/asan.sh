#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer, then runs the C++
# model tests and the pytest suite under them (first CPython >= 3.12 only).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
line="$(find_pythons | head -n 1)"
[ -n "$line" ] || die "no CPython >= 3.12 with headers and venv found"
ver="${line%% *}"; py="${line#* }"
venv=".venv-asan-$ver"
ensure_venv "$venv" "$py" pytest hypothesis
install_package "$venv" -Ccmake.define.TARMELIX_SANITIZE=ON -Ccmake.build-type=RelWithDebInfo

# Tests that run on a deliberately small stack scale it for the padded frames.
export TARMELIX_SANITIZED=1
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
failed=()
bash "$ROOT/scripts/cpp-tests.sh" "$venv" build-cpp-asan -DTARMELIX_SANITIZE=ON || failed+=("C++ model tests")

# The interpreter itself is not instrumented: the runtimes must come first.
cxx="${CXX:-g++}"
preload="$("$cxx" -print-file-name=libasan.so) $("$cxx" -print-file-name=libubsan.so)"
say "pytest on Python $ver under ASan+UBSan"
rc=0
LD_PRELOAD="$preload" PYTHONMALLOC=malloc "$venv/bin/python" -m pytest tests -q -p no:cacheprovider || rc=$?
[ "$rc" = 0 ] || [ "$rc" = 5 ] || failed+=("pytest under sanitizers")

if [ "${#failed[@]}" -gt 0 ]; then
  say "FAILED: $(printf '%s; ' "${failed[@]}")"
  exit 1
fi
say "sanitizer runs passed"
