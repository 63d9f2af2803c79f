#!/usr/bin/env bash
# Installs what is missing, then runs the C++ model tests and the whole pytest
# suite on every CPython >= 3.12 found, each in its own virtual environment,
# and the suite once more on an unoptimised (Debug) build of the first.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
require_pythons
say "interpreters: $(printf '%s; ' "${PYTHONS[@]}")"

say "include order of src/, and the reason of every cleared exception"
run_helper check-layers.py || die "an include runs against the folder order (DEVELOPERS.md)"
run_helper check-error-clears.py || die "a cleared exception must say why (DEVELOPERS.md)"

failed=()
installed=()
for line in "${PYTHONS[@]}"; do
  ver="${line%% *}"; py="${line#* }"
  venv=".venv-$ver"
  ensure_venv "$venv" "$py" pytest hypothesis
  # A build that fails on one interpreter still lets the others report.
  if install_package "$venv"; then
    installed+=("$venv Python $ver")
  else
    failed+=("build on Python $ver")
  fi
done

bash "$ROOT/scripts/cpp-tests.sh" ".venv-${PYTHONS[0]%% *}" build-cpp || failed+=("C++ model tests")

# One unoptimised build too: at -O0 the linker keeps one out-of-line body per
# inline function, so two units that define one name differently fail here,
# where -O2 inlines each its own.
debug_ver="${PYTHONS[0]%% *}"
debug_venv=".venv-debug-$debug_ver"
ensure_venv "$debug_venv" "${PYTHONS[0]#* }" pytest hypothesis
if install_package "$debug_venv" -Ccmake.build-type=Debug; then
  installed+=("$debug_venv Python $debug_ver (Debug build)")
  say "one definition per name in the Debug build"
  run_helper check-one-definition.py "build-${debug_venv#.}" \
    || failed+=("one definition per name in the Debug build")
else
  failed+=("Debug build on Python $debug_ver")
fi

for entry in "${installed[@]}"; do
  venv="${entry%% *}"; label="${entry#* }"
  say "pytest on $label"
  rc=0
  # The unoptimised build's frames are larger: its small-stack tests may run short.
  unoptimised=""
  case "$label" in *"(Debug build)"*) unoptimised=1 ;; esac
  TARMELIX_UNOPTIMISED="$unoptimised" "$venv/bin/python" -m pytest tests -q -p no:cacheprovider || rc=$?
  if [ "$rc" = 5 ]; then
    say "$label: no tests collected"
  elif [ "$rc" != 0 ]; then
    failed+=("pytest on $label")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  say "FAILED: $(printf '%s; ' "${failed[@]}")"
  exit 1
fi
say "all test runs passed"
