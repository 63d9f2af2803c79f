#!/usr/bin/env bash
# The source distribution round trip: builds the sdist, checks that it holds
# every file the build needs and no build output, builds a wheel from the
# unpacked sdist (not from the checkout), installs it into a fresh venv and
# runs examples/demo.py with it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_system_packages
require_pythons
ver="${PYTHONS[0]%% *}"; py="${PYTHONS[0]#* }"
command -v git >/dev/null 2>&1 && [ -e .git ] || die "the sdist check compares against git's file list: run it in a clone"
ensure_tools_venv "$py"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
say "building the sdist"
"$TOOLS_VENV/bin/python" -m build --sdist --outdir "$tmp/dist" . >&2
sdists=("$tmp"/dist/tarmelix-*.tar.gz)
sdist="${sdists[0]}"
[ -f "$sdist" ] || die "no sdist was built"

tar -tzf "$sdist" | sed 's|^[^/]*/||' | grep -v '^$' | sort >"$tmp/held"
# Everything tracked that the build or the package metadata reads.
git ls-files -- src python CMakeLists.txt pyproject.toml README.md | sort >"$tmp/needed"
missing="$(comm -23 "$tmp/needed" "$tmp/held")"
[ -z "$missing" ] || die "the sdist lacks files the build needs:"$'\n'"$missing"
stray="$(grep -E '^(build|build-[^/]*|\.venv[^/]*|wheelhouse|dist)/|^\.git(/|$)|(^|/)(__pycache__/|CMakeCache\.txt$)|\.(o|a|whl)$|\.so(\.[0-9]+)*$' "$tmp/held" || true)"
[ -z "$stray" ] || die "the sdist holds build output or venvs:"$'\n'"$stray"
say "$(basename "$sdist"): $(wc -l <"$tmp/held") files, every tracked source among them, no build output"

mkdir "$tmp/unpacked"
tar -xzf "$sdist" -C "$tmp/unpacked"
srcs=("$tmp"/unpacked/tarmelix-*/)
whl="$(build_wheel "$py" "${srcs[0]}" "$tmp/wheel")"
install_wheel_fresh "$py" "$whl" "$tmp/venv"
say "examples/demo.py with the wheel built from the sdist"
(cd "$tmp" && "$tmp/venv/bin/python" "$ROOT/examples/demo.py")
