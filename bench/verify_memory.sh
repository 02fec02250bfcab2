#!/usr/bin/env bash
# The check's memory against the number of files: peak resident memory of `pelmora-cli verify` on
# folders of 262,144 and 1,048,576 run files (runs of 65,536 files of 1 KB), beside du and find
# walking the same folder. The goal: below 16 MiB plus 64 bytes per file. Then against damage and
# runs, as text and as JSON: 150,000 damaged files (3 runs of 50,000) and 40,608 runs of one file
# each; the goal: below 64 MiB.
#   bench/verify_memory.sh [--dir DIR] [--baseline CLI] [--only files|damage]
#     --dir DIR        where the folders go (default /var/tmp: a disk, since a million files on
#                      tmpfs take a gigabyte of the machine's memory for their entries)
#     --baseline CLI   another pelmora-cli (e.g. an older build) measured in the same folders
#     --only PART      only the files part or only the damage part
# Prints a Markdown table and puts it into bench/results.md as well (its own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,12s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

dir=/var/tmp
baseline=
only=
while (($#)); do
  case $1 in
    --only) (($# >= 2)) && [[ $2 == files || $2 == damage ]] || { usage >&2; exit 2; }; only=$2; shift 2 ;;
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
. "$root/bench/native_cli.sh" verify_memory.sh

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
sizes=(262144 1048576)
[[ $only == damage ]] && sizes=()
for files in "${sizes[@]}"; do
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

# Damage and runs: every damaged file and every run is reported, and the report is written as the
# check goes. A check that finds damage exits 1, which is what it should do here.
damage_rows=()
peak_any() {
  local max=0 kib i
  for i in 1 2 3; do
    /usr/bin/time -f %M -o "$scratch/mem" "$@" >"$scratch/out" 2>"$scratch/err" || true
    kib=$(tail -n 1 "$scratch/mem")
    if ((kib > max)); then max=$kib; fi
  done
  echo "$max"
}
if [[ $only != files ]]; then
  damaged=$(mktemp -d "$dir/pelmora-verify-damage.XXXXXX")
  many=$(mktemp -d "$dir/pelmora-verify-runs.XXXXXX")
  trap 'rm -rf "$work" "$scratch" "$damaged" "$many"' EXIT
  echo "verify_memory.sh: 150,000 damaged files, 40,608 runs" >&2
  python3 - "$damaged" "$many" <<'PY'
import os, sys
damaged, many = sys.argv[1], sys.argv[2]
junk = b"x" * 1024  # random data it is not: every file differs from its first byte
for run in range(3):
    for n in range(1, 50001):
        with open(os.path.join(damaged, "random__%05d_%016d.file" % (n, run + 1)), "wb") as f:
            f.write(junk)
zeros = bytes(1024)
for run in range(40608):
    tag, value = "", run + 1
    for _ in range(16):
        tag, value = str(value % 9) + tag, value // 9
    with open(os.path.join(many, "maximal_compressible__001_%s.file" % tag), "wb") as f:
        f.write(zeros)
PY
  for program in "$cli" ${baseline:+"$baseline"}; do
    name="pelmora-cli verify"
    [[ $program == "$cli" ]] || name="baseline: $(basename "$program") verify"
    for folder in "$damaged" "$many"; do
      what="150,000 damaged files"
      [[ $folder == "$many" ]] && what="40,608 runs"
      for json in "" --json; do
        kib=$(peak_any "$program" verify $json "$folder")
        met=$( ((kib < 64 * 1024)) && echo yes || echo no)
        [[ $program == "$cli" ]] || met="—"
        damage_rows+=("| $name ${json:-(text)} | $what | $(mib "$kib") | < 64.0 MiB | $met |")
      done
    done
  done
fi

cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
machine="Machine: ${cpu:-unknown CPU}, $(nproc) cores, Linux $(uname -r), $dir on $(stat -f -c %T "$dir"), $(date -u '+%Y-%m-%d %H:%M UTC')"
# Each part has its own section of bench/results.md, so that one part run alone keeps the other's.
if ((${#rows[@]})); then
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
fi
if ((${#damage_rows[@]})); then
  report=$(
    echo "## Peak memory of the check against damage and runs"
    echo
    echo "\`bench/verify_memory.sh\`: 150,000 damaged files of 1 KB (3 runs of 50,000) and 40,608 runs of one"
    echo "file each, checked as text and as JSON, each command run three times, the largest peak resident set"
    echo "kept. Goal: below 64 MiB."
    echo
    echo "| command | folder | peak RSS | goal | met? |"
    echo "|---|---|---:|---|---|"
    printf '%s\n' "${damage_rows[@]}"
    echo
    echo "$machine"
  )
  echo "$report"
  echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" "verify_memory.sh damage"
fi
