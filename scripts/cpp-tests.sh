#!/usr/bin/env bash
# Builds and runs the GoogleTest model tests: cpp-tests.sh VENV BUILD_DIR [cmake -D...]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

venv="${1:?venv}"; build="${2:?build dir}"; shift 2
export PATH="$ROOT/$venv/bin:$PATH"
say "C++ model tests ($build)"
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPython_EXECUTABLE="$ROOT/$venv/bin/python" -DTARMELIX_CPP_TESTS=ON "$@" >"$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; die "configuring the C++ tests failed"; }
cmake --build "$build" --target tarmelix_cpp_tests
"$build/tarmelix_cpp_tests"
