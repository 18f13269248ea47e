#!/usr/bin/env bash
# Installs the Debian packages Vorlane needs: with "build", only what
# configuring and building take; otherwise also what running the tests, the
# demo and the benchmarks takes (Wine, a private X screen, the Linux-side
# readers); with "fuzz", what building and seeding the fuzz targets takes.
# Safe to run again: it skips the work when everything is in place.
#   scripts/setup.sh [build|fuzz]
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  clang lld llvm
  libclang-rt-14-dev libstdc++-12-dev  # the pure code's native build and the fuzz targets: sanitizers, libFuzzer
  googletest
  python3  # configuring finds it for the Linux-side checks
  nasm dpkg-dev  # libjpeg-turbo from Debian's source package: its SIMD code; apt-get source
)
mode=${1:-test}
if [ "$mode" = fuzz ]; then
  packages+=(python3-pil)  # writes the seed pictures
elif [ "$mode" != build ]; then
  packages+=(
    wine wine32 wine64 libwine libwine:i386
    xvfb xdotool
    imagemagick python3-pil
    ffmpeg  # reads the recorder's AVI files in the tests, as a reader no one here wrote
    locales fonts-wqy-microhei
    clang-tools  # clang-cl, for the host built with Microsoft's tools
  )
fi

# apt-get, its output kept for a failure, waiting while another install on
# the machine holds apt's locks (apt-get update gives up at once on its lists'
# lock, and the dpkg front end's lock says so in words of its own): 20 minutes at most.
apt_get() {
  local log status
  log=$(mktemp)
  for _ in $(seq 240); do
    status=0
    apt-get -qq -o DPkg::Lock::Timeout=5 "$@" >"$log" 2>&1 || status=$?
    grep -qE 'Could not get lock|Unable to acquire the dpkg frontend lock' "$log" || break
    sleep 5
  done
  [ $status = 0 ] || tail -n 30 "$log" >&2
  rm -f "$log"
  return $status
}

missing=()
for p in "${packages[@]}"; do
  # Removed packages whose configuration files remain are listed too: only
  # "installed" counts (one line for each architecture installed).
  state=$(dpkg-query -W -f='${db:Status-Status}\n' "$p" 2>/dev/null || true)
  grep -qx installed <<<"$state" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (${missing[*]}); run as root to install them" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # 32-bit Wine needs the i386 architecture.
  if [ "$mode" = test ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  echo "setup: installing ${missing[*]} (and what they need)"
  # A mirror being synced fails one list for a few minutes: try again, and
  # go on with the lists that came; the install says whether they do.
  for attempt in 1 2 3 4 5 6; do
    apt_get update && break
    [ "$attempt" = 6 ] && { echo "setup: apt-get update still fails; going on with the lists it fetched" >&2; break; }
    echo "setup: apt-get update failed (a mirror being synced?); again in 30 s" >&2
    sleep 30
  done
  apt_get install -y --no-install-recommends "${missing[@]}"
fi

[ "$mode" = test ] || exit 0

# Wine decodes the GBK message texts only under a Chinese locale.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
  else
    echo "setup: locale zh_CN.UTF-8 missing; run as root" >&2
    exit 1
  fi
fi
