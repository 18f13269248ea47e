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

# x86 names carry their argument bytes; -k imports them without.
if [ "$arch" = win32 ]; then
  triple=i686-pc-windows-msvc safeseh=/safeseh dlltool_args=(-m i386 -k)
  cp "$here/msvc_host/kernel32.def" "$work/kernel32.def"
else
  triple=x86_64-pc-windows-msvc safeseh= dlltool_args=(-m i386:x86-64)
  sed 's/@[0-9]*$//' "$here/msvc_host/kernel32.def" >"$work/kernel32.def"
fi
llvm-dlltool "${dlltool_args[@]}" -d "$work/kernel32.def" -l "$work/kernel32.lib" ||
  fail "kernel32.lib" "llvm-dlltool failed"

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

# Each compiler driver as it compiles host.c. In cl mode a path that starts
# with / would read as an option: hence --.
for driver in clang clang-cl; do
  obj=$work/host-$driver.obj exe=$work/run-$driver/host.exe
  mkdir -p "$work/run-$driver"
  case $driver in
    clang) compile=(clang --target=$triple -ffreestanding -fno-stack-protector -O1 -Wall -Werror
                    -I "$sdk/include" -c "$here/msvc_host/host.c" -o "$obj") ;;
    clang-cl) compile=(clang --driver-mode=cl --target=$triple /nologo /GS- /Zl /O1 /W3 /WX
                       /I "$sdk/include" /c "/Fo$obj" -- "$here/msvc_host/host.c") ;;
  esac
  if ! "${compile[@]}"; then
    fail "$driver compile" "host.c did not compile"
    continue
  fi
  # shellcheck disable=SC2086
  if ! lld-link /nologo /entry:HostMain /subsystem:console /nodefaultlib $safeseh "/out:$exe" \
      "$obj" "$sdk/lib/Vorlane.lib" "$work/kernel32.lib"; then
    fail "$driver link" "lld-link refused the host"
    continue
  fi
  check_vorlane_imports "$driver" "$exe"
  cp "$sdk/bin/Vorlane.dll" "$sdk/virtual-card/CG400D32.dll" "$work/run-$driver/"
  output=$(wine_in "$work/run-$driver" ./host.exe)
  status=$?
  echo "$driver:"
  echo "$output"
  [ $status = 0 ] && grep -q '^passed' <<<"$output" || fail "$driver run" "the host reported failures"
done

# The sample viewer from the SDK folder, compiled by clang-cl as cl would and
# linked by lld-link with Vorlane.lib for the oldest Windows. Debian has no
# Windows SDK: MinGW-w64's headers stand in, which in MSVC mode need the GNU
# C attributes and, on x86, _X86_. No C runtime either: viewer_start.c does
# its start-up. The Windows import libraries hold the calls the viewer makes,
# each given to the DLL whose MinGW import library names it. Then it must
# start and show its window under Wine.
viewer=$work/viewer
mkdir -p "$viewer/run"
if [ "$arch" = win32 ]; then
  x86=(/D_X86_) subsystem=5.01 mingw_lib=/usr/i686-w64-mingw32/lib
else
  x86=() subsystem=5.02 mingw_lib=/usr/x86_64-w64-mingw32/lib
fi
cl=(clang --driver-mode=cl --target=$triple /nologo /GS- /Zl /O1 /W3 /WX -fgnuc-version=4.2.1 "${x86[@]}"
    /imsvc /usr/share/mingw-w64/include /I "$sdk/include")
if ! "${cl[@]}" /c "/Fo$viewer/viewer.obj" -- "$sdk/samples/viewer/viewer.c" ||
   ! "${cl[@]}" /c "/Fo$viewer/start.obj" -- "$here/msvc_host/viewer_start.c"; then
  fail "viewer compile" "viewer.c did not compile with clang-cl"
else
  wanted=$(llvm-nm --undefined-only "$viewer/viewer.obj" "$viewer/start.obj" | awk '/__imp_/{print $NF}' | sort -u)
  windows_libs=()
  for dll in user32 gdi32 comdlg32 kernel32; do
    {
      echo "LIBRARY $dll.dll"
      echo EXPORTS
      llvm-nm -g "$mingw_lib/lib$dll.a" 2>/dev/null | awk '/__imp_/{print $NF}' | sort -u | comm -12 - <(echo "$wanted") |
        sed 's/^__imp_//' | if [ "$arch" = win32 ]; then sed 's/^_//'; else cat; fi
    } >"$viewer/$dll.def"
    llvm-dlltool "${dlltool_args[@]}" -d "$viewer/$dll.def" -l "$viewer/$dll.lib" || fail "$dll.lib" "llvm-dlltool failed"
    windows_libs+=("$viewer/$dll.lib")
  done
  # shellcheck disable=SC2086
  if ! lld-link /nologo /entry:ViewerStart /subsystem:windows,$subsystem /nodefaultlib $safeseh \
      "/out:$viewer/run/vorlane-viewer.exe" "$viewer/viewer.obj" "$viewer/start.obj" "$sdk/lib/Vorlane.lib" \
      "${windows_libs[@]}"; then
    fail "viewer link" "lld-link refused the viewer"
  else
    check_vorlane_imports viewer "$viewer/run/vorlane-viewer.exe"
    cp "$sdk/bin/Vorlane.dll" "$sdk/virtual-card/CG400D32.dll" "$viewer/run/"
    (cd "$viewer/run" && exec timeout 120 wine ./vorlane-viewer.exe --start --height 96) >/dev/null 2>&1 &
    running=$!
    if poll 60 xdotool search --name '^Vorlane viewer$' >/dev/null 2>&1; then
      echo "viewer: built with clang-cl and lld-link, its window shown"
    else
      fail "viewer run" "no viewer window within a minute"
    fi
    kill "$running" 2>/dev/null
    wait "$running" 2>/dev/null
  fi
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
