#!/usr/bin/env bash
# Runs every benchmark program of both architectures and prints their
# figures as one table. Runs inside with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
results=$(mktemp)
for arch in win32 win64; do
  for program in "${VORLANE_BUILD_DIR:-$root/build}"/$arch/bench-bin/*_bench.exe; do
    [ -e "$program" ] || continue
    echo "running $(basename "$program") ($arch)" >&2
    (cd "$(dirname "$program")" && wine "$program" "$@") | tr -d '\r' | grep '^BENCH ' |
      sed "s/^BENCH /$arch | /" >> "$results" || echo "$arch | $(basename "$program") failed" >> "$results"
  done
done
# Extra figures measured on the Linux side (file copy, ImageMagick) come from
# scripts named bench-*.sh beside this one.
for extra in "$root"/scripts/bench-*.sh; do
  [ -e "$extra" ] && "$extra" >> "$results"
done
echo
printf '%-6s | %-48s | %12s | %-8s | %s\n' arch benchmark value unit note
printf -- '-%.0s' $(seq 110); echo
awk -F' \\| ' '{printf "%-6s | %-48s | %12s | %-8s | %s\n", $1, $2, $3, $4, $5}' "$results"
rm -f "$results"
