#!/usr/bin/env bash
# The check's memory against the number of files: peak resident memory of `pelmora-cli verify` on
# folders of 262,144 and 1,048,576 run files (runs of 65,536 files of 1 KB), beside du and find
# walking the same folder. The goal: below 16 MiB plus 64 bytes per file.
#   bench/verify_memory.sh [--dir DIR] [--baseline CLI]
#     --dir DIR        where the folders go (default /var/tmp: a disk, since a million files on
#                      tmpfs take a gigabyte of the machine's memory for their entries)
#     --baseline CLI   another pelmora-cli (e.g. an older build) measured in the same folders
# Prints a Markdown table and puts it into bench/results.md as well (its own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

dir=/var/tmp
baseline=
while (($#)); do
  case $1 in
    --dir) (($# >= 2)) || { usage >&2; exit 2; }; dir=$2; shift 2 ;;
    --baseline) (($# >= 2)) || { usage >&2; exit 2; }; baseline=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "verify_memory.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
[[ -d $dir && -w $dir ]] || { echo "verify_memory.sh: $dir is not a writable folder" >&2; exit 2; }
[[ -z $baseline || -x $baseline ]] || { echo "verify_memory.sh: $baseline is no program" >&2; exit 2; }

missing=(cmake ninja-build g++)
[[ -x /usr/bin/time ]] || missing+=(time)
"$root/scripts/install-packages.sh" "${missing[@]}"
log=$root/build/bench-build.log
mkdir -p "$root/build"
if ! { (cd "$root" && cmake --preset native && cmake --build --preset native --target pelmora-cli); } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "verify_memory.sh: the build failed (full log: $log)" >&2
  exit 1
fi
cli=$root/build/native/pelmora-cli

work=$(mktemp -d "$dir/pelmora-verify-memory.XXXXXX")
scratch=$(mktemp -d)
trap 'rm -rf "$work" "$scratch"' EXIT

# Peak resident memory in KiB of a command, the largest of three runs (a page or two comes and
# goes). A command that fails, or a check that finds damage, stops the benchmark.
peak() {
  local max=0 kib i
  for i in 1 2 3; do
    /usr/bin/time -f %M -o "$scratch/mem" "$@" >"$scratch/out" 2>"$scratch/err" || {
      echo "verify_memory.sh: failed: $*" >&2; tail -n 5 "$scratch/out" "$scratch/err" >&2; exit 1; }
    kib=$(tail -n 1 "$scratch/mem")
    if ((kib > max)); then max=$kib; fi
  done
  echo "$max"
}
mib() { awk -v k="$1" 'BEGIN {printf "%.1f MiB", k / 1024}'; }
grouped() { echo "$1" | sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta'; }

rows=()
runs=0
for files in 262144 1048576; do
  # The folder grows run by run: 4 runs, then 16.
  while ((runs * 65536 < files)); do
    runs=$((runs + 1))
    echo "verify_memory.sh: run $runs of 65,536 files" >&2
    "$cli" --folder "$work" --count 65536 --size 1 --seed "$runs" --quiet
  done
  echo "verify_memory.sh: $(grouped "$files") files" >&2
  goal=$((16 * 1024 + files * 64 / 1024))
  kib=$(peak "$cli" verify "$work")
  grep -q "^$runs runs: $runs intact, 0 not intact.$" "$scratch/out" || {
    echo "verify_memory.sh: the check did not find $runs intact runs" >&2; tail -n 3 "$scratch/out" >&2; exit 1; }
  met=$( ((kib < goal)) && echo yes || echo no)
  rows+=("| pelmora-cli verify | $(grouped "$files") | $(mib "$kib") | $(awk -v k="$kib" -v f="$files" 'BEGIN {printf "%.1f", k * 1024 / f}') | < $(mib "$goal") | $met |")
  if [[ -n $baseline ]]; then
    kib=$(peak "$baseline" verify "$work")
    rows+=("| baseline: $(basename "$baseline") verify | $(grouped "$files") | $(mib "$kib") | $(awk -v k="$kib" -v f="$files" 'BEGIN {printf "%.1f", k * 1024 / f}') | — | — |")
  fi
  kib=$(peak du -s "$work")
  rows+=("| du -s | $(grouped "$files") | $(mib "$kib") | $(awk -v k="$kib" -v f="$files" 'BEGIN {printf "%.1f", k * 1024 / f}') | — | — |")
  kib=$(peak find "$work" -type f -name '*.file')
  rows+=("| find -type f | $(grouped "$files") | $(mib "$kib") | $(awk -v k="$kib" -v f="$files" 'BEGIN {printf "%.1f", k * 1024 / f}') | — | — |")
done

cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
machine="Machine: ${cpu:-unknown CPU}, $(nproc) cores, Linux $(uname -r), $dir on $(stat -f -c %T "$dir"), $(date -u '+%Y-%m-%d %H:%M UTC')"
report=$(
  echo "## Peak memory of the check against the number of files"
  echo
  echo "\`bench/verify_memory.sh\`: runs of 65,536 files of 1 KB in one folder, each command run three times,"
  echo "the largest peak resident set (GNU time's %M) kept. Goal: below 16 MiB + 64 bytes per file."
  echo
  echo "| command | files | peak RSS | bytes per file | goal | met? |"
  echo "|---|---:|---:|---:|---|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "$machine"
)
echo "$report"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" verify_memory.sh
