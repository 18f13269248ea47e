#!/usr/bin/env bash
# The demo's main run, inside with-wine.sh: the live preview on a private X
# screen (or the operator's with VORLANE_LIVE=1) with a backdrop, a
# screenshot once pictures are being painted, the frame saved and turned grey.
#   live-preview.sh STAGE SECONDS SCENE X Y
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/common.sh"
stage=$1 seconds=$2 scene=$3 x=$4 y=$5
log=$out/vorlane-cli.log
report=$stage/preview-report.txt
args=(preview --x "$x" --y "$y" --height 576 --seconds "$seconds"
      --save "$(to_windows "$out/frame.bmp")" --grey "$(to_windows "$out/frame-grey.bmp")"
      --report "$(to_windows "$report")")
[ -n "$scene" ] && args+=(--scene "$(to_windows "$scene")")

if [ "${VORLANE_LIVE:-0}" != 1 ]; then
  # A backdrop on the private screen, so that the screenshot explains itself.
  font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
  convert -size "${VORLANE_SCREEN%x*}" gradient:'#2b3a4a-#0e141b' -font "$font" \
    -fill '#e6edf3' -pointsize 22 -gravity north -annotate +0+18 \
    "Vorlane  ·  live preview from the virtual card" \
    -fill '#9aa7b4' -pointsize 15 -gravity south -annotate +0+22 \
    "vorlane-cli preview --height 576$([ -n "$scene" ] && echo " --scene $(basename "$scene")")   ·   432 x 576, 24-bit colour" \
    "$stage/backdrop.png"
  # display exits at once after setting the root window's background; its
  # status then is 1, whatever happened.
  display -display "$DISPLAY" -window root "$stage/backdrop.png" || true
fi
echo "demo: preview on display $DISPLAY for $seconds s"
rm -f "$report"
(cd "$stage" && wine ./vorlane-cli.exe "${args[@]}"; echo $? > "$stage/status") 2>&1 |
  sed -u 's/\r$//' | tee "$log" &
# The screenshot is taken once the report counts the first pictures (its
# first count comes after a second).
for _ in $(seq 200); do
  [ -e "$stage/status" ] && break
  [ "$(report_value "$report" frames_painted)" -gt 0 ] 2>/dev/null && break
  sleep 0.1
done
if [ ! -e "$stage/status" ]; then
  if [ "${VORLANE_LIVE:-0}" = 1 ]; then
    # Only the preview's part of the operator's own screen, never the rest.
    import -display "$DISPLAY" -window root -crop 432x576+$x+$y +repage "$out/screen.png"
  else
    import -display "$DISPLAY" -window root "$out/screen.png"
  fi
fi
wait
exit "$(cat "$stage/status" 2>/dev/null || echo 1)"
