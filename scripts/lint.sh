#!/usr/bin/env bash
# The two checks of `make lint`, both run even when the first fails:
#   format  every C++ file of the tree against .clang-format (clang-format-14)
#   tidy    the product code (app/, json/, inspect/, encoding/, report/, vhdx/, partition/, platform/)
#           against .clang-tidy (clang-tidy-14), with the compile database of a
#           build, and the Windows-only code with that of the mingw-w64 cross build
#
#   bash scripts/lint.sh [build-folder [windows-build-folder]]
#   bash scripts/lint.sh --format        formats every C++ file in place
#
# The build folder (default build) only needs to be configured: clang-tidy
# reads its compile_commands.json. Parallel runs: JOBS (default: all cores).
set -uo pipefail
cd "$(dirname "$0")/.."
product_folders=(app json inspect encoding report vhdx partition platform)
source_folders=("${product_folders[@]}" testsupport tests tools bench fuzz slowfs)
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

# The product files a build compiles, read from its compile database, each
# run through clang-tidy-14 with that build's own flags (xargs rather than
# run-clang-tidy-14, which echoes every command it runs).
root=$PWD
compiled_product_files() {
  grep -o '"file": "[^"]*"' "$1/compile_commands.json" | sed 's/^"file": "//; s/"$//' |
    grep -E "^$root/($(IFS='|'; echo "${product_folders[*]}"))/[^/]+\.cpp$" | sort -u
}

# Runs clang-tidy with the database of build $1 and the extra arguments in
# tidy_arguments over the files in `files`; `what` names the set.
tidy() {
  local build=$1
  SECONDS=0
  # clang-tidy counts the compiler's warnings it hid ("N warnings generated.");
  # only its findings are shown.
  printf '%s\n' "${files[@]}" | xargs -P "$jobs" -n 1 clang-tidy-14 -p "$build" --quiet "${tidy_arguments[@]}" 2>&1 |
    { grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' || true; }
  if [[ ${PIPESTATUS[1]} -eq 0 ]]; then
    echo "lint: tidy: $what: ${#files[@]} files clean (${SECONDS} s on ${jobs} jobs)"
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
mapfile -t files < <(compiled_product_files "$build")
if [[ ${#files[@]} -eq 0 ]]; then
  echo "lint: tidy: no product file in $database" >&2
  exit 1
fi
tidy_arguments=()
what="Linux build"
tidy "$build"

# The code that only the Windows program compiles (the Win32 backend, the
# _WIN32 parts of the program), with the flags of the mingw-w64 cross build
# ($windows_build, which only needs configuring: scripts/windows-build.sh
# --configure-only). clang-tidy parses it for the mingw-w64 target with the
# cross compiler's own C++ library headers; the compiler's other headers
# (intrinsics) are clang's, which GCC's do not suit. The code that both
# programs compile is checked once, above.
if [[ -n "$windows_build" ]]; then
  if [[ ! -f $windows_build/compile_commands.json ]]; then
    echo "lint: tidy: $windows_build/compile_commands.json is missing: configure $windows_build first" >&2
    exit 1
  fi
  mapfile -t files < <(compiled_product_files "$windows_build" | xargs grep -l -E '_WIN32|<windows\.h>')
  cross=$(grep -o '"command": "[^ ]*' "$windows_build/compile_commands.json" | head -n 1 | sed 's/^"command": "//')
  target=$("$cross" -dumpmachine)
  tidy_arguments=(--extra-arg=--target="$target" --extra-arg=-nostdinc++)
  while read -r folder; do
    tidy_arguments+=(--extra-arg=-isystem --extra-arg="$folder")
  done < <("$cross" -E -x c++ -std=c++20 -v - </dev/null 2>&1 |
    sed -n '/^#include <...> search starts here:$/,/^End of search list\.$/s/^ //p' | grep '/c++')
  if [[ ${#files[@]} -eq 0 ]]; then
    echo "lint: tidy: no Windows-only product file in $windows_build/compile_commands.json" >&2
    exit 1
  fi
  what="Windows-only code"
  tidy "$windows_build"
fi
exit $status
