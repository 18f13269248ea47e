#!/usr/bin/env bash
# Record at the station, replay at the desk, inside with-wine.sh on a private
# screen: two seconds of the virtual card recorded into out/demo/recording/,
# then played back on it as footage; recording.png shows the first pictures.
#   recording.sh STAGE SCENE
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/common.sh"
stage=$1 scene=$2 folder=$out/recording
[ -n "$scene" ] && scene_args=(--scene "$(to_windows "$scene")") || scene_args=()
rm -rf "$folder"

echo "demo: recording two seconds into out/demo/recording/"
(cd "$stage" && wine ./vorlane-cli.exe record "$(to_windows "$folder")" --x 40 --y 60 --height 576 \
   --seconds 2 --no-window --report "$(to_windows "$stage/record-report.txt")" "${scene_args[@]}") \
  >"$stage/record.log" 2>&1 || true
echo "demo: playing the recording back"
(cd "$stage" && wine ./vorlane-cli.exe preview --scene "$(to_windows "$folder")" --x 40 --y 60 \
   --height 576 --seconds 2 --no-window --report "$(to_windows "$stage/replay-report.txt")") \
  >"$stage/replay.log" 2>&1 || true

# The first eight pictures, each under its name.
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
mapfile -t first < <(find "$folder" -maxdepth 1 -name '0*.bmp' 2>/dev/null | sort | head -n 8)
[ ${#first[@]} -gt 0 ] || exit 1
montage -font "$font" -pointsize 12 -fill '#e6edf3' -label '%t' "${first[@]}" -resize 144x192 \
  -tile 8x -geometry +6+6 -background '#141b22' "$stage/recording-tiles.png"
convert "$stage/recording-tiles.png" -gravity north -background '#141b22' -splice 0x40 \
  -font "$font" -fill '#e6edf3' -pointsize 17 -annotate +0+10 \
  "vorlane-cli record: the first pictures of out/demo/recording/, 432 x 576 each" \
  -bordercolor '#141b22' -border 12 -depth 8 "$out/recording.png"
