#!/usr/bin/env bash
# Runs a command with Wine ready: a Wine prefix and wineserver of the run's
# own, a Chinese locale so that GBK message texts decode as on a Chinese
# Windows, and an X display: a private Xvfb screen unless VORLANE_LIVE=1 and
# DISPLAY is set.
# Each run gets a private prefix, a copy of the build folder's template prefix
# (made on first use): its files hard-linked, its registry copied. Wine keeps
# one wineserver per prefix, so a run ends its own server and never another
# run's (./run bench while ./run test runs from the same checkout).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/require.sh
. "$root/scripts/require.sh"
require with-wine wine:wine wineserver:wine Xvfb:xvfb || exit 1

template=${VORLANE_WINEPREFIX:-${VORLANE_BUILD_DIR:-$root/build}/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: their installers would ask to download.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LC_ALL=zh_CN.UTF-8

xvfb_pid='' xvfb_dir='' run_prefix=''
cleanup() {
  if [ -n "$run_prefix" ]; then
    # Ends only the wineserver of this run's prefix.
    WINEPREFIX=$run_prefix wineserver -k >/dev/null 2>&1 || true
    rm -rf "$run_prefix"
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" >/dev/null 2>&1 || true; fi
  if [ -n "$xvfb_dir" ]; then rm -rf "$xvfb_dir"; fi
}
trap cleanup EXIT

if [ "${VORLANE_LIVE:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
  # Xvfb takes a free display number itself and writes it once it listens,
  # so runs starting together never pick the same one. No auto-repeat: a key
  # sender held up on a loaded machine must not turn one press into several.
  xvfb_dir=$(mktemp -d)
  mkfifo "$xvfb_dir/display"
  Xvfb -displayfd 3 -screen 0 "${VORLANE_SCREEN:-1280x1024x24}" -nolisten tcp -r \
    3>"$xvfb_dir/display" >"$xvfb_dir/log" 2>&1 &
  xvfb_pid=$!
  display=
  read -r -t 60 display <"$xvfb_dir/display" || true
  if [ -z "$display" ]; then
    echo "with-wine: could not start Xvfb:" >&2
    cat "$xvfb_dir/log" >&2
    exit 1
  fi
  export DISPLAY=:$display
fi

# The template, made once and changed only under its lock. A crash ends its
# program at once, with Wine's backtrace in its output: the debugger Wine
# starts for it (winedbg --auto, the prefix's AeDebug default) would
# otherwise wait on a crash dialog that nobody answers.
mkdir -p "$(dirname "$template")"
exec 9>"$template.lock"
flock 9
if ! grep -qs '^"ShowCrashDialog"=dword:00000000' "$template/user.reg"; then
  echo "with-wine: preparing the Wine prefix $template (first start takes a while)" >&2
  mkdir -p "$template"
  {
    [ -f "$template/system.reg" ] || WINEPREFIX=$template wineboot -i
    WINEPREFIX=$template wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    WINEPREFIX=$template wineserver -w  # the registry is on disk once the server has ended
  } </dev/null >/dev/null 2>&1 || true
fi
# A run that was killed leaves its prefix behind.
for stale in "$template".run-*; do
  if [ -d "$stale" ] && ! kill -0 "$(cat "$stale/.owner" 2>/dev/null || echo 0)" 2>/dev/null; then
    rm -rf "$stale"
  fi
done
run_prefix=$(mktemp -d "$template.run-XXXXXX")
echo $$ >"$run_prefix/.owner"
cp -a "$template"/*.reg "$template/.update-timestamp" "$template/dosdevices" "$run_prefix/"
cp -al "$template/drive_c" "$run_prefix/drive_c"
flock -u 9
exec 9>&-
export WINEPREFIX=$run_prefix

# Keep one wineserver for the whole run, with its background services
# started here: a service started by a test program would inherit that
# program's output and keep a test runner waiting for its end.
wineserver -p >/dev/null 2>&1 || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
"$@"
