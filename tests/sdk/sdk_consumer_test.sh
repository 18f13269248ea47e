#!/usr/bin/env bash
# The SDK as a host project meets it, installed and moved (an SDK is unpacked
# anywhere): its layout, tests/sdk/sdk_consumer built with find_package and
# run under Wine, the sample viewer built from the SDK folder, and a project
# of the other bitness refused.
#   sdk_consumer_test.sh BUILD_DIR TOOLCHAIN OTHER_BITNESS_TOOLCHAIN GENERATOR
set -uo pipefail
build=$1 toolchain=$2 other_toolchain=$3 generator=$4
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/sdk_test_lib.sh"
require "sdk consumer" wine:wine || exit 1

install_sdk "$build" "$work/staging"
mv "$work/staging" "$work/sdk"
sdk=$work/sdk

# Where the SDK's files lie. The virtual card beside Vorlane.dll would pass
# for the real driver: bin/ holds none.
for path in bin/{Vorlane.dll,vorlane-cli.exe,vorlane-viewer.exe}{,.debug} include/vorlane.h \
    samples/viewer/{CMakeLists.txt,viewer.c,panel_picture.c,panel_picture.h,viewer_controls.h} lib/{libVorlane.dll.a,Vorlane.lib,Vorlane.def} \
    lib/cmake/Vorlane/VorlaneConfig{,Version}.cmake virtual-card/{CG400D32.dll{,.debug},libCG400D32.dll.a,vcard_control.h}; do
  [ -e "$sdk/$path" ] || fail "layout $path" missing
done
[ ! -e "$sdk/bin/CG400D32.dll" ] || fail "layout bin/CG400D32.dll" "present, must not be"

configure() {  # folder toolchain source [cmake arguments...]
  local folder=$1 toolchain=$2 source=$3
  shift 3
  "$cmake" -G "$generator" -S "$source" -B "$work/$folder" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVorlane_DIR="$sdk/lib/cmake/Vorlane" "$@" >"$work/$folder.log" 2>&1
}

# build_project FOLDER SOURCE [cmake arguments...]: configured as above and
# built; its log shown if either fails.
build_project() {
  local folder=$1
  shift
  configure "$folder" "$toolchain" "$@" && "$cmake" --build "$work/$folder" >>"$work/$folder.log" 2>&1 && return
  cat "$work/$folder.log"
  return 1
}

if ! build_project consumer "$here/sdk_consumer" -DVORLANE_VIRTUAL_CARD=ON; then
  fail "consumer" "the consumer project did not configure with find_package(Vorlane) or build"
else
  for dll in Vorlane.dll CG400D32.dll; do
    [ -e "$work/consumer/$dll" ] || fail "runtime $dll" "not copied beside the program"
  done
  for program in consumer loader; do
    output=$(wine_in "$work/consumer" ./$program.exe)
    status=$?
    echo "$program: $output"
    [ $status = 0 ] && grep -q '^passed' <<<"$output" || fail "run $program" "$program.exe reported failures"
  done
fi

# The sample viewer, built from the SDK folder with its own CMake list, whose
# warnings (-Wall -Wextra) fail the build here. Each row: a folder, whether
# the virtual card's CG400D32.dll must be beside the program (1) or not (0),
# and the switch given (if any). Off by default: a build folder copied to a
# station must not carry it.
while read -r folder card switch; do
  if ! build_project "$folder" "$sdk/samples/viewer" -DCMAKE_C_FLAGS=-Werror ${switch:+"$switch"}; then
    fail "$folder" "samples/viewer did not build from the SDK folder"
    continue
  fi
  for file in vorlane-viewer.exe Vorlane.dll; do
    [ -e "$work/$folder/$file" ] || fail "$folder $file" "not in the sample's build folder"
  done
  [ -e "$work/$folder/CG400D32.dll" ] && present=1 || present=0
  [ "$present" = "$card" ] || fail "$folder CG400D32.dll" "present $present, wanted $card"
done <<'ROWS'
viewer      0
viewer-card 1 -DVORLANE_VIRTUAL_CARD=ON
ROWS

if configure other-bitness "$other_toolchain" "$here/sdk_consumer"; then
  fail "other bitness" "a project of the other bitness accepted this SDK"
elif ! grep -Eq 'VorlaneConfig.cmake, version: .*\((32|64)bit\)' "$work/other-bitness.log"; then
  cat "$work/other-bitness.log"
  fail "other bitness" "refused, but not for the SDK's bitness"
fi

finish "sdk consumer"
