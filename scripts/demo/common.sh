# shellcheck shell=bash
# What the demo's steps share: where the results go, Windows paths for
# vorlane-cli, its reports, waiting for a condition, and the contact sheet's
# adjustments.
# shellcheck disable=SC2034 # read by the scripts that source this
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$root/out/demo

# The contact sheet's adjustments, one a line: name, chord, presses, A/D
# selector, step. The chords are scripts/chords.txt's, the first of each
# line; each is pressed 6 times, saturation's more, to show as much.
declare -A presses=([saturation-up]=8 [saturation-down]=12)
adjustments=$(grep -v '^#' "$root/scripts/chords.txt" | while read -r name selector step chord _; do
  echo "$name $chord ${presses[$name]:-6} $selector $step"
done)

# need_sdk_files WHO SDK FILE...: each FILE is in the SDK folder, or the run
# ends with a line naming the first one missing.
need_sdk_files() {
  local who=$1 sdk=$2 file
  shift 2
  for file in "$@"; do
    [ -f "$sdk/$file" ] || { echo "$who: $sdk/$file is missing; run ./run build first" >&2; exit 1; }
  done
}

to_windows() { winepath -w "$1" 2>/dev/null; }

# poll SECONDS COMMAND...
# shellcheck source=scripts/poll.sh
. "$root/scripts/poll.sh"

# report_value FILE KEY, as the SDK tests read the reports.
# shellcheck source=tests/support/cli_report.sh
. "$root/tests/support/cli_report.sh"
