#!/usr/bin/env bash
# Fetches Debian's source package of libjpeg-turbo (the JPEG encoder that
# vorlane-cli links in) into FOLDER, unpacked with Debian's patches, and
# prints the unpacked folder. Needs a deb-src entry; as root it adds one for
# the Debian archive the machine already uses. Safe to run again.
#   scripts/libjpeg-turbo-source.sh FOLDER
set -euo pipefail
folder=$1
mkdir -p "$folder"
unpacked() { find "$folder" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | sort | tail -n 1; }
if [ -z "$(unpacked)" ]; then
  if ! apt-get source --print-uris libjpeg-turbo >/dev/null 2>&1; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "libjpeg-turbo-source: no deb-src entry for apt; run as root to add one" >&2
      exit 1
    fi
    # The same archives and suites as the machine's own entries, for sources:
    # deb822 stanzas of type deb, and one-line "deb" entries.
    # One of the two only: a machine with both (a debootstrap root) lists the
    # same archive twice, and apt refuses two source entries for one archive
    # that differ in their keys.
    if [ -s /etc/apt/sources.list.d/debian.sources ]; then
      awk 'BEGIN { RS = ""; ORS = "\n\n" } /(^|\n)Types: deb(\n|$)/ { sub(/Types: deb/, "Types: deb-src"); print }' \
        /etc/apt/sources.list.d/debian.sources > /etc/apt/sources.list.d/vorlane-deb-src.sources
    fi
    if [ ! -s /etc/apt/sources.list.d/vorlane-deb-src.sources ] && [ -f /etc/apt/sources.list ]; then
      rm -f /etc/apt/sources.list.d/vorlane-deb-src.sources
      sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list > /etc/apt/sources.list.d/vorlane-deb-src.list
    fi
    # apt-get update gives up at once while another one holds the lists.
    for _ in $(seq 60); do apt-get -qq update && break; sleep 5; done
  fi
  (cd "$folder" && apt-get -qq source libjpeg-turbo >/dev/null 2>&1) || {
    echo "libjpeg-turbo-source: apt-get source libjpeg-turbo failed" >&2
    exit 1
  }
fi
unpacked
