#!/usr/bin/env bash
# Two runs of scripts/with-wine.sh at once, as ./run bench started while
# ./run test runs from the same checkout: the run that ends first must not
# end the other's Wine. The first run keeps a Wine program waiting; a second
# run starts and ends meanwhile; the program must then still be running.
#   with_wine_test.sh WITH_WINE_SCRIPT
set -uo pipefail
with_wine=$1
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/../sdk/sdk_test_lib.sh"

# The first run: cmd.exe waits on a pipe that stays open until this run
# closes its end.
mkfifo "$work/hold"
# shellcheck disable=SC2016 # expanded by the first run's shell
"$with_wine" bash -c '
  wine cmd.exe /c pause <"$1/hold" >/dev/null 2>&1 &
  program=$!
  exec 3>"$1/hold"
  touch "$1/first-ready"
  for _ in $(seq 1200); do [ -e "$1/second-ended" ] && break; sleep 0.1; done
  kill -0 $program 2>/dev/null && echo running >"$1/verdict" || echo ended >"$1/verdict"
  exec 3>&-
  wait' _ "$work" &
first=$!

if ! poll 120 test -e "$work/first-ready"; then
  fail "first run" "its Wine program did not start within 120 s"
else
  "$with_wine" wine cmd.exe /c exit || fail "second run" "with-wine.sh failed"
  touch "$work/second-ended"
  poll 120 test -e "$work/verdict"
  verdict=$(cat "$work/verdict" 2>/dev/null)
  [ "$verdict" = running ] ||
    fail "first run" "its Wine program ${verdict:-gave no verdict} when the second run ended"
fi
wait "$first"
finish "with-wine"
