#!/usr/bin/env bash
# Installs what is missing, then runs examples/demo.py with the first CPython >= 3.12.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
require_pythons
ver="${PYTHONS[0]%% *}"; py="${PYTHONS[0]#* }"
venv=".venv-$ver"
ensure_venv "$venv" "$py" pytest hypothesis
install_package "$venv"
say "examples/demo.py on Python $ver"
exec "$venv/bin/python" examples/demo.py
