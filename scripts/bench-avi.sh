#!/usr/bin/env bash
# vorlane-cli recording one AVI file from the virtual card at 432 x 576,
# --rate 25, beside the same seconds recorded as a BMP folder: Motion JPEG
# (default quality) bytes a second against the folder's, on a still of the
# test picture and on the same with camera-like noise (sigma 4), played as
# one-picture footage so that every frame the card finishes is known; the
# steps that are kept frames out of the card's finished frames, Motion JPEG,
# and raw with and without flushing the file to the disk; the PSNR of every
# frame as ffmpeg decodes it against the card's frame, and raw exact.
# Runs inside with-wine.sh; prints "ARCH | name | value | unit | note".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=${VORLANE_DIST:-$root/dist}
seconds=${VORLANE_AVI_BENCH_SECONDS:-4}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The line of a figure in FILE.txt beside the recording, by its label's start.
figure() { tr -d '\r' <"$1" 2>/dev/null | sed -n "s/^$2[^:]*: *\([0-9.]*\).*/\1/p" | head -1; }
# The mean PSNR (dB) of every frame of $1 against the one picture $2, as
# ffmpeg decodes both; "exact" when every frame is the picture.
psnr() {
  local line
  line=$(ffmpeg -nostdin -v info -i "$1" -loop 1 -i "$2" \
    -lavfi '[0:v]format=bgr24[a];[1:v]format=bgr24[b];[a][b]psnr=shortest=1' -f null - 2>&1 |
    grep -o 'average:[0-9.inf]*' | tail -1)
  line=${line#average:}
  case "$line" in
    inf) echo exact ;;
    '') echo failed ;;
    *) printf '%.1f\n' "$line" ;;
  esac
}
# The share of the frames the card finished that FILE.txt $1 says were kept.
kept_share() {
  awk -v k="$(figure "$1" "pictures kept")" -v f="$(figure "$1" "frames the card finished")" \
    'BEGIN { if (f > 0) printf "%.1f", 100 * k / f; else print "-" }'
}
steps() { ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1" 2>/dev/null; }

for arch in win32 win64; do
  [ -e "$dist/$arch/bin/vorlane-cli.exe" ] || continue
  run=$work/$arch
  mkdir -p "$run/test" "$run/noisy"
  cp "$dist/$arch/bin/"*.exe "$dist/$arch/bin/"*.dll "$dist/$arch/virtual-card/CG400D32.dll" "$run/"
  common=(--height 576 --no-window --x 20 --y 20)
  # A still of the test picture, and the same with noise, each a folder of one.
  (cd "$run" && wine ./vorlane-cli.exe preview "${common[@]}" --seconds 1 --save test/0000.bmp >"$run/still.log" 2>&1) || true
  if [ ! -s "$run/test/0000.bmp" ]; then
    echo "$arch | AVI recording bench | failed | | no still of the test picture"; continue
  fi
  python3 - "$run/test/0000.bmp" "$run/noisy/0000.bmp" <<'PY'
import random, struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
start = struct.unpack_from('<I', data, 10)[0]
rng = random.Random(1)
for i in range(start, len(data)):
    data[i] = min(255, max(0, data[i] + round(rng.gauss(0, 4))))
open(sys.argv[2], 'wb').write(bytes(data))
PY
  for scene in test noisy; do
    picture=$run/$scene/0000.bmp
    record() {  # NAME [ARGS...]: $seconds of the footage into $run/NAME
      local name=$1; shift
      (cd "$run" && wine ./vorlane-cli.exe record "$name" --scene "$scene" --rate 25 --seconds "$seconds" \
         "${common[@]}" "$@" >"$run/$name.log" 2>&1) || true
    }
    record "$scene-folder"
    record "$scene-mjpeg.avi"
    record "$scene-raw.avi" --codec raw
    # The same without flushing the file to the disk, for what the flushes cost.
    [ "$scene" = noisy ] || VORLANE_AVI_NO_FLUSH=1 record "$scene-raw-unflushed.avi" --codec raw
    folder_bytes=$(du -sb "$run/$scene-folder" 2>/dev/null | cut -f1)
    avi_bytes=$(stat -c %s "$run/$scene-mjpeg.avi" 2>/dev/null || echo 0)
    if [ "${folder_bytes:-0}" = 0 ] || [ "$avi_bytes" = 0 ]; then
      echo "$arch | AVI recording bench ($scene) | failed | | see vorlane-cli's output"
      tail -3 "$run/$scene-folder.log" "$run/$scene-mjpeg.avi.log" | sed 's/^/  /' >&2
      continue
    fi
    label="record 432x576 --rate 25, $scene still"
    echo "$arch | $label: Motion JPEG bytes a second against the BMP folder |" \
      "1/$(awk -v f="$folder_bytes" -v a="$avi_bytes" 'BEGIN { printf "%.1f", f / a }') | ratio |" \
      "$avi_bytes / $folder_bytes bytes in $seconds s; goal at most 1/8"
    echo "$arch | ... decoded by ffmpeg against the card's frame: PSNR | $(psnr "$run/$scene-mjpeg.avi" "$picture") | dB |" \
      "mean of every frame; goal at least 38"
    echo "$arch | ... raw: every frame decoded against the card's | $(psnr "$run/$scene-raw.avi" "$picture") | | goal exact"
    finished=$(figure "$run/$scene-mjpeg.txt" "frames the card finished")
    kept=$(figure "$run/$scene-mjpeg.txt" "pictures kept")
    echo "$arch | ... frames kept of those the card finished | $(kept_share "$run/$scene-mjpeg.txt") | % |" \
      "${kept:-?} of ${finished:-?}; ffprobe reads $(steps "$run/$scene-mjpeg.avi") steps; goal 100"
    [ "$scene" = noisy ] ||
      echo "$arch | ... raw: frames kept of those the card finished, flushed / not flushed | $(kept_share \
        "$run/$scene-raw.txt") / $(kept_share "$run/$scene-raw-unflushed.txt") | % | VORLANE_AVI_NO_FLUSH=1 for the second; goal 100"
  done
done
