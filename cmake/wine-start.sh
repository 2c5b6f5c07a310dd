#!/usr/bin/env bash
# Runs a Windows test program under wine for CTest and test discovery
# (CMAKE_CROSSCOMPILING_EMULATOR, cmake/mingw-w64-x86_64.cmake):
#
#   bash cmake/wine-start.sh WINE PROGRAM [ARGUMENTS...]
#
# A run that shows one of wine's known failures of its own, and only such a
# run, is started once more, and counted by a line in the file that
# VHDX_WINE_REPEATS names. The signatures and the evidence for them are in
# tests/e2e/run_tool.cpp (IsWineStartFailure, IsWineExitFailure); the two
# files must agree. Any other run's output and exit status are passed on
# unchanged, so every other failure fails at once. The output is held until
# the program ends, to tell what it was.
set -uo pipefail
wine=$1
shift
# Keep in step with run_tool.cpp's kWineStartFailure* and kWineExitFailure*.
readonly start_failure_status=1
readonly start_failure_microseconds=1000000
readonly exit_failure_status=127
readonly exit_failure_text="Inconsistency detected by ld.so: dl-fini.c: 87: _dl_fini: Assertion \`ns != LM_ID_BASE || i == nloaded' failed!"

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
