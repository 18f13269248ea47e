#!/usr/bin/env bash
# The live preview on the virtual card, from the SDK folder that ./run build
# lays out: vorlane-cli shows the picture on a private X screen (or on yours
# with --live), a screenshot is taken while it runs, the frame is saved and
# turned grey; then short runs save a frame in each colour mode and after
# A/D chords pressed in vorlane-cli's keys window, gathered in modes.png; last,
# two seconds are recorded into out/demo/recording.avi and played back, the
# first frames, as ffmpeg reads them, in recording.png. The results land in
# out/demo/. --scene takes a 24-bit BMP picture, a folder of them that the
# virtual card plays as footage, or an AVI recording it plays at its own rate.
#   scripts/demo.sh [--live] [--scene PICTURE.bmp|FOLDER|FILE.avi] [--arch win32|win64] [--seconds S]
# Each step is a script of its own in scripts/demo/; those that run Windows
# programs run inside with-wine.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR
. "$here/demo/common.sh"
# shellcheck source=scripts/require.sh
. "$root/scripts/require.sh"
require demo convert:imagemagick montage:imagemagick xdotool:xdotool ffmpeg:ffmpeg || exit 1
dist=${VORLANE_DIST:-dist}
[ "${dist#/}" != "$dist" ] || dist=$root/$dist

usage() { sed -n 's/^#   \(scripts\/demo.sh .*\)/\1/p' "$0"; }

live=0 scene= arch=win64 seconds=6
while [ $# -gt 0 ]; do
  case "$1" in
    --live) live=1 ;;
    --scene) scene=$(realpath "${2:?--scene needs a 24-bit BMP file, a folder of them or an AVI file}"); shift ;;
    --arch) arch=${2:?--arch needs win32 or win64}; shift ;;
    --seconds) seconds=${2:?--seconds needs a number}; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo: unknown argument $1" >&2; usage >&2; exit 2 ;;
  esac
  shift
done
case "$arch" in win32|win64) ;; *) echo "demo: --arch is win32 or win64" >&2; exit 2 ;; esac
[[ "$seconds" =~ ^[0-9]+$ ]] && [ "$seconds" -ge 2 ] ||
  { echo "demo: --seconds takes a whole number, at least 2" >&2; exit 2; }
[ -z "$scene" ] || [ -f "$scene" ] || [ -d "$scene" ] ||
  { echo "demo: no such picture, folder or recording: $scene" >&2; exit 2; }
sdk=$dist/$arch
need_sdk_files demo "$sdk" bin/vorlane-cli.exe bin/Vorlane.dll virtual-card/CG400D32.dll

# The SDK's bin/ never holds the virtual card (a host would take it for the
# driver), so the demo runs from a folder that joins the two.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$sdk"/bin/* "$sdk/virtual-card/CG400D32.dll" "$stage/"
rm -rf "$out"
mkdir -p "$out"

