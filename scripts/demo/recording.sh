#!/usr/bin/env bash
# Record at the station, replay at the desk, inside with-wine.sh on a private
# screen: two seconds of the virtual card recorded into out/demo/recording.avi
# (its figures in recording.txt beside it), then played back on the virtual
# card; recording.png shows the first frames as ffmpeg decodes them.
#   recording.sh STAGE SCENE
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/common.sh"
stage=$1 scene=$2 file=$out/recording.avi
[ -n "$scene" ] && scene_args=(--scene "$(to_windows "$scene")") || scene_args=()
rm -f "$file" "${file%.avi}.txt"

echo "demo: recording two seconds into out/demo/recording.avi"
(cd "$stage" && wine ./vorlane-cli.exe record "$(to_windows "$file")" --x 40 --y 60 --height 576 \
   --seconds 2 --no-window --report "$(to_windows "$stage/record-report.txt")" "${scene_args[@]}") \
  >"$stage/record.log" 2>&1 || true
[ -s "$file" ] || exit 1
echo "demo: playing the recording back"
(cd "$stage" && wine ./vorlane-cli.exe preview --scene "$(to_windows "$file")" --x 40 --y 60 \
   --height 576 --seconds 2 --no-window --report "$(to_windows "$stage/replay-report.txt")") \
  >"$stage/replay.log" 2>&1 || true

# The first eight frames, read from the file by ffmpeg, each under its number.
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
frames=$stage/recording-frames
rm -rf "$frames" && mkdir -p "$frames"
ffmpeg -v error -i "$file" -frames:v 8 -start_number 0 "$frames/%04d.png" || exit 1
mapfile -t first < <(find "$frames" -maxdepth 1 -name '*.png' | sort)
[ ${#first[@]} -gt 0 ] || exit 1
codec=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height -of csv=p=0 "$file" |
  awk -F, '{ printf "%s, %s x %s", $1 == "mjpeg" ? "Motion JPEG" : $1 == "rawvideo" ? "raw" : $1, $2, $3 }')
montage -font "$font" -pointsize 12 -fill '#e6edf3' -label '%t' "${first[@]}" -resize 144x192 \
  -tile 8x -geometry +6+6 -background '#141b22' "$stage/recording-tiles.png"
convert "$stage/recording-tiles.png" -gravity north -background '#141b22' -splice 0x40 \
  -font "$font" -fill '#e6edf3' -pointsize 17 -annotate +0+10 \
  "vorlane-cli record: the first frames of out/demo/recording.avi ($codec), read by ffmpeg" \
  -bordercolor '#141b22' -border 12 -depth 8 "$out/recording.png"
