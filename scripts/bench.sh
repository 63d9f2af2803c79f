#!/usr/bin/env bash
# Runs every bench/*.py in a venv of its own that also holds the peers measured against.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
require_pythons
py="${PYTHONS[0]#* }"
venv=".venv-bench"
ensure_venv "$venv" "$py" -r bench/requirements.txt
install_package "$venv"
# The C floor of the membership workloads, for this venv only: never shipped.
say "building the membership floor module"
bash bench/floor/build.sh "$venv/bin/python" build-bench-floor
export TARMELIX_FLOOR_DIR="$ROOT/build-bench-floor"
shopt -s nullglob
scripts=(bench/*.py)
[ "${#scripts[@]}" -gt 0 ] || { say "no benchmark scripts in bench/"; exit 0; }
status=0
for s in "${scripts[@]}"; do
  say "$s"
  "$venv/bin/python" "$s" || status=1
done
exit "$status"
