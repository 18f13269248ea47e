#!/usr/bin/env bash
# vorlane-cli recording the virtual card's moving test picture at 432 x 576,
# --rate 25, from the SDK folders: the pictures kept a second and those the
# disk could not take, and the watch loop's count of painted pictures while
# recording beside the same loop not recording (preview), the two runs
# alternating; then a loaded station: the frames kept of those the card
# finished, recording into an AVI file while two busy loops take both
# processors. Medians of several runs. Runs inside with-wine.sh; prints
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
# The same from FILE.txt beside FILE.avi.
file_figure() { tr -d '\r' <"$1" 2>/dev/null | sed -n "s/^$2: \([0-9]*\).*/\1/p"; }

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
  : >"$run/loaded"
  for pass in $(seq "$pairs"); do
    busy=()
    for _ in 1 2; do
      (while :; do :; done) &
      busy+=($!)
    done
    (cd "$run" && wine ./vorlane-cli.exe record "loaded$pass.avi" --rate 25 "${common[@]}" >"$run/loaded.log" 2>&1) || true
    kill "${busy[@]}"
    wait "${busy[@]}" 2>/dev/null || true
    kept=$(file_figure "$run/loaded$pass.txt" "pictures kept") finished=$(file_figure "$run/loaded$pass.txt" "frames the card finished")
    [ -n "$kept" ] && [ "${finished:-0}" -gt 0 ] && awk -v k="$kept" -v f="$finished" 'BEGIN { printf "%.1f\n", 100 * k / f }' >>"$run/loaded"
    rm -f "$run/loaded$pass".*
  done
  [ -s "$run/loaded" ] || sed 's/^/  /' "$run/loaded.log" >&2
  echo "$arch | record FILE.avi --rate 25 beside two busy loops: frames kept of those the card finished | $(median <"$run/loaded") | % | goal 100; median of $pairs runs of $seconds s"
done
