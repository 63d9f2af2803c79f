#!/usr/bin/env bash
# Installs what is missing, then runs the C++ model tests and the whole pytest
# suite on every CPython >= 3.12 found, each in its own virtual environment.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

python3 "$ROOT/scripts/check-layers.py" || die "an include runs against the folder order (DEVELOPERS.md)"

ensure_system_packages

mapfile -t PYTHONS < <(find_pythons)
[ "${#PYTHONS[@]}" -gt 0 ] || die "no CPython >= 3.12 with headers and venv found (looked on PATH and under pyenv)"
say "interpreters: $(printf '%s; ' "${PYTHONS[@]}")"

failed=()
installed=()
for line in "${PYTHONS[@]}"; do
  ver="${line%% *}"; py="${line#* }"
  venv=".venv-$ver"
  ensure_venv "$venv" "$py" pytest hypothesis
  # A build that fails on one interpreter still lets the others report.
  if install_package "$venv"; then
    installed+=("$ver")
  else
    failed+=("build on Python $ver")
  fi
done

bash "$ROOT/scripts/cpp-tests.sh" ".venv-${PYTHONS[0]%% *}" build-cpp || failed+=("C++ model tests")

for ver in "${installed[@]}"; do
  venv=".venv-$ver"
  say "pytest on Python $ver"
  rc=0
  "$venv/bin/python" -m pytest tests -q -p no:cacheprovider || rc=$?
  if [ "$rc" = 5 ]; then
    say "Python $ver: no tests collected"
  elif [ "$rc" != 0 ]; then
    failed+=("pytest on Python $ver")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  say "FAILED: $(printf '%s; ' "${failed[@]}")"
  exit 1
fi
say "all test runs passed"
