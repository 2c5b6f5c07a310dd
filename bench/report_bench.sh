#!/usr/bin/env bash
# vhdx-inspect-report at scale, run by bench/run.sh (make bench) after its
# own measures, or alone once the bench build holds the programs:
#
#   bash bench/report_bench.sh [build-folder [work-folder]]
#
# - the page's size for 1,000 and 10,000 sound images and as many damaged
#   ones (copies of the sample image whose backup GPT header has a wrong
#   CRC-32: gpt_mismatch, with a map of the file and of the disk): the bytes
#   each image adds, from the difference;
# - the time headless chromium takes to open a page of 10,000 images (all
#   sound; 9,000 sound and 1,000 damaged; all damaged) and paint its first
#   screen, and to print its DOM, start-up included (an empty page's times
#   are given beside them);
# - the time the report of a scan takes against vhdx-inspect-json's time for
#   the same scan (hyperfine, interleaved, medians), sound and damaged.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${BENCH_BUILD:-build-bench}}
work=${2:-${BENCH_WORK:-$build/bench-work}}
rounds=${BENCH_ROUNDS:-10}
report=$build/report/vhdx-inspect-report
json=$build/json/vhdx-inspect-json
results=$work/report-results
mkdir -p "$results"
chromium=$(command -v chromium || true)

# Sound images from the bench's writer; damaged ones as their copies with the
# backup GPT header's CRC-32 (data area 4 MiB + trailer offset 1 MiB + 16 KiB
# of backup entries, then 16 bytes into the header) overwritten.
make_sound() {  # folder count
  if [[ $(find "$1" -maxdepth 1 -name '*.vhdx' 2>/dev/null | wc -l) -ne $2 ]]; then
    rm -rf "$1"
    "$build/bench/make_bench_images" "$1" "$2" >/dev/null
  fi
}
make_damaged() {  # folder count sound-folder
  if [[ $(find "$1" -maxdepth 1 -name '*.vhdx' 2>/dev/null | wc -l) -ne $2 ]]; then
    rm -rf "$1"
    cp -r --sparse=always "$3" "$1"
    python3 - "$1" <<'PY'
import os, sys
at = 4 * 1024 * 1024 + 1024 * 1024 + 16384 + 16
for name in os.listdir(sys.argv[1]):
    with open(os.path.join(sys.argv[1], name), "r+b") as image:
        image.seek(at)
        image.write(b"\x78\x56\x34\x12")
PY
  fi
}
for n in 1000 10000; do
  make_sound "$work/n$n" "$n"
  make_damaged "$work/d$n" "$n" "$work/n$n"
done
"$report" -f "$work/d1000/image-00001.vhdx" -o "$results/one-damaged.html" || true
grep -q 'class="mark finding" data-check="gpt.header_crc"' "$results/one-damaged.html" ||
  { echo "report_bench: the damaged copies are not damaged as meant" >&2; exit 1; }

# --- the page's size -----------------------------------------------------------
page_bytes() {  # folder
  "$report" -p "$1" -o "$results/page.html" || true
  stat -c %s "$results/page.html"
}
sound_1k=$(page_bytes "$work/n1000")
sound_10k=$(page_bytes "$work/n10000")
damaged_1k=$(page_bytes "$work/d1000")
damaged_10k=$(page_bytes "$work/d10000")
per() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.0f", (b - a) / 9000}'; }
per_sound=$(per "$sound_1k" "$sound_10k")
per_damaged=$(per "$damaged_1k" "$damaged_10k")

