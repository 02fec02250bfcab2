#!/usr/bin/env bash
# How far common compressors shrink each type of file: pelmora-cli makes one file of each type at
# 1 MiB and at 64 MiB (fixed seeds, so the files and the figures repeat), and each compressor's
# output is measured as a share of its input. Then shaped random data (--compress, --dedupe) beside
# fio's buffer_compress_percentage and dedupe_percentage, made and measured in the same run: whole
# files, single 4 KB blocks, and duplicate blocks counted by their contents.
#   bench/compressibility.sh [--dir DIR] [--quick]
#     --dir DIR    where the files go (default /dev/shm)
#     --quick      1 MiB only (and 100 small files for the duplicates), for a smoke run
# Prints Markdown tables and puts them into bench/results.md as well.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,11s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

dir=/dev/shm
quick=0
while (($#)); do
  case $1 in
    --dir) (($# >= 2)) || { usage >&2; exit 2; }; dir=$2; shift 2 ;;
    --quick) quick=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "compressibility.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
[[ -d $dir && -w $dir ]] || { echo "compressibility.sh: $dir is not a writable folder" >&2; exit 2; }

"$root/scripts/install-packages.sh" gzip bzip2 xz-utils zstd lz4 brotli fio cmake ninja-build g++ python3 python3-lz4
# The distribution's Python, whose lz4 module python3-lz4 installs.
python=/usr/bin/python3

# --- Build pelmora-cli (incremental, so cheap when nothing changed) -------------------------------
. "$root/bench/native_cli.sh" compressibility.sh

work=$(mktemp -d "$dir/pelmora-compressibility.XXXXXX")
trap 'rm -rf "$work"' EXIT

compressors=("gzip -9" "bzip2 -9" "xz -1" "xz -9e" "zstd -19 --long=27" "lz4 -9" "brotli -q 11")
types=("0|generator data (type 0)" "2|random data (type 2)" "1|zeros (type 1)")
sizes=(1)
((quick)) || sizes+=(64)

header="| file |"
rule="|---|"
for c in "${compressors[@]}"; do
  header+=" \`$c\` |"
  rule+="---:|"
done
rows=()
for mib in "${sizes[@]}"; do
  for entry in "${types[@]}"; do
    type=${entry%%|*}
    label=${entry#*|}
    folder=$work/type$type-$mib
    "$cli" --folder "$folder" --count 1 --size $((mib * 1024)) --type "$type" --seed 1 --quiet
    file=$(find "$folder" -type f)
    bytes=$(stat -c %s "$file")
    row="| $label, $mib MiB |"
    for c in "${compressors[@]}"; do
      echo "compressibility.sh: $c on $label, $mib MiB" >&2
      read -ra command <<<"$c"
      out=$("${command[@]}" -c <"$file" | wc -c)
      # Three decimals; a share that rounds to nothing says so rather than claim 0.
      row+=" $(awk -v o="$out" -v i="$bytes" 'BEGIN {p = 100 * o / i; if (p < 0.0005) printf "< 0.001 %%"; else printf "%.3f %%", p}') |"
    done
    rows+=("$row")
    rm -rf "$folder"
  done
done

# --- Shaped random data beside fio ----------------------------------------------------------------
# fio's buffer_compress_percentage is the share of each buffer that compresses away, so a target
# size of P % is fio's 100 - P. Both write 64 KiB at a time; fio refills every buffer.
shaped_compressors=("gzip -6" "zstd -3" "zstd -19" "lz4" "xz -6" "brotli -q 5" "bzip2 -9")
shaped_mib=$( ((quick)) && echo 1 || echo 64)
share_of() { awk -v o="$1" -v i="$2" 'BEGIN {printf "%.2f", 100 * o / i}'; }
shaped_header="| file, $shaped_mib MiB |"
shaped_rule="|---|"
for c in "${shaped_compressors[@]}"; do
  shaped_header+=" \`$c\` |"
  shaped_rule+="---:|"
done
shaped_header+=" deflate -6 per 4 KB block: mean (sd) | lz4 per 4 KB block: mean (sd) |"
shaped_rule+="---:|---:|"
shaped_rows=()
measure_row() {
  local label=$1 file=$2 bytes row out mean_d sd_d mean_l sd_l
  bytes=$(stat -c %s "$file")
  row="| $label |"
  for c in "${shaped_compressors[@]}"; do
    echo "compressibility.sh: $c on $label" >&2
    read -ra command <<<"$c"
    out=$("${command[@]}" -c <"$file" | wc -c)
    row+=" $(share_of "$out" "$bytes") |"
  done
  read -r mean_d sd_d mean_l sd_l < <("$python" "$root/bench/block_figures.py" compress "$file")
  row+=" $mean_d ($sd_d) | $mean_l ($sd_l) |"
  shaped_rows+=("$row")
}
for target in 10 25 50 75 90; do
  folder=$work/shaped-$target
  "$cli" --folder "$folder" --count 1 --size $((shaped_mib * 1024)) --compress "$target" --seed 1 --quiet
  measure_row "pelmora-cli --compress $target" "$(find "$folder" -type f)"
  rm -rf "$folder"
  mkdir -p "$folder"
  fio --name=c --filename="$folder/f" --rw=write --bs=64k --size="${shaped_mib}M" --ioengine=sync \
    --buffer_compress_percentage=$((100 - target)) --refill_buffers --output=/dev/null
  measure_row "fio buffer_compress_percentage=$((100 - target))" "$folder/f"
  rm -rf "$folder"
done

# Duplicate 4 KB blocks: pelmora-cli places exactly round(D % of the blocks) copies; fio draws.
small_files=$( ((quick)) && echo 100 || echo 1000)
dedupe_rows=()
dedupe_row() {
  local label=$1 dedupe=$2; shift 2
  local total dups expected
  read -r total dups < <("$python" "$root/bench/block_figures.py" duplicates "$@")
  expected=$(awk -v n="$total" -v d="$dedupe" 'BEGIN {e = int((n * d + 50) / 100); if (e > n - 1) e = n - 1; print e}')
  dedupe_rows+=("| $label | $dedupe % | $total | $dups | $(share_of "$dups" "$total") % | $expected |")
}
for dedupe in 0 10 30 50 90; do
  for layout in "1|$((shaped_mib * 1024))" "$small_files|64"; do
    count=${layout%%|*}
    kib=${layout#*|}
    folder=$work/dedupe
    echo "compressibility.sh: duplicates, $count x $kib KiB, $dedupe %" >&2
    "$cli" --folder "$folder" --count "$count" --size "$kib" --compress 40 --dedupe "$dedupe" --seed 1 --quiet
    dedupe_row "pelmora-cli, $count × $kib KiB" "$dedupe" "$folder"/*
    rm -rf "$folder"
    mkdir -p "$folder"
    fio --name=c --directory="$folder" --nrfiles="$count" --filesize="${kib}k" --size=$((count * kib))k \
      --rw=write --bs=64k --ioengine=sync --buffer_compress_percentage=60 --dedupe_percentage="$dedupe" \
      --refill_buffers --output=/dev/null
    dedupe_row "fio, $count × $kib KiB" "$dedupe" "$folder"/*
    rm -rf "$folder"
  done
done

cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
versions="fio $(fio --version | sed 's/^fio-//'), gzip $(gzip --version | head -n 1 | awk '{print $NF}'), bzip2 $(bzip2 --help 2>&1 | head -n 1 | sed 's/.*Version \([^,]*\),.*/\1/'), xz $(xz --version | head -n 1 | awk '{print $NF}'), zstd $(zstd --version | sed 's/.*v\([0-9.]*\).*/\1/'), lz4 $(lz4 --version 2>&1 | sed 's/.*v\([0-9.]*\).*/\1/'), brotli $(brotli --version | awk '{print $NF}')"
report=$(
  echo "## Compressed size as a share of the input"
  echo
  echo "\`bench/compressibility.sh\`: one file per row, made by \`pelmora-cli --seed 1\`; each compressor reads it"
  echo "from standard input with \`-c\`. Below 100 % the compressor found something to take out."
  echo
  echo "$header"
  echo "$rule"
  printf '%s\n' "${rows[@]}"
  echo
  echo
  echo "### Data between the extremes: \`--compress P\` beside fio"
  echo
  echo "Compressed size as a share of the input, in percent; the target is P. pelmora-cli"
  echo "\`--compress P --seed 1\`; fio \`--buffer_compress_percentage=100-P --refill_buffers --bs=64k\`."
  echo "Per block: every 4 KB block compressed alone (zlib level 6 with its 6 bytes of framing; lz4's block"
  echo "format), mean and standard deviation over the file's blocks."
  echo
  echo "$shaped_header"
  echo "$shaped_rule"
  printf '%s\n' "${shaped_rows[@]}"
  echo
  echo "### Duplicate 4 KB blocks: \`--dedupe D\` beside fio's dedupe_percentage"
  echo
  echo "Whole 4 KB blocks of all files of a run, and how many repeat an earlier one (SHA-256 of each"
  echo "block). \"exact\" is round(D % × blocks), halves up: what pelmora-cli promises. Both with data"
  echo "that compresses to 40 % (fio: buffer_compress_percentage=60)."
  echo
  echo "| run | asked | blocks | duplicate blocks | share | exact |"
  echo "|---|---:|---:|---:|---:|---:|"
  printf '%s\n' "${dedupe_rows[@]}"
  echo
  echo "$versions; ${cpu:-unknown CPU}, Linux $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC')"
)
echo "$report"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" compressibility.sh
