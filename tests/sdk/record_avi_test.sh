#!/usr/bin/env bash
# vorlane-cli record into an AVI file on the virtual card, the file read by
# ffprobe and ffmpeg (tests/readers/record_avi_check.py): Motion JPEG and
# raw against the footage played, many segments, parts at a volume's file
# limit (told, or met by a failed write), a file or part that exists, grey
# frames, a disk nearly full, --save or --grey naming the recording's files,
# a recording killed part-way, mended (vorlane-cli mend, with files it
# refuses) and gone on with (--continue). Every file's segments and legacy
# index walked (riff_holds), and each finished or mended file of one segment
# read by Windows' own AVIFile API (avifile_reads). The disk that really
# fills is record_small_disk_test.sh's.
#   record_avi_test.sh BUILD_DIR win32|win64
set -uo pipefail
build=$1
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/sdk_test_lib.sh"
# shellcheck source=tests/support/cli_report.sh
. "$here/../support/cli_report.sh"
require record_avi_test wine:wine ffprobe:ffmpeg ffmpeg:ffmpeg || exit 1
avi_run_folder "$build"
stream() { ffprobe -v error -show_entries "stream=$2" -of default=nw=1:nk=1 "$run/$1"; }
: >"$run/taken.avi"
: >"$run/q_002.avi"
# each_part CHECK FILE.avi: CHECK holds for FILE.avi and each of its later parts.
each_part() { for part in "$run/${2%.avi}.avi" "$run/${2%.avi}"_[0-9][0-9][0-9].avi; do "$1" "${part##*/}" || return 1; done; }

# NAME | ENVIRONMENT | ARGUMENTS | STATUS | CHECK: wine runs vorlane-cli with the
# arguments and the variables (- for none); CHECK is a shell command run
# after it ($out holds the output). One row, read into those variables.
row() {
  name=$(echo $name) status=$(echo $status) env=$(echo $env)
  [ "$env" != - ] || env=VORLANE_TEST_ROW=1
  # shellcheck disable=SC2086 # the arguments are split on purpose
  # Through a file: the desktop's explorer.exe, started by the program and
  # outliving it, would hold a pipe open.
  got=0
  (cd "$run" && env $env timeout 120 wine ./vorlane-cli.exe $args >"$run/row.out" 2>&1 </dev/null) || got=$?
  out=$(tr -d '\r' <"$run/row.out")
  # Wine's own diagnostics; Windows' messages come in the prefix's code page.
  out=$(grep -aEv '^[0-9a-f]{4}:(err|fixme|warn):|^wine: ' <<<"$out")
  [ "$got" = "$status" ] || fail "$name" "exit status $got, wanted $status: $out"
  eval "$check" </dev/null || fail "$name" "$check: $out"
  echo "$name: done"
}
while IFS='|' read -r name env args status check; do row; done <<'ROWS'
Motion JPEG, every frame in the file or counted | - | record m.avi --seconds 3 --height 576 --scene noise --no-window | 0 | check_avi m.avi mjpeg && avifile_reads m.avi
raw, many segments | VORLANE_AVI_SEGMENT_BYTES=3000000 | record r.avi --codec raw --seconds 2 --height 576 --scene noise --no-window | 0 | check_avi r.avi raw 8
grey, raw | - | record g.avi --codec raw --mode grey --seconds 0.5 --height 96 --no-window | 0 | [ "$(stream g.avi codec_name,pix_fmt | tr '\n' ' ')" = "rawvideo pal8 " ] && finished_avi g.avi
grey, Motion JPEG | - | record gm.avi --mode grey --seconds 0.5 --height 96 --no-window | 0 | [ "$(stream gm.avi codec_name,pix_fmt | tr '\n' ' ')" = "mjpeg gray " ] && finished_avi gm.avi
15-bit widened | - | record w.avi --codec raw --mode rgb15 --seconds 0.5 --height 96 --no-window | 0 | [ "$(stream w.avi codec_name,pix_fmt | tr "\n" " ")" = "rawvideo bgr24 " ] && finished_avi w.avi
--save naming the recording | - | record s.avi --seconds 0.5 --no-window --save ./S.AVI | 2 | grep -q "is the recording's own file" <<<"$out" && [ ! -e "$run/s.avi" ] && [ ! -e "$run/s.txt" ]
--save naming its figures | - | record s.avi --seconds 0.5 --no-window --save s.txt | 2 | grep -q "is the recording's own file" <<<"$out" && [ ! -e "$run/s.txt" ]
--grey naming a part | - | record s.avi --seconds 0.5 --no-window --save f.bmp --grey s_002.avi | 2 | grep -q "is the recording's own file" <<<"$out" && [ ! -e "$run/f.bmp" ]
parts at the volume's limit | VORLANE_FILE_LIMIT_BYTES=9000000 | record p.avi --seconds 3 --height 576 --scene noise --no-window --report p.rep | 0 | check_avi p.avi mjpeg && [ "$(report_value "$run/p.rep" parts)" -ge 3 ] && each_part finished_avi p.avi
a disk nearly full | VORLANE_FREE_BYTES=8000000 | record n.avi --codec raw --seconds 5 --height 576 --scene noise --no-window | 2 | grep -q "^ended: writing stopped: the disk was nearly full" "$run/n.txt" && check_avi n.avi raw && finished_avi n.avi && [ "$(stat -c %s "$run/n.avi")" -le 8000000 ]
a file that exists | - | record taken.avi --seconds 0.5 --no-window | 2 | [ "$out" = "vorlane-cli: taken.avi already exists; record into a new file, nothing was overwritten" ] && [ ! -s "$run/taken.avi" ] && [ ! -e "$run/taken.txt" ]
a later part that exists | - | record q.avi --seconds 0.5 --no-window | 2 | [ "$out" = "vorlane-cli: q_002.avi already exists; record into a new file, nothing was overwritten" ] && [ ! -e "$run/q.avi" ] && [ ! -e "$run/q.txt" ]
nothing to go on with | - | record none.avi --continue --seconds 0.5 --no-window | 2 | [ "$out" = "vorlane-cli: none.avi does not exist: there is no recording to go on with" ]
ROWS

