# shellcheck shell=bash
# What a step needs from the machine, checked before the step starts, so a
# missing program fails at once with its Debian package named instead of
# some later error, or a step quietly left out. scripts/setup.sh installs all
# of these. Sourced by the scripts and the shell tests.

# require WHO PROGRAM:PACKAGE...: one line for each program missing from the
# PATH; fails when any is. A name ending in -* also takes the versioned
# programs Debian installs (clang-cl-14 for clang-cl-*).
require() {
  local who=$1 pair program package missing=0
  shift
  for pair in "$@"; do
    program=${pair%%:*} package=${pair#*:}
    [ -n "$(find_program "$program")" ] && continue
    echo "$who: needs ${program%-\*}, which the Debian package $package provides (scripts/setup.sh installs it)" >&2
    missing=1
  done
  return $missing
}

# find_program NAME: its path, or nothing. NAME-* takes NAME itself first,
# then the newest versioned NAME-N on the PATH.
find_program() {
  local name=${1%-\*} newest
  command -v "$name" && return 0
  [ "$name" != "$1" ] || return 0
  newest=$(compgen -c "$name-" | grep -E "^$name-[0-9]+\$" | sort -V | tail -n 1)
  [ -z "$newest" ] || command -v "$newest"
  return 0
}
