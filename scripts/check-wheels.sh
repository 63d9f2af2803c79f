#!/usr/bin/env bash
# Checks repaired wheels (default: wheelhouse/*.whl): every ELF file in a wheel
# may load, outside the wheel, only the C and C++ runtimes, and each wheel
# installs into a fresh venv and imports there.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# What the target machine provides; everything else must come with the wheel.
ALLOWED_SYSTEM_LIBS=" libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1 "

wheels=("$@")
[ "${#wheels[@]}" -gt 0 ] || { shopt -s nullglob; wheels=(wheelhouse/*.whl); }
[ "${#wheels[@]}" -gt 0 ] || die "no wheels to check (make wheel first)"
require_pythons

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Prints one "library resolved-path" line per offending dependency of ELF file $1
# (transitively, as the loader resolves it) that lies outside folder $2.
foreign_libs() {
  local file="$1" inside="$2" out name path
  # The checker's own environment must not steer the loader.
  out="$(env -u LD_LIBRARY_PATH -u LD_PRELOAD ldd "$file" 2>&1)" \
    || { echo "(ldd-failed) $out"; return 0; }
  while read -r name arrow path _; do
    case "$name" in
      linux-vdso.so.*|linux-gate.so.*|/*/ld-linux*.so.*|ld-linux*.so.*) continue ;;
      statically) continue ;;
    esac
    [ "$arrow" = "=>" ] || { echo "$name (unparsed ldd line)"; continue; }
    if [ "$path" = not ]; then
      echo "$name not-found"
    elif [[ "$(realpath "$path")" == "$inside"/* ]]; then
      continue
    elif [[ "$ALLOWED_SYSTEM_LIBS" != *" $name "* ]]; then
      echo "$name $path"
    fi
  done <<<"$out"
}

failed=()
for whl in "${wheels[@]}"; do
  whl="$(realpath "$whl")"
  base="$(basename "$whl")"
  dir="$tmp/${base%.whl}"
  mkdir -p "$dir"
  "${PYTHONS[0]#* }" -m zipfile -e "$whl" "$dir"
  dir="$(realpath "$dir")"
  say "$base: shared libraries"
  modules=0 bad=0
  while IFS= read -r -d '' f; do
    [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    case "$f" in */_tarmelix*.so) modules=$((modules + 1)) ;; esac
    while read -r lib path; do
      [ -n "$lib" ] || continue
      printf '  %s needs %s (%s), which the wheel does not carry\n' "${f#"$dir"/}" "$lib" "$path" >&2
      bad=1
    done < <(foreign_libs "$f" "$dir")
  done < <(find "$dir" -type f -print0)
  [ "$modules" -gt 0 ] || { say "  no _tarmelix module in $base"; bad=1; }
  [ "$bad" = 0 ] || { failed+=("$base links outside the wheel"); continue; }
  say "  links nothing outside the wheel but the C and C++ runtimes"

  # cp313 -> 3.13
  tag="$(printf '%s\n' "$base" | sed -nE 's/^[^-]+-[^-]+-cp3([0-9]+)-.*/\1/p')"
  py=""
  for line in "${PYTHONS[@]}"; do
    [ "${line%% *}" = "3.$tag" ] && py="${line#* }"
  done
  [ -n "$py" ] || { failed+=("$base: no Python 3.$tag here to install it with"); continue; }
  say "$base: installing into a fresh venv"
  (install_wheel_fresh "$py" "$whl" "$tmp/venv-3.$tag") || failed+=("$base does not install and import")
done

if [ "${#failed[@]}" -gt 0 ]; then
  say "FAILED: $(printf '%s; ' "${failed[@]}")"
  exit 1
fi
say "all ${#wheels[@]} wheels are self-contained and import"
