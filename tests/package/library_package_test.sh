#!/usr/bin/env bash
# The library as C++ users get it: staged with `cmake --install --component
# development`, then the example consumer (examples/consumer) configured with
# find_package(VhdxInspect 2.0), built and run on a sound and a damaged image,
# without Boost; asking for version 2.0 fails; pkg-config gives flags that
# build the same program.
#
#   library_package_test.sh <build dir> <source dir> <make_sample_image>
set -uo pipefail

build=$1
source=$2
make_sample_image=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vhdx-inspect-library.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

stage=$scratch/stage
if ! cmake --install "$build" --prefix "$stage" --component development >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log"
  echo "FAIL: the development component could not be installed"
  exit 1
fi
for file in include/vhdx_inspect/inspect.h include/vhdx_inspect/check.h; do
  [[ -f $stage/$file ]] || fail "the staged install lacks $file"
done
grep -rqi boost "$stage" && fail "the installed package mentions Boost: $(grep -rli boost "$stage")"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if ! cmake -S "$source/examples/consumer" -B "$scratch/consumer" "${generator[@]}" -DCMAKE_PREFIX_PATH="$stage" \
  >"$scratch/configure.log" 2>&1 || ! cmake --build "$scratch/consumer" >"$scratch/build.log" 2>&1; then
  cat "$scratch/configure.log" "$scratch/build.log"
  echo "FAIL: the example consumer does not build against the staged install"
  exit 1
fi
ldd "$scratch/consumer/verdicts" 2>/dev/null | grep -qi boost && fail "the consumer links Boost"

sample=$scratch/sample.vhdx
"$make_sample_image" "$sample" || fail "make_sample_image failed"
head -c 1000 "$sample" >"$scratch/short.vhdx"
out=$("$scratch/consumer/verdicts" "$sample" "$scratch/short.vhdx")
status=$?
expected="sound $sample
corrupt $scratch/short.vhdx
  header_section.short: The file ends after 1000 bytes, inside the 1048576-byte header section: it is too short to be a VHDX image."
[[ $out == "$expected" ]] || fail "the consumer printed: $out"
[[ $status -eq 1 ]] || fail "the consumer exited with $status, expected 1"

if cmake -S "$source/examples/consumer" -B "$scratch/consumer2" -DCMAKE_PREFIX_PATH="$stage" \
  -DVHDX_INSPECT_VERSION=3.0 >"$scratch/configure2.log" 2>&1; then
  fail "find_package(VhdxInspect 3.0) found version 2"
fi

if command -v pkg-config >/dev/null; then
  flags=$(PKG_CONFIG_PATH=$(dirname "$(find "$stage" -name vhdx-inspect.pc)") pkg-config --cflags --libs vhdx-inspect)
  # shellcheck disable=SC2086
  c++ "$source/examples/consumer/verdicts.cpp" -o "$scratch/verdicts-pc" $flags ||
    fail "pkg-config's flags ($flags) do not build the consumer"
  [[ $("$scratch/verdicts-pc" "$sample") == "sound $sample" ]] || fail "the consumer built with pkg-config's flags fails"
fi

[[ $failures -eq 0 ]] || {
  echo "$failures failed"
  exit 1
}
echo "the staged library package works"