# A volume that does not tell its limit: the write that fails there, while
# the disk has room, goes on in the next part with the frame it was writing.
name="a limit the volume does not tell"
(cd "$run" && trap '' XFSZ && ulimit -f 3000 && timeout 120 wine ./vorlane-cli.exe record u.avi --codec raw \
   --seconds 2 --height 576 --scene noise --no-window >"$work/u.log" 2>&1) || fail "$name" "$(cat "$work/u.log")"
check_avi u.avi raw 1 torn

# Killed from outside (TerminateProcess) while it writes: it plays up to its
# last whole frame. At 50 steps a second, every other step repeats.
name="killed recording plays"
(cd "$run" && exec timeout 120 wine ./vorlane-cli.exe record k.avi --codec raw --rate 50 --seconds 0 --height 576 \
   --scene noise --no-window >"$work/killed.log" 2>&1) &
recording=$!
bigger_than() { [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt "$2" ]; }
poll 60 bigger_than "$run/k.avi" 8000000 || fail "$name" "$(cat "$work/killed.log")"
end_recording
check_avi k.avi raw 1 cut

# Mending. A recording still running is refused; killed, it is mended, and
# so are copies of it cut shorter, each read then by Windows' own AVIFile,
# which goes by the index alone (and reads only a file's first segment);
# mending again changes nothing; what mend may not touch is left as it was.
(cd "$run" && exec timeout 120 wine ./vorlane-cli.exe record b.avi --seconds 0 --height 96 --no-window \
   >"$work/being-written.log" 2>&1) &
