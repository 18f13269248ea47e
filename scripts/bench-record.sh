#!/usr/bin/env bash
# vorlane-cli recording the virtual card's moving test picture at 432 x 576,
# --rate 25, into a BMP folder, from the SDK folders, its live picture shown
# (no --no-window): the pictures kept a second, those the disk could not
# take, and the card's slots read and painted of those it finished while the
# reading loop ran (record reads the card through its driver and paints
# every slot it reads; the virtual card counts both). Medians of several
# runs. Runs inside with-wine.sh; prints "ARCH | name | value | unit | note".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=${VORLANE_DIST:-$root/dist}
seconds=${VORLANE_RECORD_BENCH_SECONDS:-4}
runs=${VORLANE_RECORD_BENCH_RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

support=$root/tests/support
median() { python3 "$support/medians.py"; }
# shellcheck source=tests/support/cli_report.sh
. "$support/cli_report.sh"
figure() { python3 "$support/recording_report.py" "$1" "$2"; }

for arch in win32 win64; do
  [ -e "$dist/$arch/bin/vorlane-cli.exe" ] || continue
  run=$work/$arch
  mkdir -p "$run"
  cp "$dist/$arch/bin/"*.exe "$dist/$arch/bin/"*.dll "$dist/$arch/virtual-card/CG400D32.dll" "$run/"
  for list in rates dropped slots; do : >"$run/$list"; done
  for n in $(seq "$runs"); do
    (cd "$run" && rm -f record.report && wine ./vorlane-cli.exe record "rec$n" --rate 25 --height 576 \
       --seconds "$seconds" --x 20 --y 20 --report record.report >"$run/record.log" 2>&1) || true
    reads=$(report_value "$run/record.report" card_reads)
    finished=$(figure "$run/rec$n" "frames the card finished" 2>/dev/null) || finished=
    # Those finished before the first read (the keys window being made) are
    # not the reading loop's: its first line of progress gives their count.
    before=$(tr -d '\r' <"$run/record.log" | sed -n 's/^record: .* card finished *\([0-9]*\)$/\1/p' | head -1)
    if [ -z "$reads" ] || [ -z "$finished" ] || [ -z "$before" ] || [ "$finished" -le "$before" ]; then
      echo "$arch | recording bench | failed | | see vorlane-cli's output"
      sed 's/^/  /' "$run/record.log" >&2
      continue 2
    fi
    figure "$run/rec$n" "pictures a second" >>"$run/rates"
    figure "$run/rec$n" "not kept, the disk did not keep up" >>"$run/dropped"
    # Two slots a frame.
    awk -v r="$reads" -v f="$((finished - before))" 'BEGIN { printf "%.1f\n", 100 * r / (2 * f) }' >>"$run/slots"
    rm -rf "${run:?}/rec$n"
  done
  echo "$arch | record FOLDER 432x576 --rate 25: pictures kept a second | $(median <"$run/rates") | 1/s | goal 25; median of $runs runs of $seconds s"
  echo "$arch | ... pictures dropped, the disk behind | $(median <"$run/dropped") | pictures | goal 0 on an idle machine"
  echo "$arch | ... the card's slots read and painted, of those it finished while recording | $(median <"$run/slots") | % |" \
    "goal >= 95; two slots a frame, counted by the virtual card"
done
