#!/usr/bin/env bash
# The two checks of `make lint`, both run even when the first fails:
#   format  every C++ file of the tree against .clang-format (clang-format-14)
#   tidy    the product code (app/, json/, vhdx/, partition/, platform/) against
#           .clang-tidy (clang-tidy-14), with the compile database of a build
#
#   bash scripts/lint.sh [build-folder]
#   bash scripts/lint.sh --format        formats every C++ file in place
#
# The build folder (default build) only needs to be configured: clang-tidy
# reads its compile_commands.json. Parallel runs: JOBS (default: all cores).
set -uo pipefail
cd "$(dirname "$0")/.."
product_folders=(app json vhdx partition platform)
source_folders=("${product_folders[@]}" testsupport tests tools bench fuzz)
mapfile -t sources < <(find "${source_folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
if [[ "${1:-}" == "--format" ]]; then
  exec clang-format-14 -i "${sources[@]}"
fi
build=${1:-build}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
status=0

SECONDS=0
if clang-format-14 --dry-run --Werror "${sources[@]}"; then
  echo "lint: format: ${#sources[@]} files as .clang-format says (${SECONDS} s)"
else
  echo "lint: format: FAILED: run clang-format-14 -i on the files above" >&2
  status=1
fi

# The product files the build compiles: the Win32 backend is not in a Linux
# build's database, and clang-tidy would guess its flags wrongly.
SECONDS=0
database=$build/compile_commands.json
if [[ ! -f $database ]]; then
  echo "lint: tidy: $database is missing: configure $build first" >&2
  exit 1
fi
root=$PWD
mapfile -t compiled < <(grep -o '"file": "[^"]*"' "$database" | sed 's/^"file": "//; s/"$//' |
  grep -E "^$root/($(IFS='|'; echo "${product_folders[*]}"))/[^/]+\.cpp$" | sort -u)
if [[ ${#compiled[@]} -eq 0 ]]; then
  echo "lint: tidy: no product file in $database" >&2
  exit 1
fi
# clang-tidy counts the compiler's warnings it hid ("N warnings generated.");
# only its findings are shown.
printf '%s\n' "${compiled[@]}" | xargs -P "$jobs" -n 1 clang-tidy-14 -p "$build" --quiet 2>&1 |
  { grep -vE '^[0-9]+ warnings? generated\.$' || true; }
if [[ ${PIPESTATUS[1]} -eq 0 ]]; then
  echo "lint: tidy: ${#compiled[@]} files clean (${SECONDS} s on ${jobs} jobs)"
else
  echo "lint: tidy: FAILED (see the findings above)" >&2
  status=1
fi
exit $status
