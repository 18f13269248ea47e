# shellcheck shell=bash
# What the SDK tests share, sourced by each: a scratch folder removed at the
# end, a count of failures, the SDK installed, programs run under Wine, and
# from scripts/ a condition polled with a deadline (poll) and the check for
# the programs a test needs (require).
# shellcheck disable=SC2034 # read by the scripts that source this
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/require.sh
. "$here/../../scripts/require.sh"
# shellcheck source=scripts/poll.sh
. "$here/../../scripts/poll.sh"
cmake=${CMAKE_COMMAND:-cmake}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# install_sdk BUILD_DIR PREFIX: the build's SDK, or the test ends here.
install_sdk() {
  "$cmake" --install "$1" --prefix "$2" >"$work/install.log" 2>&1 && return
  cat "$work/install.log"
  echo "FAIL install: cmake --install failed"
  exit 1
}

# wine_in FOLDER PROGRAM ARGUMENTS...: its output without carriage returns;
# its exit status. A message box nobody dismisses would hang the run: give
# up after a while. Now and then Wine's launcher fails to start a program at
# all (its fallback, ShellExecuteEx, then reports failure, whatever the
# program would have done); only then is the start tried again.
# The output goes through a file, not a pipe: a Wine process the program
# starts and that outlives it (the desktop's explorer.exe) inherits its
# output, and would hold a pipe open, so that its reader never ends.
wine_in() {
  local folder=$1 output status attempt
  shift
  for attempt in 1 2 3; do
    status=0
    (cd "$folder" && timeout 120 wine "$@" >"$work/wine_in.out" 2>&1 </dev/null) || status=$?
    output=$(tr -d '\r' <"$work/wine_in.out")
    [ "$status" = 1 ] && grep -q '^ShellExecuteEx ' <<<"$output" || break
    echo "note: Wine could not start $1 (try $attempt): $output" >&2
  done
  printf '%s\n' "$output"
  return "$status"
}

# finish NAME: the count of failures, and the verdict as the exit status.
finish() {
  echo "$1: $failures failed"
  [ $failures = 0 ]
}

# avi_run_folder BUILD_DIR: the SDK installed, its programs, the virtual
# card and the test program avifile_read in $run, and 12 pictures of noise
# footage in $run/noise; $python set.
avi_run_folder() {
  install_sdk "$1" "$work/sdk"
  run=$work/run
  mkdir "$run"
  cp "$work"/sdk/bin/* "$work/sdk/virtual-card/CG400D32.dll" "$1/tests-bin/avifile_read.exe" "$run/"
  python=${VORLANE_PYTHON3:-python3}
  "$python" "$here/../readers/recording_check.py" make "$run/noise" 12 432 576 || fail setup "no footage"
}

# Ends the recording started in the background as $recording (by
# `exec timeout ... wine`) from outside, as TerminateProcess does. Wine 8's
# taskkill finds no 64-bit program: then by the process id.
end_recording() { wine_in "$run" taskkill /f /im vorlane-cli.exe >/dev/null; kill "$recording" 2>/dev/null; wait; }

# check_avi FILE.avi ARGUMENTS...: tests/readers/record_avi_check.py holds for
# $run/FILE.avi against the noise footage, or the row $name fails. The row's
# variables ($env) reach the check: the segment size the recorder was given.
# shellcheck disable=SC2086
check_avi() { (cd "$run" && env ${env:-} "$python" "$here/../readers/record_avi_check.py" noise "$@") || fail "$name" "see above"; }

# riff_holds FILE.avi [cut]: $run/FILE.avi's RIFF segments keep to the
# segment size and its legacy index points at every frame of the first
# (tests/support/avi_riff.py, VORLANE_AVI_SEGMENT_BYTES as the recorder read it).
riff_holds() { (cd "$run" && "$python" "$here/../support/avi_riff.py" check "$@"); }

# avifile_reads FILE.avi: Windows' own AVIFile API (tests/readers/avifile_read.c)
# reads every step of the finished one-segment file $run/FILE.avi with the
# bytes the file holds there. It goes by the legacy index, and is lenient:
# riff_holds checks that index.
avifile_reads() {
  local got
  got=$(wine_in "$run" ./avifile_read.exe "$1") || { echo "$got"; return 1; }
  got=$(grep -Ev '^[0-9a-f]{4}:(err|fixme|warn):' <<<"$got")  # Wine's own diagnostics
  if diff <("$python" "$here/../support/avi_riff.py" steps "$run/$1") - <<<"$got" >"$work/avifile.diff"; then
    got=${got%%$'\n'*}
    echo "$1: AVIFile read all its ${got#steps } steps, each with the file's bytes"
    return
  fi
  echo "AVIFile reads $1 otherwise (< the file's steps, > AVIFile's):"
  head -8 "$work/avifile.diff"
  return 1
}

# finished_avi FILE.avi: both.
finished_avi() { riff_holds "$1" && avifile_reads "$1"; }
