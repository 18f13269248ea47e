#!/usr/bin/env bash
# Runs a command with Wine ready: a Wine prefix and wineserver of the run's
# own, a Chinese locale so that GBK message texts decode as on a Chinese
# Windows, and an X display: a private Xvfb screen unless VORLANE_LIVE=1 and
# DISPLAY is set.
# Each run gets a private prefix, a copy of the build folder's template prefix
# (made on first use, made afresh when Wine changes). Wine keeps one
# wineserver per prefix, so a run ends its own server and never another
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

# A run's copy holds its own registry and every file a run may write; only
# the folders of Wine's system DLLs, over a gigabyte that no run writes, are
# hard-linked to the template's. A file written through a link would change
# the template and every run at once, so runs never update their prefix
# (.update-timestamp says "disable"), and the template records the size and
# time of each linked file: a template found changed is made afresh.
linked_folders=(windows/system32 windows/syswow64 windows/winsxs)
linked_files() {
  (cd "$1/drive_c" && find "${linked_folders[@]}" -type f -printf '%p %s %T@\n' 2>/dev/null)
}
# Wine updates a prefix whose .update-timestamp (a line ending in CR LF)
# differs from the time of its wine.inf, as after a Wine package update: the
# template is then made again.
wine_inf=$(dirname "$(readlink -f "$(command -v wine)")")/../share/wine/wine.inf
wine_stamp=$(stat -c %Y "$wine_inf" 2>/dev/null || true)
template_current() {
  local stamp=''
  read -r stamp 2>/dev/null <"$template/.update-timestamp" || true
  [ -f "$template/.linked" ] &&
    grep -qs '^"ShowCrashDialog"=dword:00000000' "$template/user.reg" &&
    { [ -z "$wine_stamp" ] || [ "${stamp%$'\r'}" = "$wine_stamp" ]; } &&
    linked_files "$template" | cmp -s - "$template/.linked"
}

# What a run started is recorded in its folder as "PID START-TIME", so that a
# later run can end it after this one was killed, and never a process that
# took the number since.
start_time() {
  local stat fields
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  read -ra fields <<<"${stat##*) }"
  [ "${fields[0]}" != Z ] && echo "${fields[19]}"
}
record() { echo "$2 $(start_time "$2")" >"$1"; }
recorded_pid() {
  local pid start
  read -r pid start 2>/dev/null <"$1" || return 1
  [ -n "$start" ] && [ "$(start_time "$pid")" = "$start" ] && echo "$pid"
}
# end_run FOLDER: ends the wineserver of a run's prefix (and with it every
# Wine program and service of the run), then its Xvfb, then removes it.
end_run() {
  local pid
  # A server that hangs must not hold every later run at the lock.
  WINEPREFIX=$1 timeout 20 wineserver -k >/dev/null 2>&1 || true
  if pid=$(recorded_pid "$1/.wineserver"); then kill -KILL "$pid" 2>/dev/null || true; fi
  if pid=$(recorded_pid "$1/.xvfb"); then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$1"
}

run_prefix=''
cleanup() { if [ -n "$run_prefix" ]; then end_run "$run_prefix"; fi; }
trap cleanup EXIT

# The template, made once and changed only under its lock. A crash ends its
# program at once, with Wine's backtrace in its output: the debugger Wine
# starts for it (winedbg --auto, the prefix's AeDebug default) would
# otherwise wait on a crash dialog that nobody answers.
mkdir -p "$(dirname "$template")"
exec 9>"$template.lock"
flock 9
# Left by a preparation that was killed (only the lock's holder makes them).
for stale in "$template".new-* "$template".old-*; do
  if [ -d "$stale" ]; then end_run "$stale"; fi
done
if ! template_current; then
  echo "with-wine: preparing the Wine prefix $template (first start takes a while)" >&2
  # Made beside it and swapped in whole: runs still using the old one keep
  # their files.
  fresh=$(mktemp -d "$template.new-XXXXXX")
  {
    WINEPREFIX=$fresh wineboot -i
    WINEPREFIX=$fresh wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    WINEPREFIX=$fresh wineserver -w  # the registry is on disk once the server has ended
  } </dev/null >/dev/null 2>&1 || true
  linked_files "$fresh" >"$fresh/.linked"
  if [ -e "$template" ]; then mv "$template" "$template.old-$$"; fi
  mv "$fresh" "$template"
  rm -rf "$template.old-$$"
fi
# A run that was killed leaves its prefix behind, and may have left its
# wineserver and Xvfb running. A folder without a live owner is such a run's:
# its owner is recorded before the lock is let go.
for stale in "$template".run-*; do
  if [ -d "$stale" ] && ! recorded_pid "$stale/.owner" >/dev/null; then end_run "$stale"; fi
done
run_prefix=$(mktemp -d "$template.run-XXXXXX")
run_prefix=$(cd "$run_prefix" && pwd -P)  # as the wineserver's folder reads
record "$run_prefix/.owner" $$
cp -a "$template"/*.reg "$template/dosdevices" "$run_prefix/"
echo disable >"$run_prefix/.update-timestamp"
# One cp for each kind, as forks are what a loaded machine makes slow.
top=() windows=() link=()
for entry in "$template"/drive_c/*; do
  [ "${entry##*/}" = windows ] || top+=("$entry")
done
for entry in "$template"/drive_c/windows/*; do
  case " ${linked_folders[*]} " in
    *" windows/${entry##*/} "*) link+=("$entry") ;;
    *) windows+=("$entry") ;;
  esac
done
mkdir -p "$run_prefix/drive_c/windows"
cp -a "${top[@]}" "$run_prefix/drive_c/"
cp -a "${windows[@]}" "$run_prefix/drive_c/windows/"
cp -al "${link[@]}" "$run_prefix/drive_c/windows/"
flock -u 9
exec 9>&-
export WINEPREFIX=$run_prefix

if [ "${VORLANE_LIVE:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
  # Xvfb takes a free display number itself and writes it once it listens,
  # so runs starting together never pick the same one. No auto-repeat: a key
  # sender held up on a loaded machine must not turn one press into several.
  mkfifo "$run_prefix/.display"
  Xvfb -displayfd 3 -screen 0 "${VORLANE_SCREEN:-1280x1024x24}" -nolisten tcp -r \
    3>"$run_prefix/.display" >"$run_prefix/.xvfb.log" 2>&1 &
  record "$run_prefix/.xvfb" $!
  display=
  read -r -t 60 display <"$run_prefix/.display" || true
  if [ -z "$display" ]; then
    echo "with-wine: could not start Xvfb:" >&2
    cat "$run_prefix/.xvfb.log" >&2
    exit 1
  fi
  export DISPLAY=:$display
fi

# Keep one wineserver for the whole run, with its background services
# started here: a service started by a test program would inherit that
# program's output and keep a test runner waiting for its end. The server
# leaves the shell at once; once a program has run, it is known by the
# folder it works in, named after the prefix's device and inode.
wineserver -p >/dev/null 2>&1 || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
server_dir=$(stat -c %D "$run_prefix")-$(printf %x "$(stat -c %i "$run_prefix")")
for pid in $(pgrep '^wineserver'); do
  case $(readlink "/proc/$pid/cwd") in
    */server-"$server_dir") record "$run_prefix/.wineserver" "$pid" ;;
  esac
done
"$@"
