#!/usr/bin/env bash
# The live preview on the virtual card, from the SDK folder that ./run build
# lays out: vorlane-cli shows the picture on a private X screen (or on yours
# with --live), a screenshot is taken while it runs, the frame is saved and
# turned grey; then short runs save a frame in each colour mode and after
# A/D chords pressed in vorlane-cli's keys window, gathered in modes.png. The
# results land in out/demo/. --scene takes a 24-bit BMP picture, or a folder
# of them that the virtual card plays as footage.
#   scripts/demo.sh [--live] [--scene PICTURE.bmp|FOLDER] [--arch win32|win64] [--seconds S]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/require.sh
. "$root/scripts/require.sh"
require demo convert:imagemagick montage:imagemagick xdotool:xdotool || exit 1
dist=${VORLANE_DIST:-dist}
[ "${dist#/}" != "$dist" ] || dist=$root/$dist
out=$root/out/demo

usage() { sed -n '9p' "$0" | sed 's/^# *//'; }

# The contact sheet's adjustments: name, chord, presses, A/D selector, step.
adjustments='brightness-up   ctrl+0  6 1 8
brightness-down ctrl+9  6 1 -8
contrast-up     ctrl+8  6 2 8
contrast-down   ctrl+7  6 2 -8
saturation-up   ctrl+6  8 4 8
saturation-down ctrl+5 12 4 -8'

# The part that runs inside with-wine.sh, with DISPLAY and the prefix ready.
if [ "${1:-}" = --inside ]; then
  stage=$2 seconds=$3 scene=$4 x=$5 y=$6
  log=$out/vorlane-cli.log
  to_windows() { winepath -w "$1" 2>/dev/null; }
  args=(preview --x "$x" --y "$y" --height 576 --seconds "$seconds"
        --save "$(to_windows "$out/frame.bmp")" --grey "$(to_windows "$out/frame-grey.bmp")")
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
  (cd "$stage" && wine ./vorlane-cli.exe "${args[@]}"; echo $? > "$stage/status") 2>&1 |
    sed -u 's/\r$//' | tee "$log" &
  # The screenshot is taken once the console has counted the first pictures
  # (its first count comes after a second).
  for _ in $(seq 200); do
    [ -e "$stage/status" ] && break
    grep -Eq 'frames painted +[1-9]' "$log" 2>/dev/null && break
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
fi

# The contact sheet's frames, smaller and shorter, always on a private screen:
# the keys are sent to whichever window has the focus. The colour modes need
# no keys; each adjustment's chords go by xdotool to the keys window, and
# Alt+F4 there ends the run once they have had time to show. Should the keys
# never arrive, the run ends at its time limit all the same.
if [ "${1:-}" = --sheet ]; then
  stage=$2 scene=$3 sheet=$2/sheet
  mkdir -p "$sheet"
  to_windows() { winepath -w "$1" 2>/dev/null; }
  frame_args() { echo --x 40 --y 60 --height 288 --save "$(to_windows "$sheet/$1.bmp")"; }
  [ -n "$scene" ] && scene_args=(--scene "$(to_windows "$scene")") || scene_args=()
  echo "demo: a frame in each colour mode"
  for mode in 0 1 2 3; do
    # shellcheck disable=SC2046 # the options are split on purpose
    (cd "$stage" && wine ./vorlane-cli.exe preview $(frame_args "mode-$mode") --mode "$mode" \
       --seconds 1 --no-window "${scene_args[@]}") >"$sheet/mode-$mode.log" 2>&1 || true
  done
  echo "demo: A/D chords sent to the keys window"
  title='^Vorlane preview keys$'
  while read -r name key count _; do
    keys=$(printf "$key %.0s" $(seq "$count"))
    # The last run's window may outlive its program for a moment; the keys
    # must go to this run's.
    for _ in $(seq 50); do
      xdotool search --name "$title" >/dev/null 2>&1 || break
      sleep 0.1
    done
    # shellcheck disable=SC2046
    (cd "$stage" && wine ./vorlane-cli.exe preview $(frame_args "$name") --seconds 5 \
       "${scene_args[@]}") >"$sheet/$name.log" 2>&1 &
    # The keys go to the focus, not to the window found: sent to a window,
    # the last key's release would find it closed, and Alt would stay held.
    if timeout 15 xdotool search --sync --name "$title" windowfocus --sync >/dev/null 2>&1; then
      # shellcheck disable=SC2086 # one key a word
      xdotool key --delay 40 $keys && sleep 0.5 && xdotool key alt+F4
    else
      echo "demo: no keys sent for $name: its keys window was not found or took no focus" >&2
    fi
    wait
  done <<<"$adjustments"
  exit 0
