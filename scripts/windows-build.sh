#!/usr/bin/env bash
# Cross-builds the Windows programs, build-windows/app/vhdx-inspect.exe,
# build-windows/json/vhdx-inspect-json.exe and
# build-windows/report/vhdx-inspect-report.exe, with mingw-w64 on Debian 12: each
# one self-contained executable that imports only DLLs that Windows itself
# ships. Installs what is missing (with sudo when not root) and fetches the
# Boost sources once (scripts/fetch-boost-sources.sh).
#
#   bash scripts/windows-build.sh [--if-installable] [--configure-only] [--offline] [build-folder] [cmake --build arguments...]
#
# --if-installable: when the toolchain is missing and cannot be installed,
# say so and exit 3 instead of 1, so that a caller can tell it from a failed
# build. --configure-only: configure, build nothing (`make lint` reads the
# compile database). --offline: install and fetch nothing; when a package or
# the Boost sources are missing, say which on the last line and exit 3
# (`make lint` uses it). Without build arguments the two programs are built
# (no test, no manual).
set -euo pipefail
cd "$(dirname "$0")/.."

if_installable=false
configure_only=false
offline=false
while [[ "${1:-}" == --* ]]; do
  case $1 in
    --if-installable) if_installable=true ;;
    --configure-only) configure_only=true ;;
    --offline) offline=true ;;
    *) echo "windows-build: unknown option $1" >&2; exit 1 ;;
  esac
  shift
done
build=${1:-build-windows}
shift || true
build_arguments=("$@")
[[ ${#build_arguments[@]} -gt 0 ]] || build_arguments=(--target vhdx-inspect vhdx-inspect-json vhdx-inspect-report)

unavailable() {
  echo "windows-build: $*" >&2
  if $if_installable; then exit 3; fi
  exit 1
}

# The compiler, wine to run what it builds, GoogleTest's sources and zlib for the
# tests, the Linux program's Boost (whose version the Windows program is built
# from), and what fetching and rendering need (apt's source download, xz,
# patch, groff for the manual in the zip).
packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine googletest cmake ninja-build
          libboost-program-options-dev libboost-filesystem-dev xz-utils patch groff-base)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [[ ${#missing[@]} -gt 0 ]] && $offline; then
  echo "windows-build: not installed: ${missing[*]}" >&2
  exit 3
fi
if [[ ${#missing[@]} -gt 0 ]]; then
  command -v apt-get >/dev/null || unavailable "apt-get not found; install ${missing[*]}"
  as_root=()
  if [[ $(id -u) -ne 0 ]]; then as_root=(sudo); fi
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
    unavailable "apt-get update failed"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
    unavailable "apt-get install ${missing[*]} failed"
fi

# The sources of the Boost that the Linux program links, fetched once into a
# cache outside the build folder (scripts/fetch-boost-sources.sh).
if $offline; then
  boost_sources=$(bash scripts/fetch-boost-sources.sh --if-cached)
else
  boost_sources=$(bash scripts/fetch-boost-sources.sh)
fi

# The configuration: CMakePresets.json's windows-cross.
VHDX_BOOST_SOURCES="$boost_sources" cmake --preset windows-cross -B "$build"
if $configure_only; then exit 0; fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" "${build_arguments[@]}"
