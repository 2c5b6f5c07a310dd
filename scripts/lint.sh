#!/usr/bin/env bash
# The two checks of `make lint`, both run even when the first fails:
#   format  every C++ file of the tree (src/ programs/ include/ tests/ bench/
#           fuzz/ examples/) against .clang-format (clang-format-14)
#   tidy    the product code (src/ and programs/) against .clang-tidy
#           (clang-tidy-14, by way of run-clang-tidy-14), with the compile
#           database of a build, and the Windows-only code with that of the
#           mingw-w64 cross build
#
#   bash scripts/lint.sh [build-folder [windows-build-folder]]
#   bash scripts/lint.sh --format        formats every C++ file in place
#
# The build folder (default build) only needs to be configured: clang-tidy
# reads its compile_commands.json. Parallel runs: JOBS (default: all cores).
#
# The Windows build folder is configured here with the Boost sources and the
# mingw-w64 toolchain already on the machine (scripts/windows-build.sh
# --configure-only --offline): lint fetches and installs nothing. When they
# are missing, the Windows-only code is skipped with a line that says what to
# run, unless VHDX_LINT_WINDOWS=required (CI), which makes that a failure.
set -uo pipefail
cd "$(dirname "$0")/.."
product_folders=(src programs python)
source_folders=("${product_folders[@]}" include tests bench fuzz examples)
mapfile -t sources < <(find "${source_folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
if [[ "${1:-}" == "--format" ]]; then
  exec clang-format-14 -i "${sources[@]}"
fi
build=${1:-build}
windows_build=${2:-}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
status=0

SECONDS=0
if clang-format-14 --dry-run --Werror "${sources[@]}"; then
  echo "lint: format: ${#sources[@]} files as .clang-format says (${SECONDS} s)"
else
  echo "lint: format: FAILED: run clang-format-14 -i on the files above" >&2
  status=1
fi

# An anchored regular expression for each path in `files`, for
# run-clang-tidy-14, which picks out of the compile database the files that
# one of them matches.
root=$PWD
file_patterns() {
  local file
  for file in "${files[@]}"; do
    printf '^%s$\n' "$(printf '%s' "$root/$file" | sed 's/[][\.*^$+?(){}|]/\\&/g')"
  done
}

# Runs clang-tidy over the files in `files` that the compile database of
# build $1 compiles, each with that build's own flags and the extra arguments
# in tidy_arguments; `what` names the set.
tidy() {
  local build=$1 patterns
  mapfile -t patterns < <(file_patterns)
  SECONDS=0
  # run-clang-tidy echoes each command before its findings, and clang-tidy
  # counts the compiler's warnings it hid ("N warnings generated."): only the
  # findings are shown.
  local counted
  counted=$(mktemp)
  run-clang-tidy-14 -clang-tidy-binary clang-tidy-14 -p "$build" -j "$jobs" -quiet "${tidy_arguments[@]}" \
    "${patterns[@]}" 2>&1 |
    awk -v counted="$counted" '
      /^clang-tidy-14 / { ++files; next }
      /^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$/ { next }
      { print }
      END { print files + 0 > counted }'
  local tidy_status=${PIPESTATUS[0]} checked
  checked=$(cat "$counted")
  rm -f "$counted"
  if [[ $tidy_status -eq 0 && $checked -gt 0 ]]; then
    echo "lint: tidy: $what: $checked files clean (${SECONDS} s on ${jobs} jobs)"
  elif [[ $tidy_status -eq 0 ]]; then
    echo "lint: tidy: $what: FAILED: no product file in $build/compile_commands.json" >&2
    status=1
  else
    echo "lint: tidy: $what: FAILED (see the findings above)" >&2
    status=1
  fi
}

database=$build/compile_commands.json
if [[ ! -f $database ]]; then
  echo "lint: tidy: $database is missing: configure $build first" >&2
  exit 1
fi
# Every product source file; those a build does not compile (the Win32
# backend on Linux) are left out by run-clang-tidy, which only runs what the
# database holds.
mapfile -t files < <(find "${product_folders[@]}" -type f -name '*.cpp' | sort)
tidy_arguments=()
what="Linux build"
tidy "$build"

# The code that only the Windows program compiles (the Win32 backend, the
# _WIN32 parts of the programs), with the flags of the mingw-w64 cross build
# ($windows_build, which only needs configuring). clang-tidy parses it for
# the mingw-w64 target with the cross compiler's own C++ library headers; the
# compiler's other headers (intrinsics) are clang's, which GCC's do not suit.
# The code that both programs compile is checked once, above.
windows_skipped() {
  if [[ ${VHDX_LINT_WINDOWS:-} == required ]]; then
    echo "lint: tidy: Windows-only code: FAILED: $1" >&2
    status=1
  else
    echo "lint: tidy: Windows-only code: SKIPPED: $1" >&2
    echo "lint: tidy: to check it too, run once: bash scripts/windows-build.sh --configure-only $windows_build" >&2
    echo "lint: tidy: (installs the mingw-w64 toolchain and fetches the Boost sources), then make lint again" >&2
  fi
}
if [[ -n "$windows_build" ]]; then
  configure_status=0
  configured=$(bash scripts/windows-build.sh --configure-only --offline "$windows_build" 2>&1) || configure_status=$?
  if [[ $configure_status -eq 3 ]]; then
    windows_skipped "$(tail -n 1 <<<"$configured")"
    exit $status
  elif [[ $configure_status -ne 0 ]]; then
    printf '%s\n' "$configured" >&2
    echo "lint: tidy: Windows-only code: FAILED: $windows_build does not configure" >&2
    exit 1
  fi
  mapfile -t files < <(find "${product_folders[@]}" -type f -name '*.cpp' -print0 | xargs -0 grep -l -E '_WIN32|<windows\.h>' | sort)
  cross=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$windows_build/CMakeCache.txt")
  target=$("$cross" -dumpmachine)
  tidy_arguments=(-extra-arg=--target="$target" -extra-arg=-nostdinc++)
  while read -r folder; do
    tidy_arguments+=(-extra-arg=-isystem -extra-arg="$folder")
  done < <("$cross" -E -x c++ -std=c++20 -v - </dev/null 2>&1 |
    sed -n '/^#include <...> search starts here:$/,/^End of search list\.$/s/^ //p' | grep '/c++')
  if [[ ${#files[@]} -eq 0 ]]; then
    echo "lint: tidy: no Windows-only product file in ${product_folders[*]}" >&2
    exit 1
  fi
  what="Windows-only code"
  tidy "$windows_build"
fi
exit $status
