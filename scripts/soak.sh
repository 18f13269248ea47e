#!/usr/bin/env bash
# The long reliability runs: every reliability test program of both
# architectures with its full counts (VORLANE_SOAK=1: 1,000 cycles, 10,000
# stopped opens, 3,000 random calls, 20,000 fuzzed grey sources), then one
# table of what each run did and what the process held at its start and end;
# last, one recording past 4 GB, read back by ffprobe and the virtual card.
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

# One recording past 4 GB: vorlane-cli records the virtual card's raw frames
# (432 x 576, 18.7 MB a second) for 5 minutes into one AVI file, which
# ffprobe must read to its last frame and the virtual card must play. The
# recorder must end with status 0, and the frames its FILE.txt says it kept
# must be the frames ffprobe counts in the file and its parts.
dist=${VORLANE_DIST:-$root/dist}
if [ -e "$dist/win64/bin/vorlane-cli.exe" ]; then
  mkdir -p "$root/out"
  big=$(mktemp -d "$root/out/soak-avi.XXXXXX")
  cp "$dist/win64/bin/"*.exe "$dist/win64/bin/"*.dll "$dist/win64/virtual-card/CG400D32.dll" "$big/"
  echo "recording past 4 GB (win64)" >&2
  start=$(date +%s)
  recorded=0
  (cd "$big" && wine ./vorlane-cli.exe record big.avi --codec raw --rate 25 --height 576 \
     --seconds "${VORLANE_SOAK_AVI_SECONDS:-300}" --no-window --x 20 --y 20) >"$log" 2>&1 || recorded=$?
  kept=$(tr -d '\r' <"$big/big.txt" 2>/dev/null | sed -n 's/^pictures kept: \([0-9]*\).*/\1/p')
  # Every part's frames with data; a repeat (a chunk of none) gives no frame.
  bytes=0 frames=0 parts=0
  for part in "$big/big.avi" "$big"/big_[0-9][0-9][0-9].avi; do
    [ -e "$part" ] || continue
    count=$(ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
      -of default=nw=1:nk=1 "$part" 2>/dev/null) || true
    bytes=$((bytes + $(stat -c %s "$part"))) frames=$((frames + ${count:-0})) parts=$((parts + 1)) last_part=$part
  done
  duration=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$big/big.avi" 2>/dev/null) || true
  last=$(ffmpeg -v error -sseof -1 -i "${last_part:-$big/big.avi}" -f framemd5 - 2>/dev/null | grep -c '^0,' || true)
  played=FAILED
  (cd "$big" && wine ./vorlane-cli.exe preview --scene big.avi --height 576 --seconds 2 --no-window \
     --x 20 --y 20) >>"$log" 2>&1 && played=played
  if [ $recorded = 0 ] && [ "$bytes" -gt $((4 << 30)) ] && [ "${kept:-none}" = "$frames" ] && [ "$last" -gt 0 ] &&
    [ $played = played ]; then
    result=passed
  else
    result=FAILED
    status=1
    tr -d '\r' <"$log" | tail -20 >&2
  fi
  echo "win64 | record raw past 4 GB: exit status $recorded, $bytes bytes in $parts part(s), ${kept:-?} frames" \
    "kept, ffprobe decodes $frames, ${duration:-?} s in the first; the last second decodes; the virtual card $played it |" \
    "$result | $(( $(date +%s) - start )) s" >>"$figures"
  rm -rf "$big"
fi
echo
cat "$figures"
exit $status
