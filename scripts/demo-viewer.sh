#!/usr/bin/env bash
# The sample viewer on the virtual card, briefly: vorlane-viewer --start runs
# in a Wine virtual desktop on a private X screen (Wine then draws the
# window's caption itself), the desktop is photographed once the viewer's
# panel shows the card's picture, and the viewer is closed. Leaves
# out/demo/viewer.png; --docs also copies it to docs/viewer.png, the
# README's screenshot.
#   scripts/demo-viewer.sh [--arch win32|win64] [--docs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=${VORLANE_DIST:-dist}
[ "${dist#/}" != "$dist" ] || dist=$root/$dist
out=$root/out/demo
desktop=vorlane-viewer desktop_size=520x660

# Inside with-wine.sh: DISPLAY and the prefix are ready.
if [ "${1:-}" = --inside ]; then
  stage=$2
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
  exit
fi

arch=win64 docs=0
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=${2:?--arch needs win32 or win64}; shift ;;
    --docs) docs=1 ;;
    *) sed -n '8p' "$0" | sed 's/^# *//' >&2; exit 2 ;;
  esac
  shift
done
sdk=$dist/$arch
for f in bin/vorlane-viewer.exe bin/Vorlane.dll virtual-card/CG400D32.dll; do
  [ -f "$sdk/$f" ] || { echo "demo-viewer: $sdk/$f is missing; run ./run build first" >&2; exit 1; }
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$sdk/bin/vorlane-viewer.exe" "$sdk/bin/Vorlane.dll" "$sdk/virtual-card/CG400D32.dll" "$stage/"
mkdir -p "$out"
rm -f "$out/viewer.png"
echo "demo: the sample viewer on the virtual card"
if VORLANE_LIVE=0 "$root/scripts/with-wine.sh" "$0" --inside "$stage"; then
  echo "viewer: $out/viewer.png"
  [ $docs = 1 ] && mkdir -p "$root/docs" && cp "$out/viewer.png" "$root/docs/viewer.png" && echo "viewer: docs/viewer.png"
  exit 0
fi
echo "demo-viewer: the viewer's panel showed no picture within a minute" >&2
exit 1
