#!/usr/bin/env bash
# Runs a command with Wine ready: a prefix of the project's own (made on first
# use), a Chinese locale so that GBK message texts decode as on a Chinese
# Windows, and an X display: a private Xvfb screen unless VORLANE_LIVE=1 and
# DISPLAY is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

export WINEPREFIX=${VORLANE_WINEPREFIX:-${VORLANE_BUILD_DIR:-$root/build}/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: their installers would ask to download.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LC_ALL=zh_CN.UTF-8

xvfb_pid=
cleanup() {
  # Ends only the wineserver of this prefix.
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [ "${VORLANE_LIVE:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
    # No auto-repeat: a key sender held up on a loaded machine must not
    # turn one press into several.
    Xvfb :$n -screen 0 ${VORLANE_SCREEN:-1280x1024x24} -nolisten tcp -r >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do
      [ -e /tmp/.X11-unix/X$n ] && break
      sleep 0.1
    done
    kill -0 $xvfb_pid 2>/dev/null && break
    xvfb_pid=
  done
  [ -n "$xvfb_pid" ] || { echo "with-wine: could not start Xvfb" >&2; exit 1; }
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "with-wine: preparing the Wine prefix $WINEPREFIX (first start takes a while)" >&2
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
# Keep one wineserver for the whole run, with its background services
# started here: a service started by a test program would inherit that
# program's output and keep a test runner waiting for its end.
wineserver -p >/dev/null 2>&1 || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

"$@"
