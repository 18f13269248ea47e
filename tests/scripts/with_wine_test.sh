#!/usr/bin/env bash
# Runs of scripts/with-wine.sh side by side, as ./run bench started while
# ./run test runs from the same checkout, and after a run was killed:
#   second run    the run that ends first must not end the other's Wine;
#                 what it rewrites in its prefix must not reach the template
#   killed run    its wineserver and Xvfb, left running, are ended by the
#                 next run, and its folder goes
#   no owner      a run folder that names no owner goes
#   with_wine_test.sh WITH_WINE_SCRIPT
set -uo pipefail
with_wine=$1
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/../sdk/sdk_test_lib.sh"

# ended PID: the process is gone (or a zombie, ended but not yet reaped).
ended() { ! grep -qs '^State:[[:space:]]*[^Z]' "/proc/$1/status"; }

# The first run: cmd.exe waits on a pipe that stays open until this run
# closes its end.
mkfifo "$work/hold"
# shellcheck disable=SC2016 # expanded by the first run's shell
"$with_wine" bash -c '
  wine cmd.exe /c pause <"$1/hold" >/dev/null 2>&1 &
  program=$!
  exec 3>"$1/hold"
  echo "$WINEPREFIX" >"$1/first-prefix"
  for _ in $(seq 1200); do [ -e "$1/second-ended" ] && break; sleep 0.1; done
  kill -0 $program 2>/dev/null && echo running >"$1/verdict" || echo ended >"$1/verdict"
  exec 3>&-
  wait' _ "$work" &
first=$!

if ! poll 120 test -s "$work/first-prefix"; then
  fail "first run" "its Wine program did not start within 120 s"
  wait "$first"
  finish "with-wine"
  exit
fi
template=$(cat "$work/first-prefix")
template=${template%.run-*}
cp "$template/drive_c/windows/win.ini" "$work/win.ini"
# shellcheck disable=SC2016 # expanded by the second run's shell
"$with_wine" bash -c '
  wine cmd.exe /c "echo rewritten>C:\\windows\\win.ini" &&
    grep -q rewritten "$WINEPREFIX/drive_c/windows/win.ini"' ||
  fail "second run" "with-wine.sh failed, or its program could not rewrite win.ini"
cmp -s "$template/drive_c/windows/win.ini" "$work/win.ini" ||
  fail "second run" "rewriting win.ini in its prefix changed the template's"
touch "$work/second-ended"
poll 120 test -e "$work/verdict"
verdict=$(cat "$work/verdict" 2>/dev/null)
[ "$verdict" = running ] ||
  fail "second run" "the first run's Wine program ${verdict:-gave no verdict} when the second run ended"
wait "$first"

# A run killed while its Wine program runs, as by a ctest time-out: it and its
# command end at once, with nothing cleaned up.
mkfifo "$work/hold-killed"
# shellcheck disable=SC2016 # expanded by the killed run's shell
"$with_wine" bash -c '
  wine cmd.exe /c pause <"$1/hold-killed" >/dev/null 2>&1 &
  exec 3>"$1/hold-killed"
  echo "$$ $WINEPREFIX" >"$1/killed-run.tmp"
  mv "$1/killed-run.tmp" "$1/killed-run"
  wait' _ "$work" &
killed=$!
no_owner=$(mktemp -d "$template.run-XXXXXX")
if ! poll 120 test -e "$work/killed-run"; then
  fail "killed run" "its Wine program did not start within 120 s"
else
  read -r command prefix <"$work/killed-run"
  left=(Xvfb "$(pgrep -P "$killed" -x Xvfb)")
  for pid in $(pgrep '^wineserver'); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$prefix" && left+=(wineserver "$pid")
  done
  kill -KILL "$killed" "$command"
  wait "$killed" 2>/dev/null
  { [ ${#left[@]} = 4 ] && [ -n "${left[1]}" ]; } ||
    fail "killed run" "its Xvfb and wineserver were not both running: ${left[*]}"
  "$with_wine" true || fail "killed run" "the run after it failed"
  for ((i = 1; i < ${#left[@]}; i += 2)); do
    [ -z "${left[i]}" ] || poll 30 ended "${left[i]}" || {
      fail "killed run" "its ${left[i - 1]} (${left[i]}) still runs 30 s after the next run started"
      kill -KILL "${left[i]}"
    }
  done
  [ ! -e "$prefix" ] || fail "killed run" "its folder $prefix is still there"
fi
[ ! -e "$no_owner" ] || fail "no owner" "the run folder $no_owner, which names no owner, was kept"
rm -rf "$no_owner" "${prefix:-}"
finish "with-wine"
