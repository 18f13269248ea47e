#!/usr/bin/env bash
# Runs a command (./run test unless told otherwise) as on a new machine: in a
# bare Debian 12 root (debootstrap minbase plus git), as root, on a clean
# clone of this checkout's HEAD, with nothing installed beforehand. A package
# that scripts/setup.sh forgets to install fails here, where a machine that
# happens to have it would pass. CI runs it; it works by hand too, as root.
#   scripts/clean-root-test.sh [COMMAND...]
# The bare root is built once and kept in $VORLANE_CLEAN_ROOT (default
# /var/tmp/vorlane-ci-root/base), with the downloaded packages beside it;
# every run works in a copy of its own, deleted afterwards. When the root
# cannot be built (no mirror), the command runs on this machine instead, in a
# clean clone, and one line says so.
set -uo pipefail
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel) || exit 2
home=${VORLANE_CLEAN_ROOT:-/var/tmp/vorlane-ci-root}
base=$home/base
packages_cache=$home/apt-archives
[ $# -gt 0 ] || set -- ./run test
commit=$(git -C "$repo" rev-parse HEAD) || exit 2
started=$(date +%s)
say() { echo "clean-root-test: $*"; }
elapsed() { local s=$(($(date +%s) - $1)); echo "$((s / 60)) min $((s % 60)) s"; }

# Every mount below a folder, deepest first.
mounts_under() {
  awk -v dir="$1" '$2 == dir || index($2, dir "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

# Deletes a folder only once nothing is mounted below it: never through a
# bind mount of the machine's own /dev, /proc or /sys.
remove_tree() {
  local dir=$1 mount
  [ -e "$dir" ] || return 0
  for mount in $(mounts_under "$dir"); do umount "$mount" 2>/dev/null || umount -l "$mount"; done
  if [ -n "$(mounts_under "$dir")" ]; then
    say "$dir still has mounts ($(mounts_under "$dir" | tr '\n' ' ')); left in place"
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

# Ends the processes still running inside a root (a wineserver, an Xvfb).
end_processes_in() {
  local dir process
  dir=$(realpath "$1")
  for process in /proc/[0-9]*; do
    [ "$(readlink "$process/root" 2>/dev/null)" = "$dir" ] && kill -9 "${process#/proc/}" 2>/dev/null
  done
  return 0
}

# The Debian mirror: $VORLANE_DEBIAN_MIRROR, else this machine's own.
mirror() {
  local uri=${VORLANE_DEBIAN_MIRROR:-}
  [ -n "$uri" ] || uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null)
  [ -n "$uri" ] || uri=$(awk '/^deb / { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
  echo "${uri:-http://deb.debian.org/debian}"
}

# The bare root, built once; a run that finds it half made builds it again.
# Several runs on the machine build it one at a time.
build_base() {
  local log=$home/debootstrap.log mirror include=git try
  mirror=$(mirror)
  # An https mirror needs the certificates to be reached at all.
  [ "${mirror#https:}" = "$mirror" ] || include=git,ca-certificates
  if ! command -v debootstrap >/dev/null; then
    { apt-get update -qq && apt-get install -y -qq debootstrap; } >"$home/install.log" 2>&1 || return 1
  fi
  for try in 1 2 3; do
    remove_tree "$base" || return 1
    say "building a bare Debian 12 root in $base (try $try; about 2 minutes)"
    if debootstrap --variant=minbase --include=$include bookworm "$base" "$mirror" >"$log" 2>&1; then
      # The machine's package sources and name servers, as a container gets them.
      if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        rm -f "$base/etc/apt/sources.list"
        cp /etc/apt/sources.list.d/debian.sources "$base/etc/apt/sources.list.d/"
      fi
      # As a container comes: no package files left from the build.
      rm -f "$base"/var/cache/apt/archives/*.deb
      date -u +%Y-%m-%dT%H:%MZ >"$base/.ready"
      return 0
    fi
    tail -n 3 "$log"
    [ "$try" = 3 ] || sleep 30
  done
  return 1
}

# clone_into FOLDER: the commit under test, and nothing else of this checkout.
clone_into() {
  if ! git clone -q --no-hardlinks "$repo" "$1" || ! git -C "$1" checkout -q --detach "$commit"; then
    say "could not clone $repo into $1"
    exit 2
  fi
  [ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
    say "note: the checkout has uncommitted changes; they are not part of this run"
}

# On this machine, without the bare root: a clean clone all the same.
run_here() {
  local work status
  work=$(mktemp -d /var/tmp/vorlane-ci-here.XXXXXX)
  clone_into "$work/project"
  (cd "$work/project" && "$@")
  status=$?
  rm -rf --one-file-system "$work"
  return $status
}

finish() {
  if [ "$1" = 0 ]; then say "$2 passed in $(elapsed "$started"), $3"; else say "$2 FAILED (exit $1) in $(elapsed "$started"), $3"; fi
  exit "$1"
}

say "commit $commit; command: $*"
mkdir -p "$home" "$packages_cache"
base_ok=0
if [ "$(id -u)" -ne 0 ]; then
  say "not root, so no bare root (debootstrap and chroot need root); running on this machine instead"
else
  exec 8>"$home/.base.lock"
  flock 8
  if [ -f "$base/.ready" ] || build_base; then
    base_ok=1
    say "using the bare Debian 12 root $base (built $(cat "$base/.ready"))"
  else
    say "no bare Debian 12 root after 3 tries (mirror $(mirror) unreachable? see $home/debootstrap.log); running on this machine instead"
  fi
fi
if [ $base_ok = 0 ]; then
  run_here "$@"
  finish $? "$*" "on this machine"
fi

# Copies left by killed runs go; each run holds its copy's lock while it
# lasts, taken while the base's lock is held.
for old in "$home"/run.*/; do
  [ -d "$old" ] || continue
  old=${old%/}
  # shellcheck disable=SC2094 # the lock file is only held, never read
  { flock -n 9 && end_processes_in "$old" && remove_tree "$old" && rm -f "$old.lock"; } 9>>"$old.lock"
done
run=$(mktemp -d "$home/run.XXXXXX")
exec 9>"$run.lock"
flock 9
flock -u 8
# shellcheck disable=SC2317 # called by the trap
cleanup() {
  end_processes_in "$run"
  # Keep what was downloaded for the next run; nothing else of it.
  cp -l -n "$run"/var/cache/apt/archives/*.deb "$packages_cache/" 2>/dev/null
  remove_tree "$run" && rm -f "$run.lock"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cp -a "$base/." "$run/"
cp -l "$packages_cache"/*.deb "$run/var/cache/apt/archives/" 2>/dev/null
cp /etc/resolv.conf "$run/etc/resolv.conf" 2>/dev/null
clone_into "$run/project"
# Wine needs the machine's /proc, /sys and /dev.
for m in proc sys dev dev/pts; do
  mkdir -p "$run/$m"
  mount --bind "/$m" "$run/$m" || { say "could not mount /$m in $run"; exit 2; }
done
say "running in $run"
chroot "$run" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  CI=true /bin/bash -c 'cd /project && "$@"' bash "$@" </dev/null
finish $? "$*" "in the bare root"
