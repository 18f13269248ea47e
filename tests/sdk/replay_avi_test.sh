#!/usr/bin/env bash
# Replay at the desk: a raw recording, colour or grey, played back on the
# virtual card with --scene FILE.avi and recorded again gives its own frames'
# bytes again, as ffmpeg decodes both; each file's segments and legacy index
# hold and Windows' own AVIFile API reads it (finished_avi); a damaged file
# is refused with one line naming it and the problem. That no frame is
# missing under load is the recorder's part (record_avi_test.sh); the order
# of the steps played is avi_playback_test's.
#   replay_avi_test.sh BUILD_DIR win32|win64
set -uo pipefail
build=$1
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/sdk_test_lib.sh"
require replay_avi_test wine:wine ffprobe:ffmpeg ffmpeg:ffmpeg || exit 1
avi_run_folder "$build"
printf 'RIFF, but not one\n' >"$run/damaged.avi"
# frames_of FILE: the MD5 of each frame ffmpeg decodes, a line each.
frames_of() { ffmpeg -nostdin -v error -i "$run/$1" -f framemd5 - | awk -F, '!/^#/ { gsub(/ /, "", $6); print $6 }'; }
# within A B: B has frames, and each is byte for byte one of A's.
within() { [ -n "$(frames_of "$2")" ] && ! frames_of "$2" | grep -qvxFf <(frames_of "$1"); }

# NAME | ARGUMENTS | STATUS | CHECK: as in record_avi_test.sh; neither the
# program nor the check (ffmpeg asks stdin for commands) may read the rows.
while IFS='|' read -r name args status check; do
  name=$(echo $name) status=$(echo $status)
  # shellcheck disable=SC2086 # the arguments are split on purpose
  out=$(wine_in "$run" ./vorlane-cli.exe $args </dev/null)
  got=$?
  out=$(grep -Ev '^[0-9a-f]{4}:(err|fixme|warn):' <<<"$out")  # Wine's own diagnostics
  [ "$got" = "$status" ] || fail "$name" "exit status $got, wanted $status: $out"
  eval "$check" </dev/null || fail "$name" "$check: $out"
done <<'ROWS'
recorded | record once.avi --codec raw --seconds 2 --height 576 --scene noise --no-window | 0 | finished_avi once.avi
recorded again from it | record twice.avi --codec raw --seconds 1 --height 576 --scene once.avi --no-window | 0 | within once.avi twice.avi && finished_avi twice.avi
grey recorded | record grey.avi --codec raw --mode grey --seconds 2 --height 576 --scene noise --no-window | 0 | finished_avi grey.avi
grey recorded again | record grey2.avi --codec raw --mode grey --seconds 1 --height 576 --scene grey.avi --no-window | 0 | within grey.avi grey2.avi && finished_avi grey2.avi
damaged | preview --scene damaged.avi --seconds 1 --no-window | 2 | [ "$out" = "vorlane-cli: the virtual card refused the recording: damaged.avi: not an AVI file (no RIFF AVI header)" ]
ROWS
finish replay_avi_test
