#!/usr/bin/env bash
# Builds a wheel for every CPython >= 3.12 found and repairs it so that it
# carries the shared libraries it links (RE2, Boost.JSON, ...) itself. Only
# the repaired wheels are left, in wheelhouse/.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
require_pythons
ensure_tools_venv "${PYTHONS[0]#* }"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
rm -rf wheelhouse
mkdir -p wheelhouse
for line in "${PYTHONS[@]}"; do
  ver="${line%% *}"; py="${line#* }"
  raw="$(build_wheel "$py" "$ROOT" "$tmp/raw-$ver")"
  # "auto" tags the wheel with the most widely installable manylinux policy
  # that the build's glibc and libstdc++ symbols satisfy.
  say "repairing $(basename "$raw")"
  PATH="$ROOT/$TOOLS_VENV/bin:$PATH" "$TOOLS_VENV/bin/auditwheel" repair --plat auto \
    --wheel-dir "$tmp/repaired" "$raw"
done
mv "$tmp"/repaired/*.whl wheelhouse/
say "wheelhouse: $(cd wheelhouse && printf '%s ' *.whl)"
