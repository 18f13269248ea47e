#!/usr/bin/env bash
# Installs the Debian packages Vorlane needs: with "build", only what
# configuring and building take; otherwise also what running the tests, the
# demo and the benchmarks takes (Wine, a private X screen, the Linux-side
# readers). Safe to run again: it skips the work when everything is in place.
#   scripts/setup.sh [build]
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  clang lld llvm
  googletest
  python3  # configuring finds it for the Linux-side checks
)
if [ "${1:-}" != build ]; then
  packages+=(
    wine wine32 wine64 libwine libwine:i386
    xvfb xdotool
    imagemagick python3-pil
    locales fonts-wqy-microhei
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (${missing[*]}); run as root to install them" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # 32-bit Wine needs the i386 architecture.
  if [ "${1:-}" != build ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "${1:-}" = build ] && exit 0

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
