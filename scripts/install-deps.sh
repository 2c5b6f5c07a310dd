#!/usr/bin/env bash
# Installs from Debian's packages whatever the program needs (and, with
# "test", the tests; with "lint", `make lint`; with "package", `make package`)
# and is not installed yet. Uses sudo when not run as root.
set -euo pipefail

packages=(make g++ cmake ninja-build pkg-config libboost-program-options-dev libboost-filesystem-dev)
# vhdx-inspect-json: nlohmann/json (header-only, also for the Windows build).
packages+=(nlohmann-json3-dev)
if [[ "${1:-}" == "test" ]]; then
  # GoogleTest, zlib (whose CRC-32 gives the GPT checksums the tests expect),
  # and the independent readers of the formats the tests compare against.
  packages+=(libgtest-dev zlib1g-dev googletest qemu-utils gdisk libvhdi-utils)
  # The package test: building the .deb (its shared-library dependencies need
  # "file"), installing it, rendering the manual page.
  packages+=(dpkg-dev file groff-base man-db bash-completion)
  # The fuzz target (libFuzzer, clang), and the hostile-image checks: memcheck,
  # the trace of the image's opens.
  packages+=(clang libclang-rt-14-dev valgrind strace)
  # The smoke build of the benchmarks (Google Benchmark).
  packages+=(libbenchmark-dev)
  # The schema check of vhdx-inspect-json's output (tests/json), and jq.
  packages+=(python3-jsonschema jq)
  # The slow-storage pass-through of the parallel-scan tests
  # (tests/support/slow_mount.cpp).
  packages+=(libfuse3-dev fuse3)
  # The Python module (python/) and its tests: pybind11, pytest, mypy for its
  # stubs, Dask's scheduler for the example (examples/python/).
  packages+=(pybind11-dev python3-dev python3-pytest mypy python3-dask python3-distributed)
  # The browser that renders vhdx-inspect-report's pages in its tests
  # (tests/report/browser_test.cpp, headless) and in `make bench`.
  packages+=(chromium)
elif [[ "${1:-}" == "lint" ]]; then
  # The format check and clang-tidy (with run-clang-tidy-14); configuring
  # the build for its compile database needs GoogleTest.
  packages+=(libgtest-dev clang-format-14 clang-tidy-14)
elif [[ "${1:-}" == "package" ]]; then
  packages+=(libgtest-dev zlib1g-dev dpkg-dev file)
  # python3-vhdx-inspect: the module is built with pybind11 for Debian's python3.
  packages+=(pybind11-dev python3-dev)
fi
# Without an argument: only what `make run` builds, the program and the
# sample writer.

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then as_root=(sudo); fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
