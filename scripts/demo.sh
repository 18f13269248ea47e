#!/usr/bin/env bash
# The live preview on the virtual card, from the SDK folder that ./run build
# lays out: vorlane-cli shows the picture on a private X screen (or on yours
# with --live), a screenshot is taken while it runs, the frame is saved and
# turned grey, and the results land in out/demo/.
#   scripts/demo.sh [--live] [--scene PICTURE.bmp] [--arch win32|win64] [--seconds S]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$root/${VORLANE_DIST:-dist}
out=$root/out/demo

usage() { sed -n '6p' "$0" | sed 's/^# *//'; }

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

live=0 scene= arch=win64 seconds=6
while [ $# -gt 0 ]; do
  case "$1" in
    --live) live=1 ;;
    --scene) scene=$(realpath "${2:?--scene needs a 24-bit BMP file}"); shift ;;
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
[ -z "$scene" ] || [ -f "$scene" ] || { echo "demo: no such picture: $scene" >&2; exit 2; }
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

echo
echo "== demo summary ($arch, virtual card$([ -n "$scene" ] && echo ", scene $(basename "$scene")"))"
summary=$(grep -E '^preview: [0-9]+ frames painted' "$out/vorlane-cli.log" || true)
if [ -n "$summary" ]; then
  painted=$(sed -E 's/^preview: ([0-9]+) frames painted.*/\1/' <<<"$summary")
  rate=$(sed -E 's/.* ([0-9.]+) frames\/s.*/\1/' <<<"$summary")
  delivered=$(sed -nE 's/.*card delivered ([0-9]+) frames.*/\1/p' <<<"$summary")
  echo "frames painted: $painted ($rate frames/s)${delivered:+; the virtual card delivered $delivered}"
fi
describe() {
  case "$1" in
    *.bmp) echo "$(identify -format '%wx%h' "$1" 2>/dev/null), $(od -An -tu2 -j28 -N2 "$1" | tr -d ' ') bits a pixel" ;;
    *) identify -format '%wx%h screen' "$1" 2>/dev/null ;;
  esac
}
for f in screen.png frame.bmp frame-grey.bmp; do
  if [ -f "$out/$f" ]; then
    printf '%-24s %9s bytes   %s\n' "out/demo/$f" "$(stat -c %s "$out/$f")" "$(describe "$out/$f")"
  else
    printf '%-24s missing\n' "out/demo/$f"
    status=1
  fi
done
[ $status = 0 ] || echo "demo: something failed; see out/demo/vorlane-cli.log" >&2
exit $status
