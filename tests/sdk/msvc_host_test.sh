#!/usr/bin/env bash
# Hosts built against this build's SDK with Microsoft's tools, as far as
# Debian has them (clang for the MSVC target, lld-link, llvm-readobj): a
# plain host and the sample viewer, run under Wine on the virtual card; and
# a clang-cl project given Vorlane.lib by the CMake package.
#   msvc_host_test.sh BUILD_DIR win32|win64
set -uo pipefail
build=$1 arch=$2
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/sdk_test_lib.sh"
require "msvc host" clang:clang clang-cl-*:clang-tools lld-link:lld llvm-ar:llvm llvm-dlltool:llvm llvm-nm:llvm \
  llvm-readobj:llvm wine:wine || exit 1

install_sdk "$build" "$work/sdk"
sdk=$work/sdk
# The import library's member names carry no build path.
while read -r member; do
  case $member in */* | *"$build"* | *_work_* | *_tmp_*) fail "libVorlane.dll.a" "member $member carries a path" ;; esac
done < <(llvm-ar t "$sdk/lib/libVorlane.dll.a")

# Debian has no Windows SDK: MinGW-w64's headers stand in, which in MSVC mode
# need the GNU C attributes and, on x86, _X86_. x86 names carry their
# argument bytes; -k imports them without.
if [ "$arch" = win32 ]; then
  triple=i686-pc-windows-msvc safeseh=/safeseh dlltool_args=(-m i386 -k) x86=(-D_X86_) oldest=5.01
  mingw_lib=/usr/i686-w64-mingw32/lib
else
  triple=x86_64-pc-windows-msvc safeseh= dlltool_args=(-m i386:x86-64) x86=() oldest=5.02
  mingw_lib=/usr/x86_64-w64-mingw32/lib
fi
exports=$(llvm-readobj --coff-exports "$sdk/bin/Vorlane.dll" | sed -n 's/^ *Name: \(.\+\)$/\1/p')

# check_vorlane_imports NAME EXE: the five, each an export of Vorlane.dll
# (Wine would stub a missing one instead of refusing the program).
check_vorlane_imports() {
  local imported name
  imported=$(llvm-readobj --coff-imports "$2" |
    awk '/^Import \{/{dll=""} /^ *Name: /{dll=$2} /^ *Symbol: /{if (dll=="Vorlane.dll") print $2}')
  [ "$(wc -w <<<"$imported")" = 5 ] || fail "$1 imports" "imports [$imported] from Vorlane.dll, not the five"
  for name in $imported; do
    grep -qx "$name" <<<"$exports" || fail "$1 imports" "$name is not an export of Vorlane.dll"
  done
}

# build_host NAME DRIVER ENTRY SUBSYSTEM SOURCE...: the sources compiled by
# the driver (clang or clang-cl) and linked by lld-link with Vorlane.lib
# into NAME/NAME.exe, beside Vorlane.dll and the virtual card; its imports
# checked. No C runtime: each host has its own entry. The Windows import
# libraries hold the calls the host makes, each given to the DLL whose
# MinGW import library names it. In cl mode a path that starts with / would
# read as an option: hence --.
build_host() {
  local name=$1 driver=$2 entry=$3 subsystem=$4 folder=$work/$1 source object objects=() libs=() dll wanted
  shift 4
  mkdir -p "$folder"
  case $driver in
    clang) compile=(clang --target=$triple -ffreestanding -fno-stack-protector -O1 -Wall -Werror
                    -isystem /usr/share/mingw-w64/include) ;;
    clang-cl) compile=(clang --driver-mode=cl --target=$triple /nologo /GS- /Zl /O1 /W3 /WX
                       /imsvc /usr/share/mingw-w64/include) ;;
  esac
  compile+=(-fgnuc-version=4.2.1 "${x86[@]}" -I "$sdk/include")
  for source in "$@"; do
    object=$folder/$(basename "$source" .c).obj
    case $driver in
      clang) "${compile[@]}" -c "$source" -o "$object" ;;
      clang-cl) "${compile[@]}" /c "/Fo$object" -- "$source" ;;
    esac || { fail "$name compile" "$(basename "$source") did not compile with $driver"; return 1; }
    objects+=("$object")
  done
  wanted=$(llvm-nm --undefined-only "${objects[@]}" | awk '/__imp_/{print $NF}' | sort -u)
  for dll in user32 gdi32 comdlg32 kernel32; do
    {
      printf 'LIBRARY %s.dll\nEXPORTS\n' "$dll"
      llvm-nm -g "$mingw_lib/lib$dll.a" 2>/dev/null | awk '/__imp_/{print $NF}' | sort -u | comm -12 - <(echo "$wanted") |
        sed 's/^__imp_//' | if [ "$arch" = win32 ]; then sed 's/^_//'; else cat; fi
    } >"$folder/$dll.def"
    llvm-dlltool "${dlltool_args[@]}" -d "$folder/$dll.def" -l "$folder/$dll.lib" ||
      { fail "$name $dll.lib" "llvm-dlltool failed"; return 1; }
    libs+=("$folder/$dll.lib")
  done
  # shellcheck disable=SC2086
  lld-link /nologo /entry:$entry /subsystem:$subsystem /nodefaultlib $safeseh "/out:$folder/$name.exe" \
    "${objects[@]}" "$sdk/lib/Vorlane.lib" "${libs[@]}" || { fail "$name link" "lld-link refused it"; return 1; }
  check_vorlane_imports "$name" "$folder/$name.exe"
  cp "$sdk/bin/Vorlane.dll" "$sdk/virtual-card/CG400D32.dll" "$folder/"
}

# A plain host, by each driver.
for driver in clang clang-cl; do
  build_host "host-$driver" $driver HostMain console "$here/msvc_host/host.c" || continue
  output=$(wine_in "$work/host-$driver" "./host-$driver.exe")
  status=$?
  printf '%s:\n%s\n' "$driver" "$output"
  [ $status = 0 ] && grep -q '^passed' <<<"$output" || fail "$driver run" "the host reported failures"
done

# The sample viewer from the SDK folder, compiled as cl would for the oldest
# Windows; viewer_start.c does the C runtime's start-up. It must start and
# show its window under Wine.
if build_host viewer clang-cl ViewerStart "windows,$oldest" "$sdk/samples/viewer/"*.c \
    "$here/msvc_host/viewer_start.c"; then
  (cd "$work/viewer" && exec timeout 120 wine ./viewer.exe --start --height 96) >/dev/null 2>&1 &
  running=$!
  if poll 60 xdotool search --name '^Vorlane viewer$' >/dev/null 2>&1; then
    echo "viewer: built with clang-cl and lld-link, its window shown"
  else
    fail "viewer run" "no viewer window within a minute"
  fi
  kill "$running" 2>/dev/null
  wait "$running" 2>/dev/null
fi

# The CMake package, as a clang-cl project finds it, gives Vorlane.lib. No
# C runtime here to link CMake's test programs with, so they are skipped.
clang_cl=$(find_program clang-cl-*)
if ! "$cmake" -G Ninja -S "$here/msvc_host" -B "$work/package" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER="$clang_cl" -DCMAKE_C_COMPILER_TARGET=$triple -DCMAKE_LINKER=lld-link \
    -DCMAKE_C_COMPILER_WORKS=1 -DVorlane_DIR="$sdk/lib/cmake/Vorlane" >"$work/package.log" 2>&1; then
  cat "$work/package.log"
  fail "package" "a clang-cl project did not configure with find_package(Vorlane)"
elif ! grep -q "Vorlane import library: $sdk/lib/Vorlane.lib\$" "$work/package.log"; then
  grep "Vorlane import library" "$work/package.log"
  fail "package" "a clang-cl project is not given Vorlane.lib"
fi

finish "msvc host"
