# shellcheck shell=bash
# vorlane-cli's --report file, "key=value" lines (CR LF from Windows), for
# the scripts that read it.

# report_value FILE KEY: the last value FILE holds for KEY, or nothing.
report_value() { sed -n "s/^$2=//p" "$1" 2>/dev/null | tr -d '\r' | tail -n 1; }