recording=$!
poll 60 bigger_than "$run/b.avi" 400000 || fail "being written" "$(cat "$work/being-written.log")"
while IFS='|' read -r name env args status check; do row; done <<'ROWS'
mend a recording still being written | - | mend b.avi | 2 | [ "$out" = "vorlane-cli: b.avi: not mended: another program has it open (is it still being recorded?)" ]
ROWS
end_recording
size=$(stat -c %s "$run/b.avi")
for part in 1 2 3; do head -c $((size * part / 4)) "$run/b.avi" >"$run/b$part.avi"; done
ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 5 -c:v mjpeg "$run/foreign.avi"
pictures=("$run"/noise/*.bmp)
cp "${pictures[0]}" "$run/picture.avi"
cp "$run/foreign.avi" "$run/foreign.was"
mended() { [[ $out == "mend: $1: cut in segment 1 after "* ]] && finished_avi "$1"; }
# Raw in many segments (r.avi) cut in a later one, where one begins and inside
# an index: mended, ffmpeg plays its steps and every segment is closed.
at() { grep -boa "$1" "$run/r.avi" | sed -n "$2s/:.*//p"; }
head -c $(($(stat -c %s "$run/r.avi") / 2)) "$run/r.avi" >"$run/r-half.avi"
head -c $(($(at AVIX 3) - 8)) "$run/r.avi" >"$run/r-segment.avi"
head -c $(($(at ix00 2) + 12)) "$run/r.avi" >"$run/r-index.avi"
mended_segments() { check_avi "$1" raw "$2" cut && VORLANE_AVI_SEGMENT_BYTES=3000000 riff_holds "$1"; }
while IFS='|' read -r name env args status check; do row; done <<'ROWS'
mend a killed recording | - | mend b.avi | 0 | mended b.avi && cp "$run/b.avi" "$run/b.once"
mend it again: nothing to do | - | mend b.avi | 0 | [[ $out == *"nothing to mend; left as it was" ]] && cmp "$run/b.avi" "$run/b.once"
mend one cut at a quarter | - | mend b1.avi | 0 | mended b1.avi
mend one cut at a half | - | mend b2.avi | 0 | mended b2.avi
mend one cut at three quarters | - | mend b3.avi | 0 | mended b3.avi
mend raw in many segments, cut in a later one | - | mend r-half.avi | 0 | mended_segments r-half.avi 4
mend it cut where a segment begins | - | mend r-segment.avi | 0 | [[ $out == *"its segments were whole"* ]] && mended_segments r-segment.avi 3
mend it cut inside an index | - | mend r-index.avi | 0 | mended_segments r-index.avi 2
mend a picture | - | mend picture.avi | 2 | [[ $out == *"not mended: not an AVI file"* ]] && cmp "$run/picture.avi" "${pictures[0]}"
mend another program's AVI file | - | mend foreign.avi | 2 | [[ $out == *"not an AVI file this recorder writes" ]] && cmp "$run/foreign.avi" "$run/foreign.was"
mend a file that is not there | - | mend none.avi | 2 | [[ $out == *"none.avi: not mended: it cannot be opened"* ]]
ROWS
# The killed recording gone on with: mended, the recording in k_002.avi,
# the gap noted; options that would record other frames refused.
name="gone on after the kill"
out=$(wine_in "$run" ./vorlane-cli.exe record k.avi --continue --codec raw --rate 50 --seconds 1 --height 576 --scene noise \
  --no-window) || fail "$name" "$out"
grep -q "^gap: cut at .*, went on at .* in k_002.avi" "$run/k.txt" || fail "$name" "k.txt: $(cat "$run/k.txt")"
check_avi k.avi raw 1 cut && each_part finished_avi k.avi
out=$(wine_in "$run" ./vorlane-cli.exe record k.avi --continue --seconds 1 --no-window)
[ $? = 2 ] && grep -q "k.avi holds frames of another size, kind or rate" <<<"$out" || fail "$name" "another codec: $out"
finish record_avi_test
