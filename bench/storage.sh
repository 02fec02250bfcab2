#!/usr/bin/env bash
# The storage benchmark: pelmora-cli --direct beside fio and dd writing and reading past the cache
# on a real disk, --jobs 2 beside --jobs 1 for many small files on tmpfs, and peak memory.
#   bench/storage.sh [--dir DIR] [--pairs N] [--quick]
#     --dir DIR    a folder on the disk to measure (default /var/tmp; not tmpfs)
#     --pairs N    timed pairs per comparison, at least 5 (default 7)
#     --quick      256 MiB instead of 1 GiB and 8,192 files instead of 65,536, for a smoke run
# Prints a Markdown table and puts it into bench/results.md as well (its own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,8s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

dir=/var/tmp
pairs=7
quick=0
while (($#)); do
  case $1 in
    --dir) (($# >= 2)) || { usage >&2; exit 2; }; dir=$2; shift 2 ;;
    --pairs) (($# >= 2)) || { usage >&2; exit 2; }; pairs=$2; shift 2 ;;
    --quick) quick=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "storage.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
if ! [[ $pairs =~ ^[0-9]+$ ]] || ((pairs < 5)); then
  echo "storage.sh: --pairs needs a whole number of 5 or more" >&2
  exit 2
fi
[[ -d $dir && -w $dir ]] || { echo "storage.sh: $dir is not a writable folder" >&2; exit 2; }
if [[ $(stat -f -c %T "$dir") == tmpfs ]]; then
  echo "storage.sh: $dir is on tmpfs; direct I/O needs a disk (try --dir /var/tmp)" >&2
  exit 2
fi
shm=/dev/shm
[[ -d $shm && -w $shm ]] || { echo "storage.sh: $shm is needed for the small-file rows" >&2; exit 2; }

# --- What the run needs --------------------------------------------------------------------------
missing=()
command -v fio >/dev/null || missing+=(fio)
[[ -x /usr/bin/time ]] || missing+=(time)
command -v python3 >/dev/null || missing+=(python3)
missing+=(cmake ninja-build g++)
"$root/scripts/install-packages.sh" "${missing[@]}"

. "$root/bench/native_cli.sh" storage.sh

work=$(mktemp -d "$dir/pelmora-storage.XXXXXX")
small=$(mktemp -d "$shm/pelmora-storage.XXXXXX")
scratch=$(mktemp -d)
trap 'rm -rf "$work" "$small" "$scratch"' EXIT

if ((quick)); then
  mib=256 files=8192 scale="quick run: 256 MiB, 8,192 files"
else
  mib=1024 files=65536 scale="full run: 1 GiB, 65,536 files"
fi
bytes=$((mib * 1048576))
size_label=$( ((quick)) && echo "256 MiB" || echo "1 GiB")
grouped() { echo "$1" | sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta'; }

# Bytes per second of one command: the bytes over the wall time of the process, or, for fio, the
# bandwidth fio reports for its I/O alone (its start, about 0.4 s here, stays out: stricter for
# pelmora, whose own start counts).
rate_py='
import json, subprocess, sys, time
kind, nbytes, cmd = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
t0 = time.perf_counter()
run = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True)
seconds = time.perf_counter() - t0
if run.returncode != 0:
    sys.stderr.write(run.stderr.decode(errors="replace"))
    sys.exit(1)
if kind == "fio":
    job = json.loads(run.stdout)["jobs"][0]
    print(job["write"]["bw_bytes"] or job["read"]["bw_bytes"])
else:
    print(nbytes / seconds)
'
rate() {
  local kind=$1 n=$2; shift 2
  python3 -c "$rate_py" "$kind" "$n" "$@" || { echo "storage.sh: failed: $*" >&2; exit 1; }
}

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 | $5 | $6 |"); }

# Median of each side and median of the pairwise ratios a / b, higher is better for both.
stats_py='
import statistics, sys
a = [float(x) for x in sys.argv[1].split()]
b = [float(x) for x in sys.argv[2].split()]
print(statistics.median(a), statistics.median(b), statistics.median(x / y for x, y in zip(a, b)))
'
# result_row LABEL TARGET-TEXT MIN-RATIO UNIT-DIVISOR UNIT "A..." "B...": MIN-RATIO "-" reports only.
result_row() {
  local label=$1 target=$2 min=$3 div=$4 unit=$5 ma mb ratio met
  read -r ma mb ratio < <(python3 -c "$stats_py" "$6" "$7")
  if [[ $min == - ]]; then
    met="—"
  else
    met=$(awk -v r="$ratio" -v m="$min" 'BEGIN {print (r >= m) ? "yes" : "no"}')
  fi
  row "$label" "$(awk -v v="$ma" -v d="$div" -v u="$unit" 'BEGIN {printf "%.0f %s", v / d, u}')" \
    "$(awk -v v="$mb" -v d="$div" -v u="$unit" 'BEGIN {printf "%.0f %s", v / d, u}')" \
    "$(printf '%.3f' "$ratio")" "$target" "$met"
}

# pairs_of PREPARE KIND-A N-A CMD-A... -- KIND-B N-B CMD-B...: $pairs rates of each into ra and rb,
# PREPARE before every one; who goes first swaps from pair to pair.
pairs_of() {
  local prepare=$1; shift
  local kind_a=$1 n_a=$2; shift 2
  local a=()
  while [[ $1 != -- ]]; do a+=("$1"); shift; done
  shift
  local kind_b=$1 n_b=$2; shift 2
  local b=("$@") i
  for ((i = 0; i < pairs; i++)); do
    if ((i % 2 == 0)); then
      $prepare; ra+=("$(rate "$kind_a" "$n_a" "${a[@]}")")
      $prepare; rb+=("$(rate "$kind_b" "$n_b" "${b[@]}")")
    else
      $prepare; rb+=("$(rate "$kind_b" "$n_b" "${b[@]}")")
      $prepare; ra+=("$(rate "$kind_a" "$n_a" "${a[@]}")")
    fi
  done
}

target=$work/f
clear_target() { rm -rf "$work/out" "$target"; }
mb=1000000

# 1. Writing 1 GiB past the cache onto the disk. fio as the issue's reference: libaio, queue
# depth 8, 1 MiB blocks; it lays the file out with fallocate first, as pelmora-cli --direct does.
pel_write=("$cli" --folder "$work/out" --size "$((bytes / 1024))" --seed 1 --direct --yes --quiet)
fio_write=(fio --name=w --filename="$target" --rw=write --bs=1M --direct=1 --ioengine=libaio --iodepth=8
  --size="${mib}M" --output-format=json)
dd_write=(dd if=/dev/zero of="$target" bs=1M count="$mib" oflag=direct status=none)
echo "storage.sh: --direct write vs fio" >&2
ra=() rb=()
clear_target; rate plain "$bytes" "${pel_write[@]}" >/dev/null; clear_target; rate fio "$bytes" "${fio_write[@]}" >/dev/null
pairs_of clear_target plain "$bytes" "${pel_write[@]}" -- fio "$bytes" "${fio_write[@]}"
echo "storage.sh:   pelmora B/s: ${ra[*]}; fio B/s: ${rb[*]}" >&2
result_row "--direct write 1 × $size_label vs fio (libaio, depth 8, 1 MiB)" "≥ 0.95 × fio" 0.95 $mb MB/s "${ra[*]}" "${rb[*]}"
echo "storage.sh: --direct write vs dd" >&2
ra=() rb=()
pairs_of clear_target plain "$bytes" "${pel_write[@]}" -- plain "$bytes" "${dd_write[@]}"
result_row "--direct write 1 × $size_label vs dd oflag=direct bs=1M" "report only" - $mb MB/s "${ra[*]}" "${rb[*]}"

# 2. Reading it back past the cache: verify --direct checks every byte on the way.
clear_target
"${pel_write[@]}"
file=$(find "$work/out" -type f | head -n 1)
pel_read=("$cli" verify --direct "$work/out")
fio_read=(fio --name=r --filename="$file" --rw=read --bs=1M --direct=1 --ioengine=libaio --iodepth=8
  --size="${mib}M" --output-format=json)
dd_read=(dd if="$file" of=/dev/null bs=1M iflag=direct status=none)
echo "storage.sh: verify --direct vs fio" >&2
ra=() rb=()
pairs_of : plain "$bytes" "${pel_read[@]}" -- fio "$bytes" "${fio_read[@]}"
echo "storage.sh:   pelmora B/s: ${ra[*]}; fio B/s: ${rb[*]}" >&2
result_row "verify --direct 1 × $size_label vs fio read (libaio, depth 8, 1 MiB)" "≥ 0.95 × fio" 0.95 $mb MB/s "${ra[*]}" "${rb[*]}"
echo "storage.sh: verify --direct vs dd" >&2
ra=() rb=()
pairs_of : plain "$bytes" "${pel_read[@]}" -- plain "$bytes" "${dd_read[@]}"
result_row "verify --direct 1 × $size_label vs dd iflag=direct bs=1M" "report only" - $mb MB/s "${ra[*]}" "${rb[*]}"
rm -rf "$work/out"

# 3. Many small files on tmpfs: two jobs beside one, in files per second.
fresh_small() { rm -rf "$small/out"; }
echo "storage.sh: --jobs 2 vs --jobs 1" >&2
ra=() rb=()
many=("$cli" --folder "$small/out" --count "$files" --size 1 --seed 1 --yes --quiet)
pairs_of fresh_small plain "$files" "${many[@]}" --jobs 2 -- plain "$files" "${many[@]}" --jobs 1
result_row "$(grouped "$files") × 1 KB on tmpfs: --jobs 2 vs --jobs 1" "≥ 1.5 × files/s" 1.5 1 files/s "${ra[*]}" "${rb[*]}"
fresh_small

# 4. Peak resident memory: the largest of three runs.
peak() {
  local max=0 kib i
  for i in 1 2 3; do
    clear_target; fresh_small
    /usr/bin/time -f %M -o "$scratch/mem" "$@" >/dev/null 2>"$scratch/err" || {
      echo "storage.sh: failed: $*" >&2; cat "$scratch/err" >&2; exit 1; }
    kib=$(tail -n 1 "$scratch/mem")
    if ((kib > max)); then max=$kib; fi
  done
  echo "$max"
}
memory_row() {
  local label=$1 kib=$2
  row "$label" "$(awk -v k="$kib" 'BEGIN {printf "%.2f MiB", k / 1024}')" "—" "—" "< 16 MiB" \
    "$( ((kib < 16384)) && echo yes || echo no)"
}
echo "storage.sh: peak memory" >&2
memory_row "peak RSS, --direct --jobs 8, 16 × $((mib / 16)) MiB" \
  "$(peak "$cli" --folder "$work/out" --count 16 --size "$((bytes / 16384))" --direct --jobs 8 --yes --quiet)"
memory_row "peak RSS, --direct 1 × $size_label" "$(peak "${pel_write[@]}")"
memory_row "peak RSS, --jobs 8, $(grouped "$files") × 1 KB on tmpfs" "$(peak "${many[@]}" --jobs 8)"
clear_target
"${pel_write[@]}"
kib=0
for i in 1 2 3; do
  /usr/bin/time -f %M -o "$scratch/mem" "${pel_read[@]}" >/dev/null 2>"$scratch/err" || {
    echo "storage.sh: failed: verify" >&2; cat "$scratch/err" >&2; exit 1; }
  got=$(tail -n 1 "$scratch/mem")
  if ((got > kib)); then kib=$got; fi
done
memory_row "peak RSS, verify --direct 1 × $size_label" "$kib"

# --- Report --------------------------------------------------------------------------------------
cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
device=$(df --output=source "$dir" | tail -n 1)
machine="Machine: ${cpu:-unknown CPU}, $(nproc) cores, Linux $(uname -r), $dir on $(findmnt -n -o FSTYPE -T "$dir") ($device), $(fio --version), $(date -u '+%Y-%m-%d %H:%M UTC')"
report=$(
  echo "# Storage benchmark ($scale, $pairs pairs)"
  echo
  echo "Throughput: bytes (or files) over the wall time of the pelmora-cli process; fio's is the"
  echo "bandwidth it reports for its I/O alone, without its start. Medians of each side; the ratio is"
  echo "the median over alternating pairs of pelmora / peer (higher is better); one warm-up first."
  echo
  echo "| comparison | pelmora median | peer median | median ratio | target | met? |"
  echo "|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "$machine"
)
echo "$report"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" storage.sh
