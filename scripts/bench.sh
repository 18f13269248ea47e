#!/usr/bin/env bash
# Runs every benchmark program of both architectures and prints their
# figures as one table, the architectures side by side. Runs inside
# with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
results=$(mktemp)
trap 'rm -f "$results" "$results.out"' EXIT
for arch in win32 win64; do
  for program in "${VORLANE_BUILD_DIR:-$root/build}"/$arch/bench-bin/*_bench.exe; do
    [ -e "$program" ] || continue
    echo "running $(basename "$program") ($arch)" >&2
    # Through a file: a Wine process that outlives the program (the desktop's
    # explorer.exe) would hold a pipe open.
    (cd "$(dirname "$program")" && wine "$program" "$@" >"$results.out" 2>/dev/null </dev/null) &&
      tr -d '\r' <"$results.out" | grep '^BENCH ' | sed "s/^BENCH /$arch | /" >> "$results" ||
      echo "$arch | $(basename "$program") failed" >> "$results"
  done
done
# Extra figures measured on the Linux side (file copy, ImageMagick) come from
# scripts named bench-*.sh beside this one.
for extra in "$root"/scripts/bench-*.sh; do
  [ -e "$extra" ] && "$extra" >> "$results"
done
# One row a benchmark, its figures for each architecture side by side, in the
# order the programs printed them. A label starting with "..." goes on from
# the row above it: it is keyed under that row's label, so that the "..."
# rows of two scenes stay apart; a label given twice is a failure, never a
# figure silently replaced.
echo
awk -F' *[|] *' '
  NF < 3 { failed[++nfailed] = $0; next }
  {
    if ($2 !~ /^[.][.][.]/) above[$1] = $2
    key = $2 ~ /^[.][.][.]/ ? above[$1] SUBSEP $2 : $2
    if ((key, $1) in value) failed[++nfailed] = $1 ": a second row labelled \"" $2 "\" (" $3 ")"
    if (!(key in unit)) { order[++n] = key; label[key] = $2; unit[key] = $4; note[key] = $5 }
    value[key, $1] = $3
    if (!($1 in seen)) { seen[$1] = 1; archs[++narchs] = $1 }
    if (length($2) > width) width = length($2)
  }
  END {
    line = sprintf("%-" width "s | %-8s", "benchmark", "unit")
    for (a = 1; a <= narchs; a++) line = line sprintf(" | %10s", archs[a])
    print line " | note"
    rule = ""
    for (i = 0; i < length(line) + 7; i++) rule = rule "-"
    print rule
    for (r = 1; r <= n; r++) {
      key = order[r]
      line = sprintf("%-" width "s | %-8s", label[key], unit[key])
      for (a = 1; a <= narchs; a++) line = line sprintf(" | %10s", ((key, archs[a]) in value) ? value[key, archs[a]] : "-")
      print line " | " note[key]
    }
    for (f = 1; f <= nfailed; f++) print "FAILED: " failed[f]
  }' "$results"
