#!/usr/bin/env bash
# Scans a directory holding the whole hostile corpus and sound images under
# valgrind memcheck: any invalid read or write, use of an uninitialised value,
# or leak (definite, indirect or possible) fails the test, and so does any
# output on the error stream or an exit status other than 0.
#
#   valgrind_corpus.sh <valgrind> <write_hostile_corpus> <make_sample_image> <vhdx-inspect>
set -euo pipefail
valgrind=$1 write_corpus=$2 make_sample=$3 tool=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/vhdx-valgrind-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$write_corpus" "$work/corpus"
"$make_sample" "$work/corpus/sound-sample.vhdx"

status=0
"$valgrind" --tool=memcheck --quiet --error-exitcode=99 --leak-check=full \
  --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
  --log-file="$work/valgrind.log" \
  "$tool" -p "$work/corpus" >"$work/out.txt" 2>"$work/err.txt" || status=$?

if [[ -s "$work/valgrind.log" ]]; then
  echo "valgrind reported:"; cat "$work/valgrind.log"
fi
if [[ -s "$work/err.txt" ]]; then
  echo "the tool wrote to the error stream:"; cat "$work/err.txt"
  [[ $status -ne 0 ]] || status=1
fi
images=$(grep -c '^Parsing ' "$work/out.txt" || true)
echo "exit status $status; $images images reached the report"
[[ $status -eq 0 && ! -s "$work/valgrind.log" && $images -gt 0 ]]
