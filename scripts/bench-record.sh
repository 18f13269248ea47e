#!/usr/bin/env bash
# vorlane-cli recording the virtual card's moving test picture at 432 x 576,
# --rate 25, from the SDK folders: the pictures kept a second and those the
# disk could not take, and the watch loop's count of painted pictures while
# recording beside the same loop not recording (preview), the two runs
# alternating. Medians of several pairs. Runs inside with-wine.sh; prints
# "ARCH | name | value | unit | note".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=${VORLANE_DIST:-$root/dist}
seconds=${VORLANE_RECORD_BENCH_SECONDS:-4}
pairs=${VORLANE_RECORD_BENCH_PAIRS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

support=$root/tests/support
median() { python3 "$support/medians.py"; }
# shellcheck source=tests/support/cli_report.sh
. "$support/cli_report.sh"
# The pictures the watch loop counted, from vorlane-cli's --report file.
painted() { report_value "$1" frames_painted; }
figure() { python3 "$support/recording_report.py" "$1" "$2"; }

for arch in win32 win64; do
  [ -e "$dist/$arch/bin/vorlane-cli.exe" ] || continue
  run=$work/$arch
  mkdir -p "$run"
  cp "$dist/$arch/bin/"*.exe "$dist/$arch/bin/"*.dll "$dist/$arch/virtual-card/CG400D32.dll" "$run/"
  : >"$run/rates" >"$run/dropped" >"$run/ratios"
  for pair in $(seq "$pairs"); do
    common=(--height 576 --seconds "$seconds" --no-window --x 20 --y 20)
    (cd "$run" && rm -f preview.report && wine ./vorlane-cli.exe preview "${common[@]}" --report preview.report >"$run/preview.log" 2>&1) || true
    (cd "$run" && rm -f record.report && wine ./vorlane-cli.exe record "rec$pair" --rate 25 "${common[@]}" --report record.report >"$run/record.log" 2>&1) || true
    still=$(painted "$run/preview.report") recording=$(painted "$run/record.report")
    if [ -z "$still" ] || [ -z "$recording" ] || [ ! -e "$run/rec$pair/recording.txt" ]; then
      echo "$arch | recording bench | failed | | see vorlane-cli's output"
      sed 's/^/  /' "$run/preview.log" "$run/record.log" >&2
      continue 2
    fi
    figure "$run/rec$pair" "pictures a second" >>"$run/rates"
    figure "$run/rec$pair" "not kept, the disk did not keep up" >>"$run/dropped"
    awk -v r="$recording" -v s="$still" 'BEGIN { printf "%.1f\n", 100 * r / s }' >>"$run/ratios"
    rm -rf "${run:?}/rec$pair"
  done
  echo "$arch | record 432x576 --rate 25: pictures kept a second | $(median <"$run/rates") | 1/s | goal 25; median of $pairs runs of $seconds s"
  echo "$arch | ... pictures dropped, the disk behind | $(median <"$run/dropped") | pictures | goal 0 on an idle machine"
  echo "$arch | ... painted pictures counted recording / not recording | $(median <"$run/ratios") | % | goal >= 95; runs alternating"
done
