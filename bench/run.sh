#!/usr/bin/env bash
# Measures vhdx-inspect against the floor program (bench/inspection_floor.cpp),
# which makes the same reads, the same checksums and the same number of
# flushed lines per image and nothing else, and prints the ratios against
# their targets. `make bench` runs it; bench/README.md has the results.
#
# Settings (environment):
#   BENCH_BUILD       build folder                     (default build-bench)
#   BENCH_WORK        folder for the images and results (default $BENCH_BUILD/bench-work)
#   BENCH_IMAGES      images in the directory-mode run  (default 1000)
#   BENCH_RSS_IMAGES  images in the larger memory run   (default 5000)
#   BENCH_ROUNDS      interleaved rounds of hyperfine   (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BENCH_BUILD:-build-bench}
work=${BENCH_WORK:-$build/bench-work}
images=${BENCH_IMAGES:-1000}
rss_images=${BENCH_RSS_IMAGES:-5000}
rounds=${BENCH_ROUNDS:-10}

# --- what the measurement needs ----------------------------------------------
bash scripts/install-deps.sh  # the build's own packages
missing=()
command -v hyperfine >/dev/null || missing+=(hyperfine)
command -v chromium >/dev/null || missing+=(chromium)
command -v valgrind >/dev/null || missing+=(valgrind)
[[ -x /usr/bin/time ]] || missing+=(time)
dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q "install ok installed" || missing+=(libbenchmark-dev)
if [[ ${#missing[@]} -gt 0 ]]; then
  as_root=()
  if [[ $(id -u) -ne 0 ]]; then as_root=(sudo); fi
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# --- build (Release) -----------------------------------------------------------
cmake --preset bench -B "$build" >/dev/null  # CMakePresets.json
cmake --build "$build" --target vhdx-inspect inspection_floor make_bench_images checksum_bench inspection_bench \
  vhdx-inspect-json read_policy_bench vhdx-inspect-report
# The Python module (python/), when pybind11 is there; Debian's python3 runs it.
python_module=
if cmake --build "$build" --target vhdx_python_native >/dev/null 2>&1; then
  python_module=$build/python
fi
python_bench() { PYTHONPATH=$python_module /usr/bin/python3 bench/python_bench.py "$@"; }
# The slow-storage pass-through (tests/support/slow_mount.cpp), when libfuse3 is there.
slow_mount=
if cmake --build "$build" --target slow_mount >/dev/null 2>&1 && [[ -w /dev/fuse ]] && command -v fusermount3 >/dev/null; then
  slow_mount=$build/tests/support/slow_mount
fi
tool=$build/app/vhdx-inspect
json=$build/json/vhdx-inspect-json
floor=$build/bench/inspection_floor

# --- images: N copies of the sample image, sparse --------------------------------
make_images() {  # folder count
  if [[ $(find "$1" -maxdepth 1 -name '*.vhdx' 2>/dev/null | wc -l) -ne $2 ]]; then
    rm -rf "$1"
    "$build/bench/make_bench_images" "$1" "$2"
  fi
}
for n in 1 10 100 "$images" "$rss_images"; do make_images "$work/n$n" "$n"; done
single=$work/n1/image-00001.vhdx

# The floor writes as many lines, and as many bytes, as the tool does for one image.
read -r lines bytes < <("$tool" -f "$work/n$images/image-00001.vhdx" | wc -lc)
echo "per image: $lines lines, $bytes bytes"

results=$work/results
rm -rf "$results" && mkdir -p "$results"

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }

# --- wall time, interleaved ----------------------------------------------------------
# Each round runs both programs a few times, the first one in turns; the ratio
# is the median over the rounds of (tool median / floor median).
interleave() {  # name runs-per-round tool-command floor-command
  local name=$1 runs=$2 tool_cmd=$3 floor_cmd=$4 r first second
  for ((r = 1; r <= rounds; r++)); do
    first=$tool_cmd second=$floor_cmd
    if ((r % 2 == 0)); then first=$floor_cmd second=$tool_cmd; fi
    hyperfine -N --style none --output null --warmup 1 --runs "$runs" --export-csv "$results/$name-$r.csv" \
      "$first" "$second" >/dev/null
    # columns: wall ratio, tool wall, floor wall (medians), CPU ratio, tool CPU, floor CPU (user + system, means)
    awk -F, -v tool="$tool_cmd" 'NR > 1 {k = $1 == tool ? "t" : "f"; m[k] = $4; c[k] = $5 + $6}
      END {print m["t"] / m["f"], m["t"], m["f"], c["t"] / c["f"], c["t"], c["f"]}' \
      "$results/$name-$r.csv" >>"$results/$name.ratios"
  done
  cut -d' ' -f1 "$results/$name.ratios" | median
}
column_median() { cut -d' ' -f"$1" "$results/$2.ratios" | median; }
per_image_ms() {  # column images name
  awk -v n="$2" -v c="$1" '{printf "%.4f\n", $c * 1000 / n}' "$results/$3.ratios" | median
}

"$tool" -p "$work/n$images" >/dev/null  # page cache warm with what an inspection reads
echo "timing directory mode over $images images, $rounds rounds ..."
dir_ratio=$(interleave dir 3 "$tool -p $work/n$images" "$floor -p $work/n$images $lines $bytes")
dir_tool_ms=$(per_image_ms 2 "$images" dir)
dir_floor_ms=$(per_image_ms 3 "$images" dir)
dir_cpu_ratio=$(column_median 4 dir)
dir_tool_cpu_ms=$(per_image_ms 5 "$images" dir)
dir_floor_cpu_ms=$(per_image_ms 6 "$images" dir)

# The JSON program against the text program on the same images, in the same
# run: "tool" of the columns is the JSON program, "floor" the text program.
echo "timing vhdx-inspect-json against vhdx-inspect, directory mode over $images images, $rounds rounds ..."
json_ratio=$(interleave json 3 "$json -j 1 -p $work/n$images" "$tool -p $work/n$images")
json_ms=$(per_image_ms 2 "$images" json)
json_text_ms=$(per_image_ms 3 "$images" json)
json_cpu_ratio=$(column_median 4 json)

# Parallel scans: the default -j against -j 1, on local disk and through a
# mount that adds 2 ms to every open, read and listing (tests/support/slow_mount.cpp).
echo "timing vhdx-inspect-json's default -j against -j 1, local disk, $rounds rounds ..."
jobs_local_ratio=$(interleave jobs 3 "$json -j 1 -p $work/n$images" "$json -p $work/n$images")
jobs_slow_ratio="n/a (no FUSE)"
if [[ -n $slow_mount ]]; then
  echo "timing vhdx-inspect-json's default -j against -j 1, 100 images at 2 ms a request, 3 rounds ..."
  mount_point=$work/slow-mount
  mkdir -p "$mount_point"
  "$slow_mount" "$work" "$mount_point" 2000 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do mountpoint -q "$mount_point" && break; sleep 0.05; done
  saved_rounds=$rounds
  rounds=3
  jobs_slow_ratio=$(interleave jobs-slow 1 "$json -j 1 -p $mount_point/n100" "$json -p $mount_point/n100")
  rounds=$saved_rounds
  if [[ -n $python_module ]]; then
    echo "timing the Python module, 4 threads against 1, 100 images at 2 ms a request, 3 rounds ..."
    read -r py_threads_ratio py_one_ms py_four_ms < <(python_bench threads "$mount_point/n100" 3)
  fi
  fusermount3 -u "$mount_point"
  wait
fi

# The library's two read policies side by side (bench/read_policy_bench.cpp):
# bytes and read calls per image, the local page-cache time at -j 1, and the
# time through 1 ms a request and one shared 110 MB/s link at the JSON
# program's default -j (8). Ratios are whole regions / examined extents.
policy_bench=$build/bench/read_policy_bench
policy_counts() { "$policy_bench" "$1" 1 "$work/n100" | awk '{print $6, $8}'; }
read -r whole_bytes whole_reads < <(policy_counts whole)
read -r examined_bytes examined_reads < <(policy_counts examined)
# With the structure pass, as vhdx-inspect-json and the Python module inspect.
read -r checked_bytes checked_reads < <(policy_counts checked)
echo "timing the read policies, local disk, -j 1, $rounds rounds ..."
policy_local_ratio=$(interleave policy-local 3 "$policy_bench whole 1 $work/n100" "$policy_bench examined 1 $work/n100")
policy_slow_ratio="n/a (no FUSE)"
checked_slow_ratio="n/a (no FUSE)"
if [[ -n $slow_mount ]]; then
  echo "timing the read policies through 1 ms + 110 MB/s, 100 images, -j 8, 3 rounds ..."
  mount_point=$work/slow-link
  mkdir -p "$mount_point"
  "$slow_mount" --link 110 "$work" "$mount_point" 1000 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do mountpoint -q "$mount_point" && break; sleep 0.05; done
  saved_rounds=$rounds
  rounds=3
  policy_slow_ratio=$(interleave policy-slow 1 "$policy_bench whole 8 $mount_point/n100" \
    "$policy_bench examined 8 $mount_point/n100")
  checked_slow_ratio=$(interleave checked-slow 1 "$policy_bench whole 8 $mount_point/n100" \
    "$policy_bench checked 8 $mount_point/n100")
  rounds=$saved_rounds
  fusermount3 -u "$mount_point"
  wait
fi

# The Python module against the JSON program, and the Dask example.
py_threads_ratio=${py_threads_ratio:-"n/a (no FUSE)"} py_one_ms=${py_one_ms:-} py_four_ms=${py_four_ms:-}
py_ratio="n/a (no module)" py_ms= py_json_ms= py_to_json_ratio= dask_figure="n/a"
if [[ -n $python_module ]]; then
  echo "timing vhdx_inspect.inspect against vhdx-inspect-json -j 1, $images images, $rounds rounds ..."
  read -r py_ratio py_ms py_json_ms py_to_json_ratio < <(python_bench local "$work/n$images" "$json" "$rounds")
  if /usr/bin/python3 -c 'import distributed' 2>/dev/null; then
    echo "the Dask example on a LocalCluster of 2 workers, $images images ..."
    PYTHONPATH=$python_module /usr/bin/python3 examples/python/dask_scan.py -p "$work/n$images" --workers 2 \
      >"$results/dask.jsonl" 2>"$results/dask.txt" || true
    "$json" -p "$work/n$images" >"$results/json.jsonl" || true
    same=$(cmp -s "$results/dask.jsonl" "$results/json.jsonl" && echo "equal to" || echo "DIFFERENT from")
    dask_figure="$(grep -o '[0-9]* images in .*' "$results/dask.txt" | head -1); $(grep -o 'cluster ready in .*' "$results/dask.txt"); output $same vhdx-inspect-json's"
  else
    dask_figure="n/a (python3-distributed is not installed)"
  fi
fi

echo "timing one image (-f), $rounds rounds ..."
single_ratio=$(interleave single 30 "$tool -f $single" "$floor -f $single $lines $bytes")
single_tool_ms=$(per_image_ms 2 1 single)
single_floor_ms=$(per_image_ms 3 1 single)

# --- user-space instructions per image (callgrind) -------------------------------
# (instructions over 100 images - instructions over 10 images) / 90, so that
# the start-up of the process cancels out.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null | awk '/Collected/ {print $NF}'
}
per_image_instructions() {  # a command in which {} stands for the folder of images
  local few many
  few=$(instructions "${@//\{\}/$work/n10}")
  many=$(instructions "${@//\{\}/$work/n100}")
  echo $(((many - few) / 90))
}
echo "counting instructions (callgrind) ..."
tool_ir=$(per_image_instructions "$tool" -p {})
floor_ir=$(per_image_instructions "$floor" -p {} "$lines" "$bytes")
ir_ratio=$(ratio "$tool_ir" "$floor_ir")
json_ir=$(per_image_instructions "$json" -j 1 -p {})
whole_ir=$(per_image_instructions "$policy_bench" whole 1 {})
examined_ir=$(per_image_instructions "$policy_bench" examined 1 {})
checked_ir=$(per_image_instructions "$policy_bench" checked 1 {})
json_ir_ratio=$(ratio "$json_ir" "$tool_ir")
tool_single_ir=$(instructions "$tool" -f "$single")
floor_single_ir=$(instructions "$floor" -f "$single" "$lines" "$bytes")

# --- peak memory -------------------------------------------------------------------
# The median of three runs: the allocator's arenas make a single run's peak
# vary by some 250 KiB.
peak_kib() {
  for _ in 1 2 3; do /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}'; done |
    sort -n | sed -n 2p
}
echo "peak memory at 100 and $rss_images images ..."
rss_small=$(peak_kib "$tool" -p "$work/n100")
rss_large=$(peak_kib "$tool" -p "$work/n$rss_images")
rss_growth=$((rss_large - rss_small))
json_rss_small=$(peak_kib "$json" -p "$work/n100")  # at the default -j
json_rss_large=$(peak_kib "$json" -p "$work/n$rss_images")
json_rss_growth=$((json_rss_large - json_rss_small))

