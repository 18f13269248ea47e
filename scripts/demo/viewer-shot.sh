#!/usr/bin/env bash
# The sample viewer's step of the demo, inside with-wine.sh: vorlane-viewer
# --start in a Wine virtual desktop, photographed once its panel shows the
# card's picture, then closed. Leaves OUT/viewer.png.
#   viewer-shot.sh STAGE OUT
set -euo pipefail
stage=$1 out=$2
desktop=vorlane-viewer desktop_size=520x660
(cd "$stage" && exec timeout 120 wine explorer /desktop=$desktop,$desktop_size \
   vorlane-viewer.exe --start --height 480) >"$stage/viewer.log" 2>&1 &
running=$!
# The picture brings hundreds of colours, the viewer's window alone has
# about a hundred: photographed once the desktop shows them, for a minute
# at most.
shot=no
for _ in $(seq 300); do
  if id=$(xdotool search --name "^$desktop - Wine desktop\$" 2>/dev/null | head -1) && [ -n "$id" ] &&
     import -display "$DISPLAY" -window "$id" "$stage/viewer.png" 2>/dev/null &&
     [ "$(identify -format %k "$stage/viewer.png")" -gt 500 ]; then
    shot=yes
    break
  fi
  sleep 0.2
done
# Closed as an operator closes it; should the keys not arrive, the
# program ends with its time limit's signal instead.
if [ -n "${id:-}" ]; then
  xdotool windowfocus --sync "$id" key alt+F4 >/dev/null 2>&1 || true
fi
for _ in $(seq 50); do
  kill -0 "$running" 2>/dev/null || break
  sleep 0.1
done
kill "$running" 2>/dev/null || true
wait "$running" 2>/dev/null || true
[ $shot = yes ] && cp "$stage/viewer.png" "$out/viewer.png"
[ $shot = yes ]
