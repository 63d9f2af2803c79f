#!/usr/bin/env bash
# Builds the floor module with the given interpreter into the given folder.
set -euo pipefail
py="$1" out="$2"
src="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/floor.c"
mkdir -p "$out"
read -r include suffix < <("$py" -c 'import sysconfig as s; print(s.get_paths()["include"], s.get_config_var("EXT_SUFFIX"))')
"${CC:-cc}" -O2 -shared -fPIC -I"$include" "$src" -o "$out/floor$suffix"