# --- checksums and one in-memory inspection (Google Benchmark) ------------------------
echo "checksum benchmarks ..."
"$build/bench/checksum_bench" --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/checksums.csv" --benchmark_out_format=csv >"$results/checksums.txt" 2>&1
cpu_time() { awk -F, -v n="\"$1_median\"" '$1 == n {print $4}' "$results/checksums.csv"; }
crc4k=$(ratio "$(cpu_time BM_Crc32cByteAtATime/4096)" "$(cpu_time BM_Crc32cSlicingBy8/4096)")
crc64k=$(ratio "$(cpu_time BM_Crc32cByteAtATime/65536)" "$(cpu_time BM_Crc32cSlicingBy8/65536)")
"$build/bench/inspection_bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  >"$results/inspection.txt" 2>&1

# --- report -----------------------------------------------------------------------
at_most() { awk -v v="$1" -v limit="$2" 'BEGIN {print (v <= limit) ? "met" : "NOT MET"}'; }
at_least() { awk -v v="$1" -v limit="$2" 'BEGIN {print (v >= limit) ? "met" : "NOT MET"}'; }
cat <<EOF

vhdx-inspect against the floor program: $(date -u +%Y-%m-%d), $(nproc) CPUs, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)
per image $lines lines, $bytes bytes; raw results in $results

