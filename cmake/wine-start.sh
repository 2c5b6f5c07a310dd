#!/usr/bin/env bash
# Runs a Windows test program under wine for CTest and test discovery
# (CMAKE_CROSSCOMPILING_EMULATOR, cmake/mingw-w64-x86_64.cmake):
#
#   bash cmake/wine-start.sh WINE PROGRAM [ARGUMENTS...]
#
# A run that shows one of wine's known failures of its own, and only such a
# run, is started once more, and counted by a line in the file that
# VHDX_WINE_REPEATS names. The signatures and the evidence for them are in
# tests/support/wine-failures.txt, which the end-to-end suites' runner
# (tests/support/wine_run.cpp) reads too. Any other run's output and exit
# status are passed on unchanged, so every other failure fails at once. The
# output is held until the program ends, to tell what it was.
set -uo pipefail
wine=$1
shift

# name=value lines; the value is the rest of the line, as it is.
signatures="$(dirname "${BASH_SOURCE[0]}")/../tests/support/wine-failures.txt"
signature() {
  local value
  value=$(sed -n "s/^$1=//p" "$signatures")
  if [[ -z $value ]]; then
    echo "wine-start: no $1 in $signatures" >&2
    exit 1
  fi
  printf '%s' "$value"
}
start_failure_status=$(signature start_failure_status) || exit 1
start_failure_microseconds=$(signature start_failure_microseconds) || exit 1
exit_failure_status=$(signature exit_failure_status) || exit 1
exit_failure_text=$(signature exit_failure_text) || exit 1
readonly start_failure_status start_failure_microseconds exit_failure_status exit_failure_text

out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
microseconds() { echo "${EPOCHREALTIME/./}"; }
started=$(microseconds)
"$wine" "$@" >"$out" 2>"$err"
status=$?
elapsed=$(($(microseconds) - started))
wine_failure=""
if [[ $status -eq $start_failure_status && ! -s $out && ! -s $err && $elapsed -lt $start_failure_microseconds ]]; then
  kind=start-up
  wine_failure="start-up failure (status $status, no output, $elapsed us)"
elif [[ $status -eq $exit_failure_status && "$(cat "$err"; echo x)" == "$exit_failure_text"$'\n'x ]]; then
  kind="at exit"
  wine_failure="failure at exit (status $status, ld.so's assertion)"
fi
if [[ -n $wine_failure ]]; then
  echo "wine-start: wine's $wine_failure; started once more: $*" >&2
  if [[ -n "${VHDX_WINE_REPEATS:-}" ]]; then
    echo "$kind: unit tests: ${*##*/}" >>"$VHDX_WINE_REPEATS"
  fi
  exec "$wine" "$@"
fi
cat "$out"
cat "$err" >&2
exit "$status"