# --- opening 10,000 images in headless chromium ------------------------------------------
"$report" -p "$work/n10000" -o "$results/sound-10k.html" || true
"$report" -p "$work/d10000" -o "$results/damaged-10k.html" || true
{ find "$work/n10000" -name '*.vhdx' | sort | awk 'NR <= 9000'; find "$work/d1000" -name '*.vhdx' | sort; } >"$results/mixed.list"
"$report" --files-from "$results/mixed.list" -o "$results/mixed-10k.html" || true
"$report" --from-json /dev/null -o "$results/empty.html"
empty=$(stat -c %s "$results/empty.html")
# Opening: chromium loads the page and paints its first screen (1280 x 1000
# pixels) into a PNG, as a person opening the page sees it; --dump-dom, which
# serialises the whole DOM back to text as well, is given beside it.
open_s=()
dom_s=()
seconds() { python3 -c 'import json,sys; print("%.2f" % json.load(open(sys.argv[1]))["results"][0]["median"])' "$1"; }
if [[ -n $chromium ]]; then
  browser="$chromium --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir=$results/profile"
  for page in empty sound-10k mixed-10k damaged-10k; do
    url=file://$(realpath "$results/$page.html")
    hyperfine -N --style none --runs 3 --export-json "$results/open-$page.json" --output null \
      "$browser --hide-scrollbars --window-size=1280,1000 --screenshot=$results/$page.png $url" >/dev/null
    open_s+=("$(seconds "$results/open-$page.json")")
    hyperfine -N --style none --runs 3 --export-json "$results/dom-$page.json" --output null \
      "$browser --dump-dom $url" >/dev/null
    dom_s+=("$(seconds "$results/dom-$page.json")")
  done
else
  open_s=("n/a (no chromium)" n/a n/a n/a)
  dom_s=(n/a n/a n/a n/a)
fi

# --- writing the page against the JSON program's lines ---------------------------------
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
versus() {  # name folder
  local r first second
  : >"$results/$1.ratios"
  for ((r = 1; r <= rounds; r++)); do
    first="$report -p $2 -o /dev/null" second="$json -p $2"
    if ((r % 2 == 0)); then first="$json -p $2" second="$report -p $2 -o /dev/null"; fi
    hyperfine -N --style none --output null --warmup 1 --runs 3 -i --export-csv "$results/$1-$r.csv" \
      "$first" "$second" >/dev/null
    awk -F, 'NR > 1 {k = ($1 ~ /report/) ? "r" : "j"; m[k] = $4} END {print m["r"] / m["j"], m["r"], m["j"]}' \
      "$results/$1-$r.csv" >>"$results/$1.ratios"
  done
  cut -d' ' -f1 "$results/$1.ratios" | median
}
"$json" -p "$work/n1000" >/dev/null || true
sound_ratio=$(versus sound "$work/n1000")
damaged_ratio=$(versus damaged "$work/d1000")
ms() { cut -d' ' -f"$1" "$results/$2.ratios" | median | awk '{printf "%.1f", $1 * 1000}'; }

at_most() { awk -v v="$1" -v limit="$2" 'BEGIN {print (v <= limit) ? "met" : "NOT MET"}'; }
cat <<EOT

vhdx-inspect-report at scale: $(date -u +%Y-%m-%d), $(nproc) CPUs; raw results in $results

| Measure | Value | Target | |
|---|---|---|---|
| page, 1,000 / 10,000 sound images | $sound_1k / $sound_10k bytes | | |
| page, 1,000 / 10,000 damaged images (gpt_mismatch, two maps each) | $damaged_1k / $damaged_10k bytes | | |
| bytes per sound image (from 1,000 to 10,000) | $per_sound | | |
| bytes per damaged image | $per_damaged | | |
| a page of no image | $empty bytes | | |
| headless chromium, empty page: open and paint the first screen / and print the DOM | ${open_s[0]} s / ${dom_s[0]} s | | |
| the same, 10,000 sound images | ${open_s[1]} s / ${dom_s[1]} s | <= 5 s | $(at_most "${open_s[1]%% *}" 5) |
| the same, 9,000 sound and 1,000 damaged | ${open_s[2]} s / ${dom_s[2]} s | <= 5 s | $(at_most "${open_s[2]%% *}" 5) |
| the same, 10,000 damaged | ${open_s[3]} s / ${dom_s[3]} s | | |
| report / JSON program, 1,000 sound images, default -j (median of $rounds rounds) | $(ms 2 sound) ms / $(ms 3 sound) ms: $sound_ratio | <= 1.2 | $(at_most "$sound_ratio" 1.2) |
| report / JSON program, 1,000 damaged images | $(ms 2 damaged) ms / $(ms 3 damaged) ms: $damaged_ratio | <= 1.2 | $(at_most "$damaged_ratio" 1.2) |
EOT