| Measure | Tool | Floor | Ratio | Target | |
|---|---|---|---|---|---|
| directory mode, $images images: wall time per image | $dir_tool_ms ms | $dir_floor_ms ms | $dir_ratio | <= 1.10 | $(at_most "$dir_ratio" 1.10) |
| directory mode: CPU time (user + system) per image | $dir_tool_cpu_ms ms | $dir_floor_cpu_ms ms | $dir_cpu_ratio | | |
| directory mode: user-space instructions per image | $tool_ir | $floor_ir | $ir_ratio | <= 1.15 | $(at_most "$ir_ratio" 1.15) |
| one image (-f): wall time per run | $single_tool_ms ms | $single_floor_ms ms | $single_ratio | <= 1.20 | $(at_most "$single_ratio" 1.20) |
| one image (-f): user-space instructions per run | $tool_single_ir | $floor_single_ir | $(ratio "$tool_single_ir" "$floor_single_ir") | | |
| peak RSS, 100 -> $rss_images images | $rss_small -> $rss_large KiB | | $(printf %+d "$rss_growth") KiB | <= +256 KiB | $(at_most "$rss_growth" 256) |
| CRC-32C slicing-by-8 vs byte at a time, 4 KiB | | | $crc4k x | >= 5 x | $(at_least "$crc4k" 5) |
| CRC-32C slicing-by-8 vs byte at a time, 64 KiB | | | $crc64k x | >= 5 x | $(at_least "$crc64k" 5) |

