#!/usr/bin/env bash
# The Debian package made from this build: CPack builds it, dpkg installs it
# into a scratch root against this machine's installed packages, and the
# installed program, manual page and bash completion are tried there.
#
#   package_test.sh <build dir> <project version> <make_sample_image> <source dir> [build-consumer|no-consumer] [python|no-python]
#
# The library's package, libvhdx-inspect-dev, is installed beside it, and the
# example consumer (examples/consumer) is built against what it installed.
# With "python" the Python module's package, python3-vhdx-inspect, is made
# too, installed, and imported by Debian's python3 from where it installed it.
#
# Exit status 77 (skipped) when the packaging tools are not installed.
set -uo pipefail

# dpkg looks for ldconfig and start-stop-daemon on PATH, and an ordinary
# user's PATH may not hold the sbin folders.
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"

build=$1
version=$2
make_sample_image=$3
source=$4
consumer=${5:-build-consumer}  # no-consumer: the library was built with the sanitizers
python=${6:-no-python}         # python: the Python module was built

for tool in cpack dpkg dpkg-deb dpkg-shlibdeps groff man; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (bash scripts/install-deps.sh test installs it)"
    exit 77
  fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vhdx-inspect-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# --- Build the package from this build tree ---------------------------------
if ! (cd "$build" && cpack -G DEB -B "$scratch/out") >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
fi
shopt -s nullglob
debs=("$scratch"/out/*.deb)
expected_debs=2
[[ $python == python ]] && expected_debs=3
if [[ ${#debs[@]} -ne $expected_debs ]]; then
  echo "FAIL: cpack made ${#debs[@]} .deb files, expected $expected_debs: $(cd "$scratch/out" && echo *.deb)"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$scratch/out/vhdx-inspect_${version}_${arch}.deb
dev_deb=$scratch/out/libvhdx-inspect-dev_${version}_${arch}.deb
[[ -f $dev_deb ]] || fail "no libvhdx-inspect-dev_${version}_${arch}.deb among $(ls "$scratch/out")"
[[ $(basename "$deb") == "vhdx-inspect_${version}_${arch}.deb" ]] ||
  fail "package file $(basename "$deb"), expected vhdx-inspect_${version}_${arch}.deb"

# --- Control fields ----------------------------------------------------------
[[ $(dpkg-deb -f "$deb" Package) == vhdx-inspect ]] || fail "Package is not vhdx-inspect"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] ||
  fail "Version is '$(dpkg-deb -f "$deb" Version)', expected the project version $version"
depends=$(dpkg-deb -f "$deb" Depends)
# Computed from the binary: the Boost libraries it links, by their runtime packages.
for library in libboost-program-options libboost-filesystem libstdc++6 libc6; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

# --- Contents ----------------------------------------------------------------
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
completions_dir=usr/share/bash-completion/completions
if command -v pkg-config >/dev/null && pkg-config --exists bash-completion; then
  # Where this machine's bash-completion looks for a command's completion.
  completions_dir=$(pkg-config --variable=completionsdir bash-completion)
  completions_dir=${completions_dir#/}
fi
for file in usr/bin/vhdx-inspect usr/share/man/man1/vhdx-inspect.1.gz "$completions_dir/vhdx-inspect" \
  usr/bin/vhdx-inspect-json usr/share/man/man1/vhdx-inspect-json.1.gz "$completions_dir/vhdx-inspect-json" \
  usr/share/vhdx-inspect/vhdx-inspect-json.schema.json \
  usr/bin/vhdx-inspect-report usr/share/man/man1/vhdx-inspect-report.1.gz "$completions_dir/vhdx-inspect-report"; do
  grep -qx "\./$file" <<<"$contents" || fail "the package does not hold /$file"
done

# --- Install into a scratch root ----------------------------------------------
# The root's package database holds this machine's records of exactly the
# packages named in Depends, so dpkg refuses the package unless every
# dependency is installed here in a version that satisfies it.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/available"
: >"$root/var/lib/dpkg/status"
IFS=',' read -ra clauses <<<"$depends, $(dpkg-deb -f "$dev_deb" Depends)"
for clause in "${clauses[@]}"; do
  for alternative in ${clause//|/ }; do
    [[ $alternative == \(* || $alternative == *\) || $alternative =~ ^[\<\>=]+$ ]] && continue
    if record=$(dpkg-query -s "$alternative" 2>/dev/null); then
      printf '%s\n\n' "$record" >>"$root/var/lib/dpkg/status"
    fi
  done
done
if ! dpkg --root="$root" --force-not-root --log=/dev/null -i "$deb" >"$scratch/dpkg.log" 2>&1; then
  cat "$scratch/dpkg.log"
  fail "dpkg could not install the package (Depends: $depends)"
fi
[[ $(dpkg --root="$root" -s vhdx-inspect 2>/dev/null | grep '^Status:') == "Status: install ok installed" ]] ||
  fail "dpkg does not list vhdx-inspect as installed"

installed=$root/usr/bin/vhdx-inspect
if [[ ! -x $installed ]]; then
  fail "no executable /usr/bin/vhdx-inspect after installing"
  echo "$failures failed"
  exit 1
fi

# --- The installed program ------------------------------------------------------
"$installed" -h >"$scratch/help.txt" 2>&1
status=$?
[[ $status -eq 0 ]] || fail "vhdx-inspect -h exited with $status"
[[ $(head -n 1 "$scratch/help.txt") == "Command-line Options:" ]] || fail "-h does not print the options description"

sample=$scratch/sample.vhdx
"$make_sample_image" "$sample" || fail "make_sample_image failed"
"$installed" -f "$sample" >"$scratch/report.txt" 2>"$scratch/report.err"
status=$?
[[ $status -eq 0 ]] || fail "vhdx-inspect -f sample exited with $status"
[[ -s $scratch/report.err ]] && fail "vhdx-inspect wrote to standard error: $(cat "$scratch/report.err")"
[[ $(head -n 1 "$scratch/report.txt") == "Parsing $sample" ]] || fail "the report does not begin with the Parsing line"
grep -q '^Exception occurred: ' "$scratch/report.txt" && fail "the sample image was reported corrupt"
# A sound pair of GPTs: the four verification headings, each after an empty
# line, and nothing else.
expected_tail=$'\nVerifying the EFI header\n\nVerifying the EFI trailer\n\nVerifying the EFI LBA entries\n\nVerifying the PartitionEntryArrayCRC32'
[[ $(tail -n 8 "$scratch/report.txt") == "$expected_tail" ]] ||
  fail "the report of the sample does not end with a clean verification: $(tail -n 8 "$scratch/report.txt")"

# The installed JSON program: one line for the sample, sound, status 0, and
# valid against the installed schema (when python3-jsonschema is there).
json_program=$root/usr/bin/vhdx-inspect-json
"$json_program" -f "$sample" >"$scratch/report.jsonl" 2>"$scratch/json.err"
status=$?
[[ $status -eq 0 ]] || fail "vhdx-inspect-json -f sample exited with $status: $(cat "$scratch/json.err")"
[[ $(wc -l <"$scratch/report.jsonl") -eq 1 ]] || fail "vhdx-inspect-json wrote $(wc -l <"$scratch/report.jsonl") lines"
grep -q '"verdict":"sound"' "$scratch/report.jsonl" || fail "vhdx-inspect-json does not call the sample sound"
if /usr/bin/python3 -c 'import jsonschema' 2>/dev/null; then
  /usr/bin/python3 - "$root/usr/share/vhdx-inspect/vhdx-inspect-json.schema.json" "$scratch/report.jsonl" <<'PY' ||
import json, sys, jsonschema
schema = json.load(open(sys.argv[1]))
for line in open(sys.argv[2], encoding="utf-8"):
    jsonschema.Draft202012Validator(schema).validate(json.loads(line))
PY
    fail "the sample's line does not validate against the installed schema"
fi

# The installed report program: one page for the sample, status 0, with the
# sample's row; and the same page from the JSON program's line.
report_program=$root/usr/bin/vhdx-inspect-report
"$report_program" -f "$sample" -o "$scratch/report.html" 2>"$scratch/report.err"
status=$?
[[ $status -eq 0 ]] || fail "vhdx-inspect-report -f sample exited with $status: $(cat "$scratch/report.err")"
grep -q '^<!DOCTYPE html>' "$scratch/report.html" || fail "vhdx-inspect-report did not write an HTML page"
grep -q 'data-verdict="sound"><td>1</td>' "$scratch/report.html" || fail "the page has no sound row for the sample"
"$report_program" --from-json "$scratch/report.jsonl" >"$scratch/from-json.html" 2>"$scratch/report.err" ||
  fail "vhdx-inspect-report --from-json exited with $?: $(cat "$scratch/report.err")"
diff <(grep -v 'class="made"' "$scratch/report.html") <(grep -v 'class="made"' "$scratch/from-json.html") >/dev/null ||
  fail "the page from the JSON line differs from the page of the scan"
for page in vhdx-inspect-json vhdx-inspect-report; do
  gzip -dc "$root/usr/share/man/man1/$page.1.gz" | groff -man -ww -z >"$scratch/groff.log" 2>&1
  [[ -s $scratch/groff.log ]] && fail "groff -man -ww warns on $page.1: $(cat "$scratch/groff.log")"
done

# --- The installed manual page ------------------------------------------------
page=$root/usr/share/man/man1/vhdx-inspect.1.gz
gzip -dc "$page" >"$scratch/vhdx-inspect.1" || fail "the manual page is not gzip-compressed"
groff -man -ww -z "$scratch/vhdx-inspect.1" >"$scratch/groff.log" 2>&1
[[ -s $scratch/groff.log ]] && fail "groff -man -ww warns: $(cat "$scratch/groff.log")"
MANWIDTH=80 man --warnings -l "$page" >"$scratch/man.txt" 2>"$scratch/man.err"
status=$?
[[ $status -eq 0 ]] || fail "man -l exited with $status"
[[ -s $scratch/man.err ]] && fail "man -l warns: $(cat "$scratch/man.err")"
grep -q 'vhdx-inspect - check plugin VHDX images' "$scratch/man.txt" || fail "man -l did not render the NAME section"

# Every line the tool writes about a fault is explained: the fixed part of
# each, as the page renders it (whitespace runs taken as one blank).
rendered=$(MANWIDTH=1000 man -l "$page" 2>/dev/null | tr -s ' \t' '  ')
while IFS= read -r message; do
  [[ -z $message ]] && continue
  [[ $rendered == *"$message"* ]] || fail "the manual page does not document: $message"
done <<'MESSAGES'
CreateFile failed with status
ReadFile failed with status
SetFilePointerEx failed with status
Attemped to read 1048576 bytes, but
Not a VHDX signature.
VHDX not created by Tallowbridge.
Not a valid header.
Not a valid header CRC.
Not a valid region CRC.
Not a valid region.
Entry count should be 2.
Bad BAT GUID.
Bad Metadata GUID.
Not a valid metadata table header.
Entry count should be 6.
Not a Tolvenar VHDX - the plugin metadata is missing.
Offset should be at most
BlockSize should be 33554432
VIRTUAL_DISK_SIZE->VirtualDiskSize is:
PLUGIN_VHDX_METADATA->cbTotalMetaData
table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0
table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0
entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is:
pTwbMetaData->MySize is:
pTwbMetaData->ImageFileList is not terminated inside the metadata region.
TotalPluginMetadataSize
nMbrGptSize should be between
nGptTrailerLength should be between 0x405c and 0x4000000
Exception occurred: plugin VHDX is corrupt
PartitionName is invalid.
Signature is invalid.
Revision is invalid.
HeaderSize is invalid.
NumberOfPartitionEntries is invalid.
SizeOfPartitionEntry is invalid.
HeaderCRC32 is invalid.
PartitionEntryArrayCRC32 is invalid.
pEfiHeader->MyLBA is invalid.
pEfiHeader->AlternateLBA is invalid.
pEfiHeader->FirstUsableLBA is invalid.
pEfiHeader->LastUsableLBA is invalid.
pEfiHeader->PartitionEntryArrayCRC32 is invalid.
does not exist.
is not a directory.
cannot be listed:
cannot be examined:
Please specify a VHDX path or file
MESSAGES

# --- The installed bash completion ---------------------------------------------
completion=$root/$completions_dir/vhdx-inspect
mkdir -p "$scratch/files/images" "$scratch/files/more images"
touch "$scratch/files/disk.vhdx" "$scratch/files/notes.txt"
complete_words() {  # prints the completions of the last word, one a line, sorted
  (cd "$scratch/files" && bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _vhdx_inspect
    printf "%s\n" "${COMPREPLY[@]}"' completion "$completion" "$@" | LC_ALL=C sort)
}
expect_completion() {  # <expected, one a line> <words...>
  local expected=$1
  shift
  local got
  got=$(complete_words "$@")
  [[ $got == "$expected" ]] || fail "completing '$*' gave [${got//$'\n'/, }], expected [${expected//$'\n'/, }]"
}
expect_completion $'disk.vhdx\nimages\nmore images\nnotes.txt' vhdx-inspect -f ''
expect_completion $'disk.vhdx' vhdx-inspect --vhdx-file d
expect_completion $'images\nmore images' vhdx-inspect -p ''
expect_completion $'more images' vhdx-inspect --vhdx-path = m
expect_completion $'--vhdx-file\n--vhdx-path' vhdx-inspect --vhdx
expect_completion '' vhdx-inspect -h ''

# The report program's: its own options, files after -o and --from-json.
report_completion=$root/$completions_dir/vhdx-inspect-report
report_words() {
  (cd "$scratch/files" && bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _vhdx_inspect_report
    printf "%s\n" "${COMPREPLY[@]}"' completion "$report_completion" "$@" | LC_ALL=C sort)
}
[[ $(report_words vhdx-inspect-report --ma) == --maps ]] || fail "completing --ma for the report program"
[[ $(report_words vhdx-inspect-report --maps '') == $'all\ndamaged' ]] || fail "completing --maps for the report program"
[[ $(report_words vhdx-inspect-report -o n) == notes.txt ]] || fail "completing -o for the report program"

# bash-completion, when installed, loads it on demand from the installed place.
if [[ -r /usr/share/bash-completion/bash_completion ]]; then
  loaded=$(XDG_DATA_DIRS=$root/usr/share bash -c '
    source /usr/share/bash-completion/bash_completion
    __load_completion vhdx-inspect && complete -p vhdx-inspect' 2>&1)
  [[ $loaded == "complete -F _vhdx_inspect vhdx-inspect" ]] ||
    fail "bash-completion does not load the installed completion: $loaded"
fi

# --- The library's package ----------------------------------------------------
[[ $(dpkg-deb -f "$dev_deb" Section) == libdevel ]] || fail "libvhdx-inspect-dev is not in section libdevel"
if ! dpkg --root="$root" --force-not-root --log=/dev/null -i "$dev_deb" >"$scratch/dpkg-dev.log" 2>&1; then
  cat "$scratch/dpkg-dev.log"
  fail "dpkg could not install libvhdx-inspect-dev"
fi
[[ -f $root/usr/include/vhdx_inspect/inspect.h ]] || fail "no /usr/include/vhdx_inspect/inspect.h"
if [[ $consumer == no-consumer ]]; then
  :
elif cmake -S "$source/examples/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$root/usr" \
  >"$scratch/consumer.log" 2>&1 && cmake --build "$scratch/consumer" >>"$scratch/consumer.log" 2>&1; then
  [[ $("$scratch/consumer/verdicts" "$sample") == "sound $sample" ]] ||
    fail "the consumer built against the -dev package does not find the sample sound"
else
  cat "$scratch/consumer.log"
  fail "the example consumer does not build against the installed -dev package"
fi

# --- The Python module's package ---------------------------------------------------
if [[ $python == python ]]; then
  python_deb=$scratch/out/python3-vhdx-inspect_${version}_${arch}.deb
  if [[ ! -f $python_deb ]]; then
    fail "no python3-vhdx-inspect_${version}_${arch}.deb among $(ls "$scratch/out")"
  else
    [[ $(dpkg-deb -f "$python_deb" Section) == python ]] || fail "python3-vhdx-inspect is not in section python"
    python_depends=$(dpkg-deb -f "$python_deb" Depends)
    # Computed from the extension module (the C++ runtime, libc), and bound
    # to the interpreter's version.
    for library in libstdc++6 libc6 python3; do
      [[ $python_depends == *"$library"* ]] || fail "python3-vhdx-inspect's Depends lacks $library: $python_depends"
    done
    suffix=$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
    python_contents=$(dpkg-deb -c "$python_deb" | awk '{print $NF}')
    for file in __init__.py __init__.pyi py.typed "_native$suffix"; do
      grep -qx "\./usr/lib/python3/dist-packages/vhdx_inspect/$file" <<<"$python_contents" ||
        fail "python3-vhdx-inspect does not hold /usr/lib/python3/dist-packages/vhdx_inspect/$file"
    done
    IFS=',' read -ra clauses <<<"$python_depends"
    for clause in "${clauses[@]}"; do
      for alternative in ${clause//|/ }; do
        [[ $alternative == \(* || $alternative == *\) || $alternative =~ ^[\<\>=]+$ ]] && continue
        grep -qx "Package: $alternative" "$root/var/lib/dpkg/status" && continue
        if record=$(dpkg-query -s "$alternative" 2>/dev/null); then
          printf '%s\n\n' "$record" >>"$root/var/lib/dpkg/status"
        fi
      done
    done
    if ! dpkg --root="$root" --force-not-root --log=/dev/null -i "$python_deb" >"$scratch/dpkg-python.log" 2>&1; then
      cat "$scratch/dpkg-python.log"
      fail "dpkg could not install python3-vhdx-inspect (Depends: $python_depends)"
    fi
    # Debian's python3 imports it from the installed dist-packages folder
    # alone (-I: no user site, no PYTHONPATH, no current folder).
    imported=$(cd / && /usr/bin/python3 -I -c '
import sys
sys.path.insert(0, sys.argv[1])
import vhdx_inspect
result = vhdx_inspect.inspect(sys.argv[2])
print(vhdx_inspect.__file__.startswith(sys.argv[1]), result.verdict.value, result.to_dict()["path"])' \
      "$root/usr/lib/python3/dist-packages" "$sample" 2>&1)
    [[ $imported == "True sound $sample" ]] ||
      fail "python3 -c 'import vhdx_inspect' from the installed package: $imported"
  fi
fi

if [[ $failures -ne 0 ]]; then
  echo "$failures failed"
  exit 1
fi
echo "package $(basename "$deb") installs and works"
