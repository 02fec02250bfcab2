#!/usr/bin/env bash
# Taking a run away: `pelmora-cli clean DIR` beside `rm -rf DIR` on the same run (by default 65,536
# files of 0 KB), on tmpfs and on the disk, side by side in one run. Each tool removes a fresh copy
# of the run, made by pelmora-cli with the same seed; the two take turns, three times each, and the
# median counts. clean also reads every entry's kind and size and keeps the folder and everything
# in it that is not the run's, which rm -rf does not.
#   bench/clean.sh [--files N] [--tmpfs DIR] [--disk DIR] [--rounds R]
#     --files N    files in the run (default 65536)
#     --tmpfs DIR  a folder on tmpfs (default /dev/shm)
#     --disk DIR   a folder on the disk (default /var/tmp)
#     --rounds R   removals by each tool in each place (default 3)
# Prints a Markdown table and puts it into bench/results.md as well (its own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,12s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

files=65536
tmpfs=/dev/shm
disk=/var/tmp
rounds=3
while (($#)); do
  case $1 in
    --files) (($# >= 2)) && [[ $2 =~ ^[1-9][0-9]*$ ]] || { usage >&2; exit 2; }; files=$2; shift 2 ;;
    --tmpfs) (($# >= 2)) || { usage >&2; exit 2; }; tmpfs=$2; shift 2 ;;
    --disk) (($# >= 2)) || { usage >&2; exit 2; }; disk=$2; shift 2 ;;
    --rounds) (($# >= 2)) && [[ $2 =~ ^[1-9][0-9]*$ ]] || { usage >&2; exit 2; }; rounds=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "clean.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
for place in "$tmpfs" "$disk"; do
  [[ -d $place && -w $place ]] || { echo "clean.sh: $place is not a writable folder" >&2; exit 2; }
done

"$root/scripts/install-packages.sh" cmake ninja-build g++
. "$root/bench/native_cli.sh" clean.sh

work=()
trap 'rm -rf "${work[@]}"' EXIT

# A fresh copy of the run in a new folder under $1; prints the folder.
make_run() {
  local folder
  folder=$(mktemp -d "$1/pelmora-clean.XXXXXX")
  work+=("$folder")
  "$cli" --folder "$folder" --count "$files" --size 0 --seed 1 --quiet
  sync -f "$folder"
  echo "$folder"
}

# Seconds the command takes, to the microsecond.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  awk -v n=$((end - start)) 'BEGIN {printf "%.6f", n / 1e9}'
}

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
grouped() { echo "$1" | sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta'; }

rows=()
for place in "$tmpfs" "$disk"; do
  kind=$(stat -f -c %T "$place")
  clean_times=()
  rm_times=()
  for ((round = 1; round <= rounds; round++)); do
    echo "clean.sh: $place ($kind), round $round of $rounds" >&2
    folder=$(make_run "$place")
    clean_times+=("$(seconds "$cli" clean "$folder")")
    left=$(find "$folder" -mindepth 1 | wc -l)
    ((left == 0)) || { echo "clean.sh: clean left $left entries in $folder" >&2; exit 1; }
    rmdir "$folder"
    folder=$(make_run "$place")
    rm_times+=("$(seconds rm -rf "$folder")")
  done
  c=$(median "${clean_times[@]}")
  r=$(median "${rm_times[@]}")
  rows+=("$(awk -v place="$place ($kind)" -v files="$(grouped "$files")" -v c="$c" -v r="$r" -v n="$files" \
    'BEGIN {printf "| %s | %s × 0 KB | %.3f s | %.3f s | %.2f | %.0f | %.0f |", place, files, c, r, c / r, n / c, n / r}')")
done

report=$(
  echo "## Taking a run away: clean beside rm -rf"
  echo
  echo "Median of $rounds removals of a fresh copy of the run by each tool, taking turns; $(nproc) processors."
  echo
  echo "| place | run | clean | rm -rf | clean / rm -rf | clean files/s | rm -rf files/s |"
  echo "|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
)
echo "$report"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" clean.sh