vhdx-inspect-json against vhdx-inspect, the same images in the same run

| Measure | JSON | Text | Ratio | Target | |
|---|---|---|---|---|---|
| directory mode (-j 1), $images images: wall time per image | $json_ms ms | $json_text_ms ms | $json_ratio | <= 1.30 | $(at_most "$json_ratio" 1.30) |
| directory mode: CPU time (user + system), ratio | | | $json_cpu_ratio | | |
| directory mode: user-space instructions per image | $json_ir | $tool_ir | $json_ir_ratio | | |
| peak RSS at the default -j, 100 -> $rss_images images | $json_rss_small -> $json_rss_large KiB | | $(printf %+d "$json_rss_growth") KiB | <= +256 KiB | $(at_most "$json_rss_growth" 256) |
| -j 1 time / default -j time, local disk, $images images | | | $jobs_local_ratio | >= 1.6 | $(at_least "$jobs_local_ratio" 1.6) |
| -j 1 time / default -j time, 100 images at 2 ms a request | | | $jobs_slow_ratio | >= 4 | $(at_least "${jobs_slow_ratio%% *}" 4) |

The library's read policies, the sample image (read_policy_bench)

| Measure | Whole regions | Examined extents | Ratio | Target | |
|---|---|---|---|---|---|
| bytes read per image | $whole_bytes | $examined_bytes | | <= 524288 | $(at_most "$examined_bytes" 524288) |
| read calls per image | $whole_reads | $examined_reads | | <= 5 | $(at_most "$examined_reads" 5) |
| user-space instructions per image, -j 1 | $whole_ir | $examined_ir | $(ratio "$examined_ir" "$whole_ir") | <= 1 | $(at_most "$(ratio "$examined_ir" "$whole_ir")" 1) |
| local disk, page cache warm, -j 1: time whole / examined | | | $policy_local_ratio | >= 1.3 | $(at_least "$policy_local_ratio" 1.3) |
| 1 ms a request + one 110 MB/s link, 100 images, -j 8: time whole / examined | | | $policy_slow_ratio | >= 3.5 | $(at_least "${policy_slow_ratio%% *}" 3.5) |

