#!/usr/bin/env bash
# record onto a small disk that fills up, a tmpfs (mounting one needs root):
# the recording ends while the disk still has room to close the file, which
# ffprobe, ffmpeg and Windows' AVIFile then read whole with no repair step;
# and where the free space is misreported, the write that fails leaves a
# file that plays to its last whole frame, which vorlane-cli mend finishes
# where it lies (the index takes the room of the chunk cut short), for
# AVIFile to read. Where no tmpfs can be mounted the test says so and is
# skipped (status 77), never passed.
#   record_small_disk_test.sh BUILD_DIR win32|win64
set -uo pipefail
build=$1
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/sdk_test_lib.sh"
require record_small_disk_test wine:wine ffprobe:ffmpeg ffmpeg:ffmpeg || exit 1
small=$work/small
if ! mkdir "$small" || ! mount -t tmpfs -o size=16m tmpfs "$small" 2>/dev/null; then
  echo "record_small_disk_test: skipped: no small disk could be mounted here (a tmpfs needs root)"
  exit 77
fi
trap 'umount -l "$small"; rm -rf "$work"' EXIT
avi_run_folder "$build"
target="$(winepath -w "$small")\\f.avi"

# fill NAME ENDED [VARIABLE=VALUE]: raw frames recorded onto the emptied small disk
# until the recording ends, with exit status 2 and FILE.txt's ENDED line; the
# file and its figures then copied out as NAME.avi and NAME.txt.
fill() {
  name=$1 ended=$2
  rm -f "$small"/*
  (cd "$run" && env VORLANE_TEST_ROW=1 "${@:3}" timeout 120 wine ./vorlane-cli.exe record "$target" --codec raw \
     --seconds 30 --height 576 --scene noise --no-window >"$run/fill.out" 2>&1 </dev/null)
  [ $? = 2 ] || fail "$name" "exit status other than 2: $(cat "$run/fill.out")"
  grep -q "^ended: $ended" "$small/f.txt" || fail "$name" "f.txt: $(cat "$small/f.txt")"
  cp "$small/f.avi" "$run/$name.avi" && cp "$small/f.txt" "$run/$name.txt"
}
fill nearly-full "writing stopped: the disk was nearly full; f.avi was closed whole"
check_avi nearly-full.avi raw; finished_avi nearly-full.avi || fail "$name" "see above"
fill misreported "writing stopped: the disk is full (f.avi could not be written)" VORLANE_FREE_BYTES=1000000000000
check_avi misreported.avi raw 1 cut
wine_in "$run" ./vorlane-cli.exe mend "$target" && cp "$small/f.avi" "$run/mended.avi" && finished_avi mended.avi ||
  fail "$name, mended where it lies" "see above"
finish record_small_disk_test
