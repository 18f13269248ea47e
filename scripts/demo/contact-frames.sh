#!/usr/bin/env bash
# The contact sheet's frames, inside with-wine.sh, smaller and shorter and
# always on a private screen: the keys are sent to whichever window has the
# focus. The colour modes need no keys; each adjustment's chord goes by
# xdotool to the keys window, each press once the value of the one before
# shows in the run's report, and Alt+F4 there ends the run once pictures
# with the last value have been painted. Wine's X keyboard now and then
# loses a key: a press that left the value as it was goes again, and a run
# whose value still stops short is tried again, three times in all.
# Should the keys never arrive, the run ends at its time limit all the same.
# Each run leaves NAME.bmp, NAME.log and NAME.report.
#   contact-frames.sh STAGE SCENE
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/common.sh"
stage=$1 scene=$2 sheet=$1/sheet
mkdir -p "$sheet"
frame_args() {
  echo --x 40 --y 60 --height 288 --save "$(to_windows "$sheet/$1.bmp")" \
    --report "$(to_windows "$sheet/$1.report")"
}
[ -n "$scene" ] && scene_args=(--scene "$(to_windows "$scene")") || scene_args=()

echo "demo: a frame in each colour mode"
for mode in 0 1 2 3; do
  # shellcheck disable=SC2046 # the options are split on purpose
  (cd "$stage" && wine ./vorlane-cli.exe preview $(frame_args "mode-$mode") --mode "$mode" \
     --seconds 1 --no-window "${scene_args[@]}") >"$sheet/mode-$mode.log" 2>&1 || true
done

echo "demo: A/D chords sent to the keys window"
title='^Vorlane preview keys$'
no_keys_window() { ! xdotool search --name "$title" >/dev/null 2>&1; }
# value_is REPORT KEY VALUE, painted_past REPORT COUNT: what the run's report says.
value_is() { [ "$(report_value "$1" "$2")" = "$3" ]; }
painted_past() { [ "$(report_value "$1" frames_painted)" -gt "$2" ] 2>/dev/null; }

# press CHORD: its keys (such as ctrl+0) down and up again a moment apart.
# Sent at once, as xdotool key sends them, about one chord in thirty
# stepped twice or not at all under Wine on a loaded machine; spaced so,
# none in hundreds.
press() {
  xdotool keydown "${1%%+*}" sleep 0.05 keydown "${1#*+}" sleep 0.05 keyup "${1#*+}" sleep 0.05 keyup "${1%%+*}"
}

# press_in_a_run NAME KEY COUNT SELECTOR STEP: one run of the preview with KEY
# pressed COUNT times; fails when a press never showed.
press_in_a_run() {
  local name=$1 key=$2 count=$3 selector=$4 step=$5 report=$sheet/$1.report press send before after shown=0
  # The last run's window may outlive its program for a moment; the keys
  # must go to this run's.
  poll 5 no_keys_window || true
  rm -f "$report"
  # shellcheck disable=SC2046 # the options are split on purpose
  (cd "$stage" && wine ./vorlane-cli.exe preview $(frame_args "$name") --seconds 30 \
     "${scene_args[@]}") >>"$sheet/$name.log" 2>&1 &
  # The keys go to the focus, not to the window found: sent to a window,
  # the last key's release would find it closed, and Alt would stay held. A
  # window found before it is mapped refuses the focus: asked again.
  if poll 15 timeout 10 xdotool search --name "$title" windowfocus --sync >/dev/null 2>&1 &&
     poll 10 value_is "$report" running 1; then
    for press in $(seq "$count"); do
      before=$((128 + (press - 1) * step)) after=$((128 + press * step))
      # A key lost on the way leaves the value as it was: it goes again.
      for send in 1 2 3; do
        [ "$send" = 1 ] || echo "demo: $name: press $press lost, sent again" >&2
        press "$key"
        poll 2 value_is "$report" "card_ad$selector" "$after" && break
        value_is "$report" "card_ad$selector" "$before" || break
      done
      value_is "$report" "card_ad$selector" "$after" || break
      shown=$press
    done
    # Pictures with the last value on the screen, then the frame is saved.
    poll 5 painted_past "$report" "$(report_value "$report" frames_painted)" || true
    xdotool key alt+F4
  else
    echo "demo: $name: its keys window was not found or took no focus" >&2
  fi
  wait || true
  [ "$shown" = "$count" ] && return
  echo "demo: $name: $shown of $count presses showed" >&2
  return 1
}

while read -r name key count selector step; do
  : >"$sheet/$name.log"  # each attempt's output, one after the other
  for attempt in 1 2 3; do
    press_in_a_run "$name" "$key" "$count" "$selector" "$step" && break
    [ $attempt = 3 ] || echo "demo: $name: trying again" >&2
  done
done <<<"$adjustments"
