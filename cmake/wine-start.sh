#!/usr/bin/env bash
# Runs a Windows test program under wine for CTest and test discovery
# (CMAKE_CROSSCOMPILING_EMULATOR, cmake/mingw-w64-x86_64.cmake):
#
#   bash cmake/wine-start.sh WINE PROGRAM [ARGUMENTS...]
#
# A run that shows wine's one known start-up failure, and only such a run, is
# started once more, and counted by a line in the file that
# VHDX_WINE_START_REPEATS names. The signature and the evidence for it are in
# tests/e2e/run_tool.cpp (IsWineStartFailure); the two must agree. Any other
# run's output and exit status are passed on unchanged, so every other
# failure fails at once. The output is held until the program ends, to tell
# whether there was any.
set -uo pipefail
wine=$1
shift
# Keep in step with kWineStartFailureStatus and kWineStartFailureSeconds.
readonly start_failure_status=1
readonly start_failure_microseconds=1000000

out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
microseconds() { echo "${EPOCHREALTIME/./}"; }
started=$(microseconds)
"$wine" "$@" >"$out" 2>"$err"
status=$?
elapsed=$(($(microseconds) - started))
if [[ $status -eq $start_failure_status && ! -s $out && ! -s $err && $elapsed -lt $start_failure_microseconds ]]; then
  echo "wine-start: wine's start-up failure (status $status, no output, $elapsed us); started once more: $*" >&2
  if [[ -n "${VHDX_WINE_START_REPEATS:-}" ]]; then
    echo "unit tests: ${*##*/}" >>"$VHDX_WINE_START_REPEATS"
  fi
  exec "$wine" "$@"
fi
cat "$out"
cat "$err" >&2
exit "$status"
