#!/usr/bin/env bash
# vorlane-cli record into one AVI file on the virtual card, the file read by
# ffprobe and ffmpeg (tests/readers/record_avi_check.py): Motion JPEG and
# raw against the footage played, many segments, a file that exists, grey
# frames, a recording killed part-way and one that fills the disk. Every
# file's segments and legacy index walked (riff_holds), and each finished
# file of one segment read by Windows' own AVIFile API (avifile_reads).
#   record_avi_test.sh BUILD_DIR win32|win64
set -uo pipefail
build=$1
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/sdk_test_lib.sh"
require record_avi_test wine:wine ffprobe:ffmpeg ffmpeg:ffmpeg || exit 1
avi_run_folder "$build"
# The row's variables reach the check: the segment size the recorder was given.
# shellcheck disable=SC2086
check_avi() { (cd "$run" && env $env "$python" "$here/../readers/record_avi_check.py" noise "$@") || fail "$name" "see above"; }
stream() { ffprobe -v error -show_entries "stream=$2" -of default=nw=1:nk=1 "$run/$1"; }
figure() { sed -n "s/^$2: //p" "$run/$1" | tr -d '\r' | cut -d' ' -f1; }
: >"$run/taken.avi"

# NAME | ENVIRONMENT | ARGUMENTS | STATUS | CHECK: wine runs vorlane-cli with the
# arguments and the variables (- for none); CHECK is a shell command run
# after it ($out holds the output).
while IFS='|' read -r name env args status check; do
  name=$(echo $name) status=$(echo $status) env=$(echo $env)
  [ "$env" != - ] || env=VORLANE_TEST_ROW=1
  # shellcheck disable=SC2086 # the arguments are split on purpose
  # Through a file: the desktop's explorer.exe, started by the program and
  # outliving it, would hold a pipe open.
  got=0
  (cd "$run" && env $env timeout 120 wine ./vorlane-cli.exe $args >"$run/row.out" 2>&1 </dev/null) || got=$?
  out=$(tr -d '\r' <"$run/row.out")
  out=$(grep -Ev '^[0-9a-f]{4}:(err|fixme|warn):' <<<"$out")  # Wine's own diagnostics
  [ "$got" = "$status" ] || fail "$name" "exit status $got, wanted $status: $out"
  eval "$check" </dev/null || fail "$name" "$check: $out"
  echo "$name: done"
done <<'ROWS'
Motion JPEG, every frame | - | record m.avi --seconds 3 --height 576 --scene noise --no-window | 0 | check_avi m.avi mjpeg && avifile_reads m.avi && [ "$(figure m.txt 'pictures kept')" -ge "$(($(figure m.txt 'frames the card finished') - 2))" ]
raw, many segments | VORLANE_AVI_SEGMENT_BYTES=3000000 | record r.avi --codec raw --seconds 2 --height 576 --scene noise --no-window | 0 | check_avi r.avi raw 8
grey, raw | - | record g.avi --codec raw --mode grey --seconds 0.5 --height 96 --no-window | 0 | [ "$(stream g.avi codec_name,pix_fmt | tr '\n' ' ')" = "rawvideo pal8 " ] && finished_avi g.avi
grey, Motion JPEG | - | record gm.avi --mode grey --seconds 0.5 --height 96 --no-window | 0 | [ "$(stream gm.avi codec_name,pix_fmt | tr '\n' ' ')" = "mjpeg gray " ] && finished_avi gm.avi
15-bit widened | - | record w.avi --codec raw --mode rgb15 --seconds 0.5 --height 96 --no-window | 0 | [ "$(stream w.avi codec_name,pix_fmt | tr "\n" " ")" = "rawvideo bgr24 " ] && finished_avi w.avi
a file that exists | - | record taken.avi --seconds 0.5 --no-window | 2 | [ "$out" = "vorlane-cli: taken.avi already exists; record into a new file, nothing was overwritten" ] && [ ! -s "$run/taken.avi" ] && [ ! -e "$run/taken.txt" ]
ROWS

# Killed from outside (TerminateProcess) while it writes: it plays up to its
# last whole frame.
name="killed recording plays"
(cd "$run" && timeout 120 wine ./vorlane-cli.exe record k.avi --codec raw --seconds 0 --height 576 \
   --scene noise --no-window >"$work/killed.log" 2>&1) &
bigger_than() { [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt "$2" ]; }
poll 60 bigger_than "$run/k.avi" 8000000 || fail "$name" "$(cat "$work/killed.log")"
wine_in "$run" taskkill /f /im vorlane-cli.exe >/dev/null
wait
check_avi k.avi raw 1 cut

# A disk that fills up: exit status 2, the reason in the .txt, a file that plays.
name="a full disk"
if mkdir "$work/small" && mount -t tmpfs -o size=4m tmpfs "$work/small" 2>/dev/null; then
  trap 'umount -l "$work/small"; rm -rf "$work"' EXIT
  small=$(winepath -w "$work/small" 2>/dev/null)
  out=$(wine_in "$run" ./vorlane-cli.exe record "$small\\f.avi" --codec raw --seconds 20 --height 576 --scene noise --no-window)
  got=$?
  [ "$got" = 2 ] || fail "$name" "exit status $got: $out"
  grep -q "ended: writing stopped: the disk is full (f.avi could not be written)" "$work/small/f.txt" ||
    fail "$name" "f.txt: $(cat "$work/small/f.txt")"
  cp "$work/small/f.avi" "$run/f.avi" && check_avi f.avi raw 1 cut
else
  echo "note: no small disk could be mounted here (needs root); the full-disk row did not run"
fi
finish record_avi_test
