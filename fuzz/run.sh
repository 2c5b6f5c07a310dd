#!/usr/bin/env bash
# Runs the fuzz target for a bounded time: run.sh <fuzz build directory> <seconds> [libFuzzer options...]
# Seeds are written fresh from the test support; the corpus that the fuzzer
# grows is kept in <build>/fuzz/corpus between runs. A crash, a hang (an
# input that runs over 10 s), a leak or a run over the memory limit stops the
# fuzzer with a non-zero status and leaves the input in <build>/fuzz/artifacts.
set -euo pipefail
build=${1:?usage: run.sh <fuzz build directory> <seconds> [libFuzzer options...]}
seconds=${2:?usage: run.sh <fuzz build directory> <seconds> [libFuzzer options...]}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$build/fuzz
rm -rf "$work/seeds"
mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
"$work/make_fuzz_seeds" "$work/seeds"
"$work/inspect_fuzzer" "$work/corpus" "$work/seeds" \
  -dict="$here/inspect.dict" \
  -max_total_time="$seconds" \
  -max_len=32768 \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -malloc_limit_mb=128 \
  -artifact_prefix="$work/artifacts/" \
  -print_final_stats=1 \
  "$@"
