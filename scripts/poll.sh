# shellcheck shell=bash
# Waiting for a condition, never for a fixed time. Sourced by the demo's
# steps and the shell tests.

# poll SECONDS COMMAND...: until COMMAND succeeds, tried ten times a second
# for SECONDS at most; fails if it never did.
poll() {
  local _ tenths=$(($1 * 10))
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
