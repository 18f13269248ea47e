#!/usr/bin/env bash
# A host built with Microsoft's tools, as far as Debian has them: clang for
# the MSVC target (its own driver and its cl driver), lld-link and
# llvm-readobj. Installs this build's SDK, checks that libVorlane.dll.a's
# member names carry no build path, builds tests/sdk/msvc_host/host.c against
# the SDK's vorlane.h and Vorlane.lib (with /safeseh on x86), checks that
# every name the host imports from Vorlane.dll is one of its exports (Wine
# would stub a missing one instead of refusing the program), and runs the
# host under Wine on the virtual card. Last, a clang-cl project must get
# Vorlane.lib from the CMake package.
#   msvc_host_test.sh BUILD_DIR win32|win64
set -uo pipefail
build=$1 arch=$2
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/sdk_test_lib.sh"
require "msvc host" clang:clang clang-cl-*:clang-tools lld-link:lld llvm-ar:llvm llvm-dlltool:llvm \
  llvm-readobj:llvm wine:wine || exit 1

install_sdk "$build" "$work/sdk"
sdk=$work/sdk
[ -f "$sdk/lib/Vorlane.lib" ] || fail "layout lib/Vorlane.lib" missing
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

# Each row: a compiler driver; the case below says how it compiles host.c.
# In cl mode a path that starts with / would read as an option: hence --.
while read -r driver; do
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
  imported=$(llvm-readobj --coff-imports "$exe" |
    awk '/^Import \{/{dll=""} /^ *Name: /{dll=$2} /^ *Symbol: /{if (dll=="Vorlane.dll") print $2}')
  [ "$(wc -w <<<"$imported")" = 5 ] || fail "$driver imports" "imports [$imported] from Vorlane.dll, not the five"
  for name in $imported; do
    grep -qx "$name" <<<"$exports" || fail "$driver imports" "$name is not an export of Vorlane.dll"
  done
  cp "$sdk/bin/Vorlane.dll" "$sdk/virtual-card/CG400D32.dll" "$work/run-$driver/"
  output=$(wine_in "$work/run-$driver" ./host.exe)
  status=$?
  echo "$driver:"
  echo "$output"
  [ $status = 0 ] && grep -q '^passed' <<<"$output" || fail "$driver run" "the host reported failures"
done <<'ROWS'
clang
clang-cl
ROWS

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
