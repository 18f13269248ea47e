#!/usr/bin/env bash
# modes.png: the contact sheet's frames, the colour modes beside the
# adjustments, each frame labelled with what its run's report says. The
# adjustments whose chords did not arrive are marked, and named one a line
# in STAGE/sheet/missed.
#   contact-sheet.sh STAGE
set -uo pipefail  # like the sheet it was: a failed tile leaves a gap, not a stop
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/common.sh"
sheet=$1/sheet
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
background='#141b22' ink='#e6edf3' quiet='#9aa7b4' warn='#ff8a80'
: >"$sheet/missed"

tile() {  # frame title detail detail-colour out
  local frame=$1
  if [ ! -f "$frame" ]; then
    frame=$sheet/none.png
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

labels=("8-bit grey" "24-bit colour" "16-bit colour, 5 bits a channel"
        "15-bit colour, 5 bits a channel")
modes=() adjusted=()
for mode in 0 1 2 3; do
  tile "$sheet/mode-$mode.bmp" "mode $mode" "${labels[$mode]}" "$quiet" "$sheet/tile-mode-$mode.png"
  modes+=("$sheet/tile-mode-$mode.png")
done
while read -r name key count selector step; do
  expected=$((128 + count * step))
  # The A/D value the run's report ends with for the selector (1, 2 or 4).
  got=$(report_value "$sheet/$name.report" "card_ad$selector")
  chord=${key/ctrl/Ctrl}
  if [ "$got" = "$expected" ]; then
    detail="$chord × $count   A/D $selector = $got" colour=$quiet
  else
    detail="$chord × $count not delivered" colour=$warn
    echo "$name" >>"$sheet/missed"
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
