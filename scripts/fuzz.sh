#!/usr/bin/env bash
# Builds the fuzz targets natively (clang, libFuzzer, address and undefined
# behaviour sanitizers) into BUILD/fuzz, writes their seeds, and runs each
# for SECONDS on a corpus kept in BUILD/fuzz/corpus. Prints a line per
# target: executions, executions a second, inputs that reached new code, and
# findings, whose inputs are left in BUILD/fuzz/findings/TARGET/.
# Exit status 1 when any target found something.
#   scripts/fuzz.sh BUILD SECONDS
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1/fuzz
seconds=$2
targets=(grey_file picture_file pe_image cli_options avi_file)

cmake -G Ninja -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build "$build" >"$build/build.log" 2>&1; then
  cat "$build/build.log" >&2
  exit 1
fi
"$root/fuzz/make_seeds.py" "$build/seeds" "$build/pe_seeds"
mkdir -p "$build/seeds/avi_file"
"$build/avi_seeds" "$build/seeds/avi_file"

# A figure of libFuzzer's final statistics in a log.
figure() { sed -n "s/^stat::$2: *//p" "$1" | tail -1; }

status=0
printf '%-14s %12s %10s %12s %9s\n' target executions 'per second' 'new inputs' findings
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  log=$build/logs/$target.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  rm -f "$findings"/*
  # One allocation of more than a few times the largest seed is a finding:
  # a count taken from the input and allocated, which the memory limit of
  # the whole process lets pass while it stays under it.
  largest=$(find "$build/seeds/$target" -type f -printf '%s\n' | sort -n | tail -1)
  malloc_mb=$(( (4 * ${largest:-0} >> 20) + 1 ))
  # The first folder takes what is new; the seeds are only read.
  run_status=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
    "$build/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=1024 \
      -malloc_limit_mb="$malloc_mb" -artifact_prefix="$findings/" "$corpus" "$build/seeds/$target" >"$log" 2>&1 ||
      run_status=$?
  found=$(find "$findings" -type f | wc -l)
  if [ "$run_status" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi  # ended by something left no input
  printf '%-14s %12s %10s %12s %9s\n' "$target" "$(figure "$log" number_of_executed_units)" \
    "$(figure "$log" average_exec_per_sec)" "$(figure "$log" new_units_added)" "$found"
  if [ "$found" -gt 0 ]; then
    status=1
    echo "  $target: see $log and $findings" >&2
    grep -m3 -E 'ERROR|runtime error|property broken' "$log" | sed 's/^/  /' >&2 || true
  fi
done
exit $status