fi

live=0 scene= arch=win64 seconds=6
while [ $# -gt 0 ]; do
  case "$1" in
    --live) live=1 ;;
    --scene) scene=$(realpath "${2:?--scene needs a 24-bit BMP file or a folder of them}"); shift ;;
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
  { echo "demo: no such picture or folder: $scene" >&2; exit 2; }
sdk=$dist/$arch
for f in bin/vorlane-cli.exe bin/Vorlane.dll virtual-card/CG400D32.dll; do
  [ -f "$sdk/$f" ] || { echo "demo: $sdk/$f is missing; run ./run build first" >&2; exit 1; }
done

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
VORLANE_LIVE=$live "$root/scripts/with-wine.sh" "$0" --inside "$stage" "$seconds" "$scene" "$x" "$y" ||
  status=$?
VORLANE_LIVE=0 "$root/scripts/with-wine.sh" "$0" --sheet "$stage" "$scene" || true
VORLANE_DIST=$dist "$root/scripts/demo-viewer.sh" --arch "$arch" || true  # out/demo/viewer.png

# The A/D value a run's last line reports for a selector (1, 2 or 4).
ad_value() {
  local field
  case "$2" in 1) field=1 ;; 2) field=2 ;; *) field=3 ;; esac
  sed -nE 's/.*card delivered [0-9]+ frames, A\/D ([0-9]+) ([0-9]+) ([0-9]+).*/\1 \2 \3/p' "$1" 2>/dev/null |
    awk -v f=$field '{ v = $f } END { print v == "" ? "unknown" : v }'
}

