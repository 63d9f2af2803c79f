#!/usr/bin/env bash
# A newcomer's first run on Debian stable (trixie) and unstable (sid): in a
# fresh minimal chroot of each (git, make, ca-certificates and python3; sid
# also python3.14 and python3.15 with their headers and venv), a fresh clone
# of this checkout's HEAD runs the commands of the README's "Set up and run"
# as written. A distribution whose archive cannot be reached is skipped; any
# other failure fails the run.
#
# The chroots debootstrap makes are kept pristine under $PRISTINE_DIR and
# reused; each run works in a copy of its own, deleted afterwards.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

MIRROR="http://deb.debian.org/debian"
PRISTINE_DIR="/var/cache/tarmelix-chroots"
SUITES=(trixie sid)
declare -A PACKAGES=(
  [trixie]="git,make,ca-certificates,python3"
  [sid]="git,make,ca-certificates,python3,python3.14,python3.14-dev,python3.14-venv,python3.15,python3.15-dev,python3.15-venv"
)

is_root || die "making chroots needs root"
command -v git >/dev/null 2>&1 && [ -e .git ] || die "the distribution runs clone this checkout: run it in a clone"

# The first indented block of the README's "Set up and run", comments dropped.
mapfile -t COMMANDS < <(awk '
  /^## / { inside = ($0 == "## Set up and run"); next }
  inside && /^    [^ ]/ { sub(/^    /, ""); sub(/[ \t]*#.*$/, ""); print; block = 1; next }
  inside && block { exit }
' README.md)
[ "${#COMMANDS[@]}" -gt 0 ] || die "no commands found under \"Set up and run\" in README.md"

if ! command -v debootstrap >/dev/null 2>&1; then
  have_apt || die "debootstrap is missing and there is no apt-get to install it with"
  apt_update_once
  say "apt-get install debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
fi

head="$(git rev-parse --short HEAD)"
[ -z "$(git status --porcelain --untracked-files=no)" ] \
  || say "testing HEAD ($head): changes not committed are not part of it"

# The work copy in use, deleted however the run ends unless killed (the next
# run makes a new one; the mounts are gone either way).
ROOTFS=""
WORK=""

# Ends the processes still running inside the chroot, each by its id.
end_chroot_processes() {
  local p pids=()
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$ROOTFS" ] && pids+=("${p#/proc/}")
  done
  [ "${#pids[@]}" -gt 0 ] || return 0
  say "ending ${#pids[@]} processes left in the chroot"
  kill -TERM "${pids[@]}" 2>/dev/null || true
  sleep 2
  kill -KILL "${pids[@]}" 2>/dev/null || true
}

mounted_below() { awk -v r="$1/" 'index($2, r) == 1 { print $2 }' /proc/self/mounts; }

cleanup() {
  [ -n "$ROOTFS" ] || return 0
  end_chroot_processes
  local left
  left="$(mounted_below "$ROOTFS")"
  if [ -n "$left" ]; then
    printf 'error: still mounted, so %s is left in place:\n%s\n' "$WORK" "$left" >&2
  else
    rm -rf --one-file-system "$WORK"
  fi
  ROOTFS="" WORK=""
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# Runs a shell command inside the chroot as a new root login would, with none
# of this machine's environment but the way to its network. /proc and /dev
# are mounted for it in a mount namespace of its own, so they go with it
# however it ends, killed or not.
in_chroot() {
  local env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
             LANG=C.UTF-8 TERM=dumb)
  local v
  for v in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
    [ -n "${!v:-}" ] && env+=("$v=${!v}")
  done
  env -i "${env[@]}" unshare --mount --propagation private -- /bin/sh -c '
    mount -t proc proc "$0/proc" && mount --rbind /dev "$0/dev" && exec chroot "$0" /bin/bash -c "$1"
  ' "$ROOTFS" "$1"
}

# Makes the pristine chroot of suite $1 unless one made the same way is kept.
# Fails with status 2 when the archive cannot be reached.
ensure_pristine() {
  local suite="$1" dir="$PRISTINE_DIR/$1"
  local stamp="$suite $MIRROR minbase ${PACKAGES[$suite]}"
  if [ -d "$dir" ] && [ "$(cat "$dir.stamp" 2>/dev/null)" = "$stamp" ]; then
    say "$suite: reusing the chroot in $dir"
    return 0
  fi
  if ! wget -q -T 30 -t 2 --spider "$MIRROR/dists/$suite/InRelease"; then
    return 2
  fi
  say "$suite: debootstrap into $dir (${PACKAGES[$suite]})"
  mkdir -p "$PRISTINE_DIR"
  rm -rf --one-file-system "$dir" "$dir.new" "$dir.stamp"
  debootstrap --variant=minbase --include="${PACKAGES[$suite]}" "$suite" "$dir.new" "$MIRROR" \
    || { rm -rf --one-file-system "$dir.new"; return 1; }
  mv "$dir.new" "$dir"
  echo "$stamp" >"$dir.stamp"
}

# A fresh copy of the pristine chroot, set up to reach the network as this
# machine does, with the checkout's HEAD to clone.
prepare_copy() {
  local suite="$1"
  WORK="$(mktemp -d "/var/tmp/tarmelix-$suite.XXXXXX")"
  ROOTFS="$WORK/root"
  say "$suite: copying the chroot to $ROOTFS"
  cp -a "$PRISTINE_DIR/$suite" "$ROOTFS"
  rm -f "$ROOTFS/etc/resolv.conf"
  cp -L /etc/resolv.conf "$ROOTFS/etc/resolv.conf"
  # This machine's certificate authorities, among them any it adds itself
  # (an HTTPS proxy's, say): pip trusts the system's store.
  cp -L /etc/ssl/certs/ca-certificates.crt "$ROOTFS/etc/ssl/certs/ca-certificates.crt"
  if [ -d /usr/local/share/ca-certificates ]; then
    mkdir -p "$ROOTFS/usr/local/share/ca-certificates"
    cp -a /usr/local/share/ca-certificates/. "$ROOTFS/usr/local/share/ca-certificates/"
  fi
  if [ "$suite" = sid ]; then
    # Unstable's Release file may be older than its Valid-Until.
    echo 'Acquire::Check-Valid-Until "false";' >"$ROOTFS/etc/apt/apt.conf.d/99no-check-valid-until"
  fi
  git init -q --bare "$ROOTFS/srv/tarmelix.git"
  git push -q "$ROOTFS/srv/tarmelix.git" HEAD:refs/heads/main
  git --git-dir="$ROOTFS/srv/tarmelix.git" symbolic-ref HEAD refs/heads/main
}

failed=()
skipped=()
ran=()
timings=()
run_start=$SECONDS

# Runs step $2 (a shell command) of suite $1 in the chroot, timing it. In the
# background, so that a signal to this script ends the run at once.
step() {
  local suite="$1" cmd="$2" t0=$SECONDS rc=0
  say "$suite: $cmd"
  in_chroot "$cmd" &
  wait "$!" || rc=$?
  timings+=("$suite: $cmd: $((SECONDS - t0)) s$([ "$rc" = 0 ] || echo ", failed")")
  [ "$rc" = 0 ] || failed+=("$suite: $cmd")
  return "$rc"
}

for suite in "${SUITES[@]}"; do
  t0=$SECONDS rc=0
  ensure_pristine "$suite" || rc=$?
  if [ "$rc" = 2 ]; then
    say "$suite: $MIRROR cannot be reached: skipping $suite"
    skipped+=("$suite")
    continue
  elif [ "$rc" != 0 ]; then
    failed+=("$suite: debootstrap")
    continue
  fi
  timings+=("$suite: chroot: $((SECONDS - t0)) s")
  t0=$SECONDS
  prepare_copy "$suite"
  timings+=("$suite: copy: $((SECONDS - t0)) s")
  if step "$suite" "git clone -q /srv/tarmelix.git /root/tarmelix"; then
    for cmd in "${COMMANDS[@]}"; do
      step "$suite" "cd /root/tarmelix && $cmd" || true
    done
    # A second run installs nothing, and the runs leave nothing of theirs at
    # the clone's root but the build folders and venvs.
    if step "$suite" "cd /root/tarmelix && ${COMMANDS[0]} >/root/second-run.log 2>&1"; then
      again="$(grep -E '^==> (apt-get|creating)' "$ROOTFS/root/second-run.log" || true)"
      [ -z "$again" ] || { say "$suite: the second run installed again:"$'\n'"$again"; failed+=("$suite: second run"); }
    else
      tail -n 40 "$ROOTFS/root/second-run.log" >&2
    fi
    if [ -e "$ROOTFS/root/tarmelix/.hypothesis" ]; then
      say "$suite: .hypothesis/ left at the clone's root"
      failed+=("$suite: .hypothesis/ at the root")
    fi
  fi
  cleanup
  ran+=("$suite")
done

say "timings (HEAD $head):"
printf '    %s\n' "${timings[@]}" >&2
say "all distributions: $((SECONDS - run_start)) s"
[ "${#skipped[@]}" = 0 ] || say "skipped, archive unreachable: ${skipped[*]}"
if [ "${#failed[@]}" -gt 0 ]; then
  say "FAILED: $(printf '%s; ' "${failed[@]}")"
  exit 1
fi
say "the README's commands pass on ${ran[*]:-no distribution}"
