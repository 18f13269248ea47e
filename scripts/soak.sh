#!/usr/bin/env bash
# The long reliability runs: every reliability test program of both
# architectures with its full counts (VORLANE_SOAK=1: 1,000 cycles, 10,000
# stopped opens, 3,000 random calls, 20,000 fuzzed grey sources), then one
# table of what each run did and what the process held at its start and end.
# Runs inside with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VORLANE_BUILD_DIR:-$root/build}
export VORLANE_SOAK=1
status=0
found=0
figures=$(mktemp)
log=$(mktemp)
trap 'rm -f "$figures" "$log"' EXIT
for arch in win32 win64; do
  bin=$build/$arch/tests-bin
  for program in "$bin"/reliability_*_test.exe; do
    [ -e "$program" ] || continue
    found=1
    name=$(basename "$program" .exe)
    echo "running $name ($arch)" >&2
    start=$(date +%s)
    if (cd "$bin" && wine "$program") >"$log" 2>&1; then result=passed; else result=FAILED; status=1; fi
    tr -d '\r' <"$log" | grep -a '^SOAK ' | sed "s/^SOAK /$arch | /" >>"$figures" || true
    echo "$arch | $name | $result | $(( $(date +%s) - start )) s" >>"$figures"
    if [ $result = FAILED ]; then
      tr -d '\r' <"$log" | grep -a -A6 -e 'Failure' -e 'DEADLOCK' | head -60 >&2 || true
    fi
  done
done
[ $found = 1 ] || { echo "soak: no reliability tests under $build/win32|win64/tests-bin; build first" >&2; exit 1; }
echo
cat "$figures"
exit $status
