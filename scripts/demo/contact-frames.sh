#!/usr/bin/env bash
# The contact sheet's frames, inside with-wine.sh, smaller and shorter and
# always on a private screen: the keys are sent to whichever window has the
# focus. The colour modes need no keys; each adjustment's chords go by
# xdotool to the keys window, and Alt+F4 there ends the run once they have
# had time to show. Should the keys never arrive, the run ends at its time
# limit all the same. Each run leaves NAME.bmp, NAME.log and NAME.report.
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
  wait || true
done <<<"$adjustments"
