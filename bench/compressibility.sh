#!/usr/bin/env bash
# How far common compressors shrink each type of file: pelmora-cli makes one file of each type at
# 1 MiB and at 64 MiB (fixed seeds, so the files and the figures repeat), and each compressor's
# output is measured as a share of its input.
#   bench/compressibility.sh [--dir DIR] [--quick]
#     --dir DIR    where the files go (default /dev/shm)
#     --quick      1 MiB only, for a smoke run
# Prints a Markdown table and puts it into bench/results.md as well.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,8s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

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

"$root/scripts/install-packages.sh" gzip bzip2 xz-utils zstd lz4 brotli cmake ninja-build g++ python3

# --- Build pelmora-cli (incremental, so cheap when nothing changed) -------------------------------
cli=$root/build/native/pelmora-cli
log=$root/build/compressibility-build.log
mkdir -p "$root/build"
if ! { (cd "$root" && cmake --preset native && cmake --build --preset native --target pelmora-cli); } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "compressibility.sh: the build failed (full log: $log)" >&2
  exit 1
fi

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

cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
versions="gzip $(gzip --version | head -n 1 | awk '{print $NF}'), bzip2 $(bzip2 --help 2>&1 | head -n 1 | sed 's/.*Version \([^,]*\),.*/\1/'), xz $(xz --version | head -n 1 | awk '{print $NF}'), zstd $(zstd --version | sed 's/.*v\([0-9.]*\).*/\1/'), lz4 $(lz4 --version 2>&1 | sed 's/.*v\([0-9.]*\).*/\1/'), brotli $(brotli --version | awk '{print $NF}')"
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
  echo "$versions; ${cpu:-unknown CPU}, Linux $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC')"
)
echo "$report"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" compressibility.sh
