#!/usr/bin/env bash
# The benchmark: pelmora-cli beside peer tools doing the same amount of work in the same folder,
# random data beside generator data, and the check of a folder beside cat reading it.
#   bench/run.sh [--dir DIR] [--pairs N] [--quick]
#     --dir DIR    where the files go (default /dev/shm, so the disk drops out of the figures)
#     --pairs N    timed pairs per comparison, at least 5 (default 5)
#     --quick      64 MiB instead of 1 GiB and 4,096 files instead of 65,536, for a smoke run
# Prints a Markdown table and puts it into bench/results.md as well (its own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,8s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

dir=/dev/shm
pairs=5
quick=0
while (($#)); do
  case $1 in
    --dir) (($# >= 2)) || { usage >&2; exit 2; }; dir=$2; shift 2 ;;
    --pairs) (($# >= 2)) || { usage >&2; exit 2; }; pairs=$2; shift 2 ;;
    --quick) quick=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
# Fewer than five pairs and one noisy pair moves the median.
if ! [[ $pairs =~ ^[0-9]+$ ]] || ((pairs < 5)); then
  echo "run.sh: --pairs needs a whole number of 5 or more" >&2
  exit 2
fi
[[ -d $dir && -w $dir ]] || { echo "run.sh: $dir is not a writable folder" >&2; exit 2; }

# --- What the run needs --------------------------------------------------------------------------
apt_install() { "$root/scripts/install-packages.sh" "$@"; }
missing=()
command -v fio >/dev/null || missing+=(fio)
command -v openssl >/dev/null || missing+=(openssl)
[[ -x /usr/bin/time ]] || missing+=(time)
command -v python3 >/dev/null || missing+=(python3)
missing+=(cmake ninja-build g++)
apt_install "${missing[@]}"

# --- Build (incremental, so cheap when nothing changed) ------------------------------------------
cli=$root/build/native/pelmora-cli
gen_bench=$root/build/native/bench/generator_benchmark
stale() {
  [[ -x $cli ]] || return 0
  [[ -n $(find "$root" -path "$root/build" -prune -o -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name 'CMakeLists.txt' -o -name '*.cmake' -o -name 'CMakePresets.json' \) \
    -newer "$cli" -print -quit) ]]
}
build() {
  mkdir -p "$root/build"
  local log=$root/build/bench-build.log
  if ! { (cd "$root" && cmake --preset native && cmake --build --preset native); } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "run.sh: the build failed (full log: $log)" >&2
    exit 1
  fi
}
if stale; then build; fi
# The generator benchmark is only configured when Google Benchmark is there.
if [[ ! -x $gen_bench ]]; then
  apt_install libbenchmark-dev
  build
fi

# --- Scratch space: everything written in DIR lives under one folder that goes at exit ------------
work=$(mktemp -d "$dir/pelmora-bench.XXXXXX")
scratch=$(mktemp -d)
trap 'rm -rf "$work" "$scratch"' EXIT
out=$work/out
fresh() { rm -rf "$out" && mkdir "$out"; }

if ((quick)); then
  mib=64 files=4096 scale="quick run: 64 MiB, 4,096 files"
else
  mib=1024 files=65536 scale="full run: 1 GiB, 65,536 files"
fi
bytes=$((mib * 1048576))
size_label=$( ((quick)) && echo "64 MiB" || echo "1 GiB")

# Wall time of one command in nanoseconds. The clock brackets only the child: Python's own start
# stays outside. The output file, if any, is opened beforehand as a shell redirection would be.
timer_py='
import subprocess, sys, time
target, errors, cmd = sys.argv[1], sys.argv[2], sys.argv[3:]
with open(target, "wb") as so, open(errors, "wb") as se:
    t0 = time.perf_counter_ns()
    rc = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=so, stderr=se).returncode
    t1 = time.perf_counter_ns()
print(t1 - t0)
sys.exit(rc)
'
# timed STDOUT-TARGET CMD... -> prints nanoseconds
timed() {
  local target=$1; shift
  local ns
  if ! ns=$(python3 -c "$timer_py" "$target" "$scratch/err" "$@"); then
    echo "run.sh: failed: $*" >&2
    cat "$scratch/err" >&2
    exit 1
  fi
  echo "$ns"
}

# A silent short write would flatter whoever made it: the warm-up output is checked.
check_out() {
  local want_files=$1 want_bytes=$2 what=$3 got_files got_bytes
  got_files=$(find "$out" -type f | wc -l)
  got_bytes=$(find "$out" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  if ((got_files != want_files || got_bytes != want_bytes)); then
    echo "run.sh: $what wrote $got_files files, $got_bytes bytes; expected $want_files, $want_bytes" >&2
    exit 1
  fi
}

stats_py='
import statistics, sys
a = [int(x) for x in sys.argv[1].split()]
b = [int(x) for x in sys.argv[2].split()]
print(statistics.median(a) / 1e6, statistics.median(b) / 1e6, statistics.median(x / y for x, y in zip(a, b)))
'

grouped() { echo "$1" | sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta'; }

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 | $5 | $6 |"); }

# result_row LABEL TARGET-TEXT MAX-RATIO "PELMORA-NS..." "PEER-NS...": the medians, the median
# of the pairwise ratios, and whether it meets MAX-RATIO ("-": report only).
result_row() {
  local label=$1 target=$2 max=$3 ma mb ratio met
  read -r ma mb ratio < <(python3 -c "$stats_py" "$4" "$5")
  if [[ $max == - ]]; then
    met="—"
  else
    met=$(awk -v r="$ratio" -v m="$max" 'BEGIN {print (r <= m) ? "yes" : "no"}')
  fi
  row "$label" "$(printf '%.1f ms' "$ma")" "$(printf '%.1f ms' "$mb")" "$(printf '%.3f' "$ratio")" "$target" "$met"
}

# time_pairs PREPARE B-STDOUT: times the caller's commands a and b $pairs times each into its
# ta and tb, PREPARE before every timing. Who goes first swaps each pair, so neither side always
# inherits the other's freed pages or warmed cache.
time_pairs() {
  local prepare=$1 b_out=$2 i
  for ((i = 0; i < pairs; i++)); do
    if ((i % 2 == 0)); then
      $prepare; ta+=("$(timed /dev/null "${a[@]}")")
      $prepare; tb+=("$(timed "$b_out" "${b[@]}")")
    else
      $prepare; tb+=("$(timed "$b_out" "${b[@]}")")
      $prepare; ta+=("$(timed /dev/null "${a[@]}")")
    fi
  done
}

# compare LABEL TARGET-TEXT MAX-RATIO FILES BYTES -- PELMORA-CMD... -- PEER-STDOUT PEER-CMD...
# MAX-RATIO "-" reports without a verdict. Both commands write into $out.
compare() {
  local label=$1 target=$2 max=$3 nfiles=$4 nbytes=$5; shift 5
  [[ $1 == -- ]] && shift
  local a=() b=()
  while [[ $1 != -- ]]; do a+=("$1"); shift; done
  shift
  local b_out=$1; shift
  b=("$@")
  echo "run.sh: $label" >&2

  fresh; timed /dev/null "${a[@]}" >/dev/null; check_out "$nfiles" "$nbytes" pelmora-cli
  fresh; timed "$b_out" "${b[@]}" >/dev/null; check_out "$nfiles" "$nbytes" "${b[0]}"

  local ta=() tb=()
  time_pairs fresh "$b_out"
  rm -rf "$out"
  echo "run.sh:   pelmora ns: ${ta[*]}" >&2
  echo "run.sh:   peer    ns: ${tb[*]}" >&2

  result_row "$label" "$target" "$max" "${ta[*]}" "${tb[*]}"
}

kb=$((bytes / 1024))
pel_big=("$cli" --folder "$out" --count 1 --size "$kb" --yes --quiet)

# 1. One file of non-compressible data.
compare "1 × $size_label non-compressible vs dd (zeros)" "≤ 1.05" 1.05 1 "$bytes" \
  -- "${pel_big[@]}" --type 0 \
  -- /dev/null dd if=/dev/zero of="$out/f" bs=1M count="$mib"
compare "1 × $size_label non-compressible vs openssl rand" "≤ 0.25" 0.25 1 "$bytes" \
  -- "${pel_big[@]}" --type 0 \
  -- /dev/null openssl rand -out "$out/f" "$bytes"
# fio: no preallocation (tmpfs would zero every page first), no cache invalidation, no disk
# statistics thread, one thread in-process; fresh random bytes in every buffer as pelmora makes.
compare "1 × $size_label non-compressible vs fio" "≤ 0.25" 0.25 1 "$bytes" \
  -- "${pel_big[@]}" --type 0 \
  -- /dev/null fio --name=w --filename="$out/f" --rw=write --bs=1M --size="${mib}M" --refill_buffers \
  --ioengine=sync --thread --fallocate=none --invalidate=0 --disk_util=0 --end_fsync=0 --output-format=terse
compare "1 × $size_label non-compressible vs head /dev/urandom" "report only" - 1 "$bytes" \
  -- "${pel_big[@]}" --type 0 \
  -- "$out/f" head -c "$bytes" /dev/urandom

# 2. One file of zeros.
compare "1 × $size_label zeros vs dd (zeros)" "≤ 1.05" 1.05 1 "$bytes" \
  -- "${pel_big[@]}" --type 1 \
  -- /dev/null dd if=/dev/zero of="$out/f" bs=1M count="$mib"

# 3. Many small files. split's input is made once, outside the timing, on the same file system.
input=$work/input.bin
head -c $((files * 1024)) /dev/urandom >"$input"
compare "$(grouped "$files") × 1 KB vs split -b 1024" "≤ 0.909 (≥ 1.1 × files/s)" 0.909 "$files" $((files * 1024)) \
  -- "$cli" --folder "$out" --count "$files" --size 1 --type 0 --yes --quiet \
  -- /dev/null split -b 1024 -a 5 -d "$input" "$out/x"
rm -f "$input"

# 3b. Random data beside generator data: the same writes, another generator.
compare "1 × $size_label random vs non-compressible" "≤ 1.10" 1.10 1 "$bytes" \
  -- "${pel_big[@]}" --type 2 \
  -- /dev/null "${pel_big[@]}" --type 0

# 3c. Shaped random data beside plain random data (at least 0.8 × its speed: a time ratio of at
# most 1.25), and beside fio making data of the same shape.
for shape in "10|" "50|" "90|" "50|30"; do
  compress=${shape%%|*}
  dedupe=${shape#*|}
  label="--compress $compress${dedupe:+ --dedupe $dedupe}"
  shape_args=(--compress "$compress")
  [[ -n $dedupe ]] && shape_args+=(--dedupe "$dedupe")
  compare "1 × $size_label $label vs random" "≤ 1.25 (≥ 0.8 × random's speed)" 1.25 1 "$bytes" \
    -- "${pel_big[@]}" "${shape_args[@]}" \
    -- /dev/null "${pel_big[@]}" --type 2
done
compare "1 × $size_label --compress 50 --dedupe 30 vs fio (compress 50 %, dedupe 30 %)" "report only" - 1 "$bytes" \
  -- "${pel_big[@]}" --compress 50 --dedupe 30 \
  -- /dev/null fio --name=w --filename="$out/f" --rw=write --bs=1M --size="${mib}M" --refill_buffers \
  --buffer_compress_percentage=50 --dedupe_percentage=30 \
  --ioengine=sync --thread --fallocate=none --invalidate=0 --disk_util=0 --end_fsync=0 --output-format=terse

# 3d. The check of a folder beside cat reading the same files; both read from the cache, which
# one run of each fills first. The ratio is time over time: at most 1 is at least cat's speed.
# compare_read LABEL TARGET-TEXT MAX-RATIO -- VERIFY-CMD... -- CAT-CMD...
compare_read() {
  local label=$1 target=$2 max=$3; shift 3
  [[ $1 == -- ]] && shift
  local a=() b=()
  while [[ $1 != -- ]]; do a+=("$1"); shift; done
  shift
  b=("$@")
  echo "run.sh: $label" >&2
  timed /dev/null "${a[@]}" >/dev/null
  timed /dev/null "${b[@]}" >/dev/null
  local ta=() tb=()
  time_pairs : /dev/null
  echo "run.sh:   verify ns: ${ta[*]}" >&2
  echo "run.sh:   cat    ns: ${tb[*]}" >&2
  result_row "$label" "$target" "$max" "${ta[*]}" "${tb[*]}"
}
for entry in "0|non-compressible" "2|random" "1|zeros"; do
  fresh
  "${pel_big[@]}" --type "${entry%%|*}"
  compare_read "verify 1 × $size_label ${entry#*|} vs cat > /dev/null" "≤ 1.0 (≥ cat's speed)" 1.0 \
    -- "$cli" verify "$out" -- cat "$out"/*
  # One thread, as on a disk that seeks: what the checking itself costs beside the reading.
  compare_read "verify --threads 1, 1 × $size_label ${entry#*|} vs cat > /dev/null" "report only" - \
    -- "$cli" verify --threads 1 "$out" -- cat "$out"/*
done
fresh
"${pel_big[@]}" --compress 50 --dedupe 30
compare_read "verify 1 × $size_label --compress 50 --dedupe 30 vs cat > /dev/null" "≤ 1.0 (≥ cat's speed)" 1.0 \
  -- "$cli" verify "$out" -- cat "$out"/*
fresh
"$cli" --folder "$out" --count "$files" --size 1 --type 0 --yes --quiet
compare_read "verify $(grouped "$files") × 1 KB vs find -exec cat > /dev/null" "report only" - \
  -- "$cli" verify "$out" -- find "$out" -type f -exec cat {} +
rm -rf "$out"

# 4. The generators alone, in cache.
# Median bytes per second of one benchmark of generator_benchmark over $pairs repetitions.
median_bytes_per_second() {
  echo "run.sh: $1" >&2
  local json=$scratch/gen.json
  "$gen_bench" --benchmark_filter="^$1\$" --benchmark_repetitions="$pairs" \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$json" 2>/dev/null
  python3 -c '
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
print(next(r["bytes_per_second"] for r in runs if r.get("aggregate_name") == "median"))
' "$json"
}
gigabytes() { awk -v v="$1" 'BEGIN {printf "%.1f GB/s", v / 1e9}'; }
gen_bps=$(median_bytes_per_second generator_fill/64)
gen_met=$(awk -v v="$gen_bps" 'BEGIN {print (v >= 20e9) ? "yes" : "no"}')
row "generator_fill/64 (median of $pairs repetitions)" "$(gigabytes "$gen_bps")" "—" "—" "≥ 20 GB/s" "$gen_met"
random_bps=$(median_bytes_per_second random_fill/64)
row "random_fill/64 (median of $pairs repetitions)" "$(gigabytes "$random_bps")" "—" "—" "report only" "—"

# 5. Peak resident memory; the largest of three runs, since a page or two comes and goes.
peak() {
  local max=0 kib i
  for i in 1 2 3; do
    fresh
    /usr/bin/time -f %M -o "$scratch/mem" "$@" >/dev/null 2>"$scratch/err" || {
      echo "run.sh: failed: $*" >&2; cat "$scratch/err" >&2; exit 1; }
    kib=$(tail -n 1 "$scratch/mem")
    if ((kib > max)); then max=$kib; fi
  done
  rm -rf "$out"
  echo "$max"
}
echo "run.sh: peak memory" >&2
for which in big many random; do
  if [[ $which == big ]]; then
    kib=$(peak "${pel_big[@]}" --type 0)
    label="peak RSS, 1 × $size_label"
  elif [[ $which == many ]]; then
    kib=$(peak "$cli" --folder "$out" --count "$files" --size 1 --type 0 --yes --quiet)
    label="peak RSS, $(grouped "$files") × 1 KB"
  else
    kib=$(peak "${pel_big[@]}" --type 2)
    label="peak RSS, 1 × $size_label random"
  fi
  row "$label" "$(awk -v k="$kib" 'BEGIN {printf "%.2f MiB", k / 1024}')" "—" "—" "< 10 MiB" \
    "$( ((kib < 10240)) && echo yes || echo no)"
done
# The check of a folder: its workers' blocks and the list of files.
fresh
"${pel_big[@]}" --type 2
kib=0
for i in 1 2 3; do
  /usr/bin/time -f %M -o "$scratch/mem" "$cli" verify "$out" >/dev/null 2>"$scratch/err" || {
    echo "run.sh: failed: verify" >&2; cat "$scratch/err" >&2; exit 1; }
  got=$(tail -n 1 "$scratch/mem")
  if ((got > kib)); then kib=$got; fi
done
rm -rf "$out"
row "peak RSS, verify 1 × $size_label random" "$(awk -v k="$kib" 'BEGIN {printf "%.2f MiB", k / 1024}')" "—" "—" \
  "< 10 MiB" "$( ((kib < 10240)) && echo yes || echo no)"

# --- Report --------------------------------------------------------------------------------------
cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
machine="Machine: ${cpu:-unknown CPU}, $(nproc) cores, Linux $(uname -r), $dir on $(stat -f -c %T "$dir"), $(date -u '+%Y-%m-%d %H:%M UTC')"
report=$(
  echo "# Benchmark ($scale, $pairs pairs)"
  echo
  echo "Medians of wall time; ratio = median over pairs of pelmora / peer; one warm-up of each first."
  echo "\"random vs non-compressible\" sets pelmora-cli --type 2 beside pelmora-cli --type 0; \"--compress P vs"
  echo "random\" sets shaped random data beside --type 2; the \"verify\" rows set pelmora-cli verify beside cat"
  echo "reading the same files from the cache."
  echo
  echo "| comparison | pelmora median | peer median | median ratio | target | met? |"
  echo "|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "$machine"
)
echo "$report"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" run.sh
