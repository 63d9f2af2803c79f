#!/usr/bin/env bash
# Installs what is missing, then runs examples/demo.py with the first CPython >= 3.12.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
line="$(find_pythons | head -n 1)"
[ -n "$line" ] || die "no CPython >= 3.12 with headers and venv found (looked on PATH and under pyenv)"
ver="${line%% *}"; py="${line#* }"
venv=".venv-$ver"
ensure_venv "$venv" "$py" pytest hypothesis
install_package "$venv"
say "examples/demo.py on Python $ver"
exec "$venv/bin/python" examples/demo.py
