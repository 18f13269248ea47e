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
# shellcheck source-path=SCRIPTDIR
. "$root/scripts/demo/common.sh"

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
need_sdk_files demo-viewer "$sdk" bin/vorlane-viewer.exe bin/Vorlane.dll virtual-card/CG400D32.dll
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$sdk/bin/vorlane-viewer.exe" "$sdk/bin/Vorlane.dll" "$sdk/virtual-card/CG400D32.dll" "$stage/"
mkdir -p "$out"
rm -f "$out/viewer.png"
echo "demo: the sample viewer on the virtual card"
if VORLANE_LIVE=0 "$root/scripts/with-wine.sh" "$root/scripts/demo/viewer-shot.sh" "$stage" "$out"; then
  echo "viewer: $out/viewer.png"
  [ $docs = 1 ] && mkdir -p "$root/docs" && cp "$out/viewer.png" "$root/docs/viewer.png" && echo "viewer: docs/viewer.png"
  exit 0
fi
echo "demo-viewer: the viewer's panel showed no picture within a minute" >&2
exit 1