The structure pass (read_policy_bench checked: examined extents with the pass, as vhdx-inspect-json reads)

| Measure | Without the pass | With the pass | Ratio | Target | |
|---|---|---|---|---|---|
| bytes read per image | $examined_bytes | $checked_bytes | | <= 524288 | $(at_most "$checked_bytes" 524288) |
| read calls per image | $examined_reads | $checked_reads | | <= 6 | $(at_most "$checked_reads" 6) |
| user-space instructions per image, -j 1 | $examined_ir | $checked_ir | $(ratio "$checked_ir" "$examined_ir") | <= 1.10 | $(at_most "$(ratio "$checked_ir" "$examined_ir")" 1.10) |
| 1 ms a request + one 110 MB/s link, 100 images, -j 8: time whole regions / with the pass | | | $checked_slow_ratio | >= 3.5 | $(at_least "${checked_slow_ratio%% *}" 3.5) |

The Python module (vhdx_inspect) against vhdx-inspect-json, the same images in the same run

| Measure | Python | JSON | Ratio | Target | |
|---|---|---|---|---|---|
| vhdx_inspect.inspect, one thread, against -j 1, $images images: wall time per image | $py_ms ms | $py_json_ms ms | $py_ratio | <= 1.30 | $(at_most "${py_ratio%% *}" 1.30) |
| the same with to_json() of each image, ratio | | | $py_to_json_ratio | | |
| 1 thread time / 4 threads time, 100 images at 2 ms a request | $py_one_ms ms | $py_four_ms ms | $py_threads_ratio | >= 3 | $(at_least "${py_threads_ratio%% *}" 3) |

Dask example (examples/python/dask_scan.py, LocalCluster, 2 worker processes, batches of 64): $dask_figure
EOF
echo
grep -E "_median" "$results/checksums.txt" "$results/inspection.txt" | sed 's/^[^:]*://' || true

# vhdx-inspect-report at scale: the page's bytes per image, 10,000 images in
# headless chromium, the report's time against the JSON program's.
BENCH_ROUNDS=$rounds bash bench/report_bench.sh "$build" "$work"
