#!/usr/bin/env bash
# The zip of the Windows program made from this (cross) build: CPack makes it,
# it is unpacked into a scratch folder, and what a Windows user gets is
# checked there: the program, the README and the readable manual, a program
# that imports only DLLs that Windows itself ships, and that runs as it is.
#
#   windows_zip_test.sh <build dir> <project version> <objdump> <wine>
set -uo pipefail

build=$1
version=$2
objdump=$3
wine=$4

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vhdx-inspect-zip.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

(cd "$build" && cpack -G ZIP -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || {
  cat "$scratch/cpack.log"
  echo "FAIL: cpack -G ZIP"
  exit 1
}
zip="$scratch/out/vhdx-inspect-$version-win64.zip"
[[ -f "$zip" ]] || { echo "FAIL: no $zip"; ls "$scratch/out"; exit 1; }
# Unpacked with CMake's own archive reader: no unzip program needed.
(mkdir -p "$scratch/unpacked" && cd "$scratch/unpacked" && cmake -E tar xf "$zip") || fail "the zip cannot be unpacked"
folder="$scratch/unpacked/vhdx-inspect-$version-win64"

listing=$(cd "$folder" && find . -type f | sort | tr '\n' ' ')
[[ "$listing" == "./README.md ./vhdx-inspect-json.exe ./vhdx-inspect-json.schema.json ./vhdx-inspect-json.txt ./vhdx-inspect-report.exe ./vhdx-inspect-report.txt ./vhdx-inspect.exe ./vhdx-inspect.txt " ]] ||
  fail "the zip holds: $listing"

# The manual as text: plain ASCII, every line ending with CR LF.
for manual in "$folder/vhdx-inspect.txt" "$folder/vhdx-inspect-json.txt" "$folder/vhdx-inspect-report.txt"; do
  grep -q '^EXIT STATUS' <(tr -d '\r' <"$manual") || fail "$manual has no EXIT STATUS section"
  if LC_ALL=C grep -q -P '[^\x00-\x7f]' "$manual"; then fail "$manual is not plain ASCII"; fi
  if LC_ALL=C grep -q -v -P '\r$' "$manual"; then fail "a line of $manual does not end with CR LF"; fi
  if LC_ALL=C grep -q -P '.\x08' "$manual"; then fail "$manual holds overstrikes"; fi
done

# Only DLLs that every 64-bit Windows has (no C++ runtime, no Boost, no
# winpthread beside the program).
system_dlls=" kernel32.dll msvcrt.dll advapi32.dll bcrypt.dll user32.dll ntdll.dll ws2_32.dll shell32.dll ole32.dll "
for program in vhdx-inspect.exe vhdx-inspect-json.exe vhdx-inspect-report.exe; do
  while read -r dll; do
    lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
    [[ "$system_dlls" == *" $lower "* ]] || fail "$program imports $dll"
  done < <("$objdump" -p "$folder/$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
done

# The unpacked program runs from its own folder and prints its help.
help=$(cd "$folder" && "$wine" vhdx-inspect.exe -h </dev/null 2>/dev/null)
status=$?
[[ $status -eq 0 ]] || fail "vhdx-inspect.exe -h exits with $status"
[[ "$help" == "Command-line Options:"$'\r'* ]] || fail "vhdx-inspect.exe -h prints: $help"
help=$(cd "$folder" && "$wine" vhdx-inspect-json.exe -h </dev/null 2>/dev/null)
status=$?
[[ $status -eq 0 ]] || fail "vhdx-inspect-json.exe -h exits with $status"
[[ "$help" == "Usage: vhdx-inspect-json "* ]] || fail "vhdx-inspect-json.exe -h prints: $help"
help=$(cd "$folder" && "$wine" vhdx-inspect-report.exe -h </dev/null 2>/dev/null)
status=$?
[[ $status -eq 0 ]] || fail "vhdx-inspect-report.exe -h exits with $status"
[[ "$help" == "Usage: vhdx-inspect-report "* ]] || fail "vhdx-inspect-report.exe -h prints: $help"

if [[ $failures -ne 0 ]]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "the zip holds a working program, its README and its manual"
