#!/usr/bin/env bash
# Cross-builds the Windows program and its tests with mingw-w64
# (scripts/windows-build.sh) and runs them under wine: the unit tests of the
# core and of the Win32 backend through CTest, and the end-to-end suite
# against vhdx-inspect.exe. Installs what is missing, with sudo when not root.
#
#   bash scripts/windows-test.sh [--if-installable] [build-folder]
#
# The end-to-end suites are native test programs, built in a folder of this
# script's own beside the Windows build (<build-folder>-native, by default
# build-windows-native), configured for the Boost that the Windows program is
# compiled from; the user's build/ is left alone. NATIVE_BUILD names another
# folder, whose configuration is then set to that Boost too.
#
# --if-installable: when the toolchain is missing and cannot be installed,
# say so and exit 0 instead of failing. A build or test failure always fails.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS=0

if_installable=()
if [[ "${1:-}" == "--if-installable" ]]; then
  if_installable=(--if-installable)
  shift
fi
build=${1:-build-windows}

# Wine keeps its Windows installation (about 700 MB) in the build folder and
# is quiet. Test discovery runs the test programs during the build, so this
# holds from here on.
mkdir -p "$build"
build=$(cd "$build" && pwd)
export WINEPREFIX="$build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no prompts for Mono and Gecko
export WINEARCH=win64

# Every run that one of wine's known failures of its own ended
# (tests/support/wine-failures.txt), started once more by the test runners
# (tests/support/wine_run.cpp, cmake/wine-start.sh), one line each; printed
# at the end, whether the tests pass or fail.
export VHDX_WINE_REPEATS="$build/wine-repeats.txt"
: >"$VHDX_WINE_REPEATS"
report_repeats() {
  local count
  count=$(wc -l <"$VHDX_WINE_REPEATS" 2>/dev/null || echo 0)
  echo "windows-test: runs that wine's own known failures ended, started once more: $count"
  if [[ $count -gt 0 ]]; then sed 's/^/  /' "$VHDX_WINE_REPEATS"; fi
}

stop_wine() {
  report_repeats
  if command -v wineserver >/dev/null; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  rm -rf "$WINEPREFIX"
}
trap stop_wine EXIT

# Installs the toolchain when missing; builds the two programs.
status=0
bash scripts/windows-build.sh "${if_installable[@]}" "$build" || status=$?
if [[ $status -eq 3 ]]; then
  echo "windows-test: SKIPPED: the Windows toolchain cannot be installed here" >&2
  exit 0
fi
[[ $status -eq 0 ]] || exit "$status"

# A persistent wine server, started before any wine program, with its
# standard streams detached: otherwise the first test program starts it and
# CTest waits for the pipes that the server inherited.
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot --init </dev/null >/dev/null 2>&1

cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
# One test program at a time (the whole run takes a few seconds). A failed
# test fails the run at once; only a run that one of wine's known failures of
# its own ended is started once more, by cmake/wine-start.sh, and counted.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j 1

# The end-to-end and hostile suites, the same test programs that run the
# Linux program, run against vhdx-inspect.exe (tests/e2e/run_tool.h; the JSON
# suite against vhdx-inspect-json.exe beside it, tests/json/json_run.h, and
# the report program's against vhdx-inspect-report.exe, tests/report/
# report_run.h; its browser tests are Linux only, label browser). They
# are native programs, built in this script's own folder (NATIVE_BUILD names
# another). Two at a time; a failed test fails the run at once, and only a
# run that one of wine's known failures of its own ended is started once
# more (tests/support/wine_run.cpp). Both programs are held to one expected
# text, so the native build is checked to link the same Boost as the Windows
# program is compiled from (cmake/BoostSourceVersion.cmake).
native=${NATIVE_BUILD:-$build-native}
boost_source=$(cat "$(bash scripts/fetch-boost-sources.sh)/source")
if [[ ! -f "$native/CMakeCache.txt" ]]; then
  cmake --preset release -B "$native" -DVHDX_BOOST_SOURCE="$boost_source"
else
  cmake "$native" -DVHDX_BOOST_SOURCE="$boost_source" >/dev/null
fi
cmake --build "$native" -j "$(nproc 2>/dev/null || echo 2)" --target e2e_tests hostile_tests json_tests json_thread_tests both_programs_tests both_programs_thread_tests report_tests
e2e_start=$SECONDS
VHDX_INSPECT_EXE="$build/app/vhdx-inspect.exe" \
  ctest --test-dir "$native" --output-on-failure --no-tests=error -L 'e2e|hostile' -LE valgrind \
        -j "$(nproc 2>/dev/null || echo 2)"
echo "windows-test: the end-to-end suites against vhdx-inspect.exe took $((SECONDS - e2e_start)) s"
echo "windows-test: passed in ${SECONDS} s"