# modes.png: the colour modes beside the adjustments, each frame labelled.
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
background='#141b22' ink='#e6edf3' quiet='#9aa7b4' warn='#ff8a80'
missed=()
tile() {  # frame title detail detail-colour out
  local frame=$1
  if [ ! -f "$frame" ]; then
    frame=$stage/sheet/none.png
    convert -size 216x288 xc:'#000' -font "$font" -fill "$warn" -pointsize 14 -gravity center \
      -annotate +0+0 "no frame" "$frame"
  fi
  convert "$frame" -resize 216x288\! -bordercolor '#3a4b5c' -border 1 \
    \( -size 218x48 xc:none -font "$font" -gravity north \
       -fill "$ink" -pointsize 15 -annotate +0+7 "$2" -fill "$4" -pointsize 12 -annotate +0+28 "$3" \) \
    -background none -append "$5"
}
section() {  # title columns out tiles...
  local title=$1 columns=$2 result=$3
  shift 3
  montage "$@" -tile "${columns}x" -geometry +10+6 -background none "$result"
  convert "$result" -background none -gravity north -splice 0x36 -font "$font" -fill "$ink" \
    -pointsize 17 -annotate +0+8 "$title" "$result"
}
contact_sheet() {
  local sheet=$stage/sheet mode name key count selector step expected got chord detail colour
  local labels=("8-bit grey" "24-bit colour" "16-bit colour, 5 bits a channel"
                "15-bit colour, 5 bits a channel")
  local modes=() adjusted=()
  for mode in 0 1 2 3; do
    tile "$sheet/mode-$mode.bmp" "mode $mode" "${labels[$mode]}" "$quiet" "$sheet/tile-mode-$mode.png"
    modes+=("$sheet/tile-mode-$mode.png")
  done
  while read -r name key count selector step; do
    expected=$((128 + count * step))
    got=$(ad_value "$sheet/$name.log" "$selector")
    chord=${key/ctrl/Ctrl}
    if [ "$got" = "$expected" ]; then
      detail="$chord × $count   A/D $selector = $got" colour=$quiet
    else
      detail="$chord × $count not delivered" colour=$warn
      missed+=("$name")
    fi
    tile "$sheet/$name.bmp" "${name/-/ }" "$detail" "$colour" "$sheet/tile-$name.png"
  done <<<"$adjustments"
  # Ups above downs, one column for each adjustment.
  for name in brightness-up contrast-up saturation-up brightness-down contrast-down saturation-down; do
    adjusted+=("$sheet/tile-$name.png")
  done
  section "Colour modes" 2 "$sheet/modes.png" "${modes[@]}"
  section "A/D adjustments, stepped with the keys (24-bit colour)" 3 "$sheet/adjusted.png" "${adjusted[@]}"
  convert "$sheet/modes.png" -size 24x1 xc:none "$sheet/adjusted.png" -background none -gravity north +append \
    +repage -gravity north -splice 0x52 -font "$font" -fill "$ink" -pointsize 22 \
    -annotate +0+16 "Vorlane on the virtual card: frames saved by vorlane-cli" \
    -gravity south -splice 0x34 -fill "$quiet" -pointsize 13 \
    -annotate +0+10 "Mode 1 is the picture as the card opens it. On the virtual card A/D 1 is brightness, 2 contrast and 4 saturation; each press steps by 8 from 128." \
    -bordercolor "$background" -border 16 -background "$background" -flatten -depth 8 \
    "$out/modes.png"
}
contact_sheet || echo "demo: the contact sheet could not be made" >&2
for log in "$stage"/sheet/*.log; do
  [ -f "$log" ] && { echo "== $(basename "$log" .log)"; sed 's/\r$//' "$log"; }
done >>"$out/vorlane-cli.log"

echo
scene_note=
if [ -d "$scene" ]; then
  scene_note=", footage $(basename "$scene") ($(find "$scene" -maxdepth 1 -type f -iname '*.bmp' | wc -l) pictures)"
elif [ -n "$scene" ]; then
  scene_note=", scene $(basename "$scene")"
fi
echo "== demo summary ($arch, virtual card$scene_note)"
# A folder the virtual card refused: vorlane-cli names the file and says why.
grep -m1 'refused the footage' "$out/vorlane-cli.log" 2>/dev/null || true
summary=$(grep -m1 -E '^preview: [0-9]+ frames painted' "$out/vorlane-cli.log" || true)
if [ -n "$summary" ]; then
  painted=$(sed -E 's/^preview: ([0-9]+) frames painted.*/\1/' <<<"$summary")
  rate=$(sed -E 's/.* ([0-9.]+) frames\/s.*/\1/' <<<"$summary")
  delivered=$(sed -nE 's/.*card delivered ([0-9]+) frames.*/\1/p' <<<"$summary")
  echo "frames painted: $painted ($rate frames/s)${delivered:+; the virtual card delivered $delivered}"
fi
describe() {
  case "$1" in
    *.bmp) echo "$(identify -format '%wx%h' "$1" 2>/dev/null), $(od -An -tu2 -j28 -N2 "$1" | tr -d ' ') bits a pixel" ;;
    */screen.png) identify -format '%wx%h screen' "$1" 2>/dev/null ;;
    *) echo "$(identify -format '%wx%h' "$1" 2>/dev/null), colour modes and A/D adjustments" ;;
  esac
}
for f in screen.png frame.bmp frame-grey.bmp modes.png; do
  if [ -f "$out/$f" ]; then
    printf '%-24s %9s bytes   %s\n' "out/demo/$f" "$(stat -c %s "$out/$f")" "$(describe "$out/$f")"
  else
    printf '%-24s missing\n' "out/demo/$f"
    status=1
  fi
done
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