if [ $live = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "demo: --live needs DISPLAY; using a private screen instead" >&2
  live=0
fi
# A private screen with room round the picture for a title.
export VORLANE_SCREEN=${VORLANE_SCREEN:-960x720x24}
width=${VORLANE_SCREEN%%x*} rest=${VORLANE_SCREEN#*x} height=${rest%%x*}
x=$(( (width - 432) / 2 )) y=$(( (height - 576) / 2 ))
[ $live = 1 ] && x=100 y=100
status=0
VORLANE_LIVE=$live "$here/with-wine.sh" "$here/demo/live-preview.sh" "$stage" "$seconds" "$scene" "$x" "$y" ||
  status=$?
VORLANE_LIVE=0 "$here/with-wine.sh" "$here/demo/contact-frames.sh" "$stage" "$scene" || true
"$here/demo/contact-sheet.sh" "$stage" || echo "demo: the contact sheet could not be made" >&2
VORLANE_LIVE=0 "$here/with-wine.sh" "$here/demo/recording.sh" "$stage" "$scene" ||
  echo "demo: the recording made no pictures" >&2
VORLANE_DIST=$dist "$here/demo-viewer.sh" --arch "$arch" || true  # out/demo/viewer.png

for log in "$stage"/sheet/*.log "$stage"/record.log "$stage"/replay.log; do
  [ -f "$log" ] && { echo "== $(basename "$log" .log)"; sed 's/\r$//' "$log"; }
done >>"$out/vorlane-cli.log"

# describe_avi FILE: its codec, steps and rate as ffprobe reads them.
describe_avi() {
  ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=codec_name,r_frame_rate,nb_read_packets \
    -of csv=p=0 "$1" 2>/dev/null | awk -F, '{
      rate = $2; split(rate, r, "/"); if (r[2] == 1) rate = r[1]
      printf "%s, %s steps at %s a second", $1 == "mjpeg" ? "Motion JPEG" : $1 == "rawvideo" ? "raw" : $1, $3, rate }'
}
echo
scene_note=
if [ -d "$scene" ]; then
  scene_note=", footage $(basename "$scene") ($(find "$scene" -maxdepth 1 -type f -iname '*.bmp' | wc -l) pictures)"
elif [[ "${scene,,}" == *.avi ]]; then
  scene_note=", recording $(basename "$scene") ($(describe_avi "$scene"))"
elif [ -n "$scene" ]; then
  scene_note=", scene $(basename "$scene")"
fi
echo "== demo summary ($arch, virtual card$scene_note)"
# Footage the virtual card refused: vorlane-cli names the file and says why.
grep -m1 'refused the \(footage\|recording\)' "$out/vorlane-cli.log" 2>/dev/null || true
report=$stage/preview-report.txt
painted=$(report_value "$report" frames_painted)
if [ -n "$painted" ] && [ "$(report_value "$report" running)" = 0 ]; then
  rate=$(report_value "$report" frames_per_second)
  delivered=$(report_value "$report" card_reads)
  echo "frames painted: $painted ($rate frames/s)${delivered:+; the virtual card delivered $delivered}"
fi
kept=$(report_value "$stage/record-report.txt" pictures_kept)
if [ -n "$kept" ]; then
  echo "recording: $kept pictures kept in out/demo/recording.avi ($(stat -c %s "$out/recording.avi" 2>/dev/null ||
    echo 0) bytes; ffprobe reads $(describe_avi "$out/recording.avi"));" \
    "played back: $(report_value "$stage/replay-report.txt" frames_painted) pictures painted"
fi
describe() {
  case "$1" in
    *.bmp) echo "$(identify -format '%wx%h' "$1" 2>/dev/null), $(od -An -tu2 -j28 -N2 "$1" | tr -d ' ') bits a pixel" ;;
    */screen.png) identify -format '%wx%h screen' "$1" 2>/dev/null ;;
    */recording.png) echo "$(identify -format '%wx%h' "$1" 2>/dev/null), the recording's first frames" ;;
    *) echo "$(identify -format '%wx%h' "$1" 2>/dev/null), colour modes and A/D adjustments" ;;
  esac
}
for f in screen.png frame.bmp frame-grey.bmp modes.png recording.png; do
  if [ -f "$out/$f" ]; then
    printf '%-24s %9s bytes   %s\n' "out/demo/$f" "$(stat -c %s "$out/$f")" "$(describe "$out/$f")"
  else
    printf '%-24s missing\n' "out/demo/$f"
    status=1
  fi
done
mapfile -t missed < <(cat "$stage/sheet/missed" 2>/dev/null)
if [ ${#missed[@]} = 0 ]; then
  echo "A/D chords: all $(wc -l <<<"$adjustments") adjustments stepped through vorlane-cli's keys window"
else
  printf -v names '%s, ' "${missed[@]}"
  echo "A/D chords: $(( $(wc -l <<<"$adjustments") - ${#missed[@]} )) of $(wc -l <<<"$adjustments") adjustments stepped;" \
    "not delivered for ${names%, }"
  echo "            (see out/demo/vorlane-cli.log; modes.png marks those frames)"
fi
[ $status = 0 ] || echo "demo: something failed; see out/demo/vorlane-cli.log" >&2
exit $status
