#!/usr/bin/env bash
# Duplicates as dedupe and backup tools see them: pelmora-cli --dedupe D --dedupe-unit U beside
# fio's dedupe_percentage, each measured by fixed blocks of 4 KiB, 128 KiB and 1 MiB (a hash of each
# block), by restic (space saved) and by borg (deduplicated size saved). Then the speed of a run at
# each unit against the same run at 4K, in alternating pairs.
#   bench/dedupe.sh [--dir DIR] [--pairs N] [--quick]
#     --dir DIR    where the files and the repositories go (default /dev/shm)
#     --pairs N    timed pairs per unit for the speed rows, at least 3 (default 5)
#     --quick      64 MiB instead of 256 MiB (64 files of 1 MiB), for a smoke run
# Prints Markdown tables and puts them into bench/results.md as well (its own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,10s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

dir=/dev/shm
pairs=5
quick=0
while (($#)); do
  case $1 in
    --dir) (($# >= 2)) || { usage >&2; exit 2; }; dir=$2; shift 2 ;;
    --pairs) (($# >= 2)) || { usage >&2; exit 2; }; pairs=$2; shift 2 ;;
    --quick) quick=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "dedupe.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
if ! [[ $pairs =~ ^[0-9]+$ ]] || ((pairs < 3)); then
  echo "dedupe.sh: --pairs needs a whole number of 3 or more" >&2
  exit 2
fi
[[ -d $dir && -w $dir ]] || { echo "dedupe.sh: $dir is not a writable folder" >&2; exit 2; }

"$root/scripts/install-packages.sh" restic borgbackup fio python3 cmake ninja-build g++

. "$root/bench/native_cli.sh" dedupe.sh

work=$(mktemp -d "$dir/pelmora-dedupe.XXXXXX")
trap 'rm -rf "$work"' EXIT

mib=$( ((quick)) && echo 64 || echo 256)
# The layouts: one file, files of 1 MiB, and files of 16 MiB (16M and file units only).
layouts=("1|$mib" "$mib|1")
big_layout="$((mib / 16))|16"

# Neither tool compresses here, so that what they save is what they deduplicate: restic with a
# repository of version 1, borg with -C none; neither encrypts. restic draws its chunker's
# polynomial for each repository, so its figures move by a few tenths from one run to the next.
export RESTIC_PASSWORD=pelmora BORG_PASSPHRASE='' BORG_UNKNOWN_UNENCRYPTED_REPO_ACCESS_IS_OK=yes
export BORG_RELOCATED_REPO_ACCESS_IS_OK=yes BORG_BASE_DIR=$work/borg-home

# figures FOLDER: the duplicate share in percent by fixed blocks of 4 KiB, 128 KiB and 1 MiB (each
# file cut from its start; a short last block counts as a block), restic's and borg's saved share.
blocks_py='
import hashlib, os, sys
folder = sys.argv[1]
paths = sorted(os.path.join(folder, name) for name in os.listdir(folder))
shares = []
for size in (4096, 131072, 1048576):
    seen, total = set(), 0
    for path in paths:
        with open(path, "rb") as f:
            while block := f.read(size):
                seen.add(hashlib.blake2b(block, digest_size=20).digest())
                total += 1
    shares.append(100.0 * (total - len(seen)) / total if total else 0.0)
print(" ".join(f"{s:.2f}" for s in shares))
'
restic_py='
import json, sys
for line in sys.stdin:
    message = json.loads(line)
    if message.get("message_type") == "summary":
        added, processed = message["data_added"], message["total_bytes_processed"]
        print(f"{100.0 * (1 - added / processed):.2f}")
'
borg_py='
import json, sys
stats = json.load(sys.stdin)["archive"]["stats"]
kept, original = stats["deduplicated_size"], stats["original_size"]
print(f"{100.0 * (1 - kept / original):.2f}")
'
figures() {
  local folder=$1 repo=$work/repo
  local fixed restic borg
  fixed=$(python3 -c "$blocks_py" "$folder")
  rm -rf "$repo"
  restic init --quiet --repo "$repo/restic" --repository-version 1 >/dev/null
  restic=$(cd "$folder" && restic backup --quiet --json --repo "$repo/restic" . | python3 -c "$restic_py")
  borg init --encryption none "$repo/borg" >/dev/null 2>&1
  borg=$(cd "$folder" && borg create --json -C none "$repo/borg::a" . | python3 -c "$borg_py")
  rm -rf "$repo"
  echo "$fixed $restic $borg"
}

# expected COUNT MIB DEDUPE UNIT: the share of the bytes that copies make, in percent, by the
# placement's count: round(D % x units), halves up, at most units - 1.
expected() {
  python3 -c '
import sys
count, mib, dedupe, unit = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
size = mib << 20
if unit == "file":
    units, unit_bytes = count, size
else:
    unit_bytes = int(unit[:-1]) << (10 if unit.endswith("K") else 20)
    units, unit_bytes = count * (size // unit_bytes), unit_bytes
copies = min(units - 1, (units * dedupe + 50) // 100) if units else 0
print(f"{100.0 * copies * unit_bytes / (count * size):.2f}")
' "$@"
}

rows=()
goal_rows=()
# goal WHAT D FIGURE LOW HIGH: a row of the goals table.
goal() {
  local met
  met=$(awk -v f="$3" -v lo="$4" -v hi="$5" 'BEGIN {print (f >= lo && f <= hi) ? "yes" : "no"}')
  goal_rows+=("| $1 | $2 % | $3 % | $6 | $met |")
}

for dedupe in 0 30 50 90; do
  for unit in 4K 128K 1M 16M file; do
    these=("${layouts[@]}")
    [[ $unit == 16M || $unit == file ]] && these+=("$big_layout")
    for layout in "${these[@]}"; do
      count=${layout%%|*}
      size=${layout#*|}
      folder=$work/data
      echo "dedupe.sh: pelmora-cli, $count × $size MiB, --dedupe $dedupe --dedupe-unit $unit" >&2
      rm -rf "$folder"
      "$cli" --folder "$folder" --count "$count" --size "${size}M" --dedupe "$dedupe" --dedupe-unit "$unit" \
        --seed 1 --quiet
      read -r b4 b128 b1m restic borg < <(figures "$folder")
      rm -rf "$folder"
      want=$(expected "$count" "$size" "$dedupe" "$unit")
      rows+=("| pelmora-cli --dedupe-unit $unit | $count × $size MiB | $dedupe % | $want % | $b4 % | $b128 % | $b1m % | $restic % | $borg % |")
      echo "${rows[-1]}" >&2
      # D ± 1 needs files enough for a share that fine: 256, not 16 (steps of 6.25 points).
      if ((dedupe > 0)) && [[ $unit == file && $count -ge 100 ]]; then
        lo=$((dedupe - 1)) hi=$((dedupe + 1))
        goal "file, $count × $size MiB, restic" "$dedupe" "$restic" "$lo" "$hi" "D ± 1"
        goal "file, $count × $size MiB, borg" "$dedupe" "$borg" "$lo" "$hi" "D ± 1"
      fi
      if ((dedupe > 0)) && [[ $unit == 16M && $size -ge 16 ]]; then
        lo=$(awk -v d="$dedupe" 'BEGIN {printf "%.2f", 0.85 * d}')
        goal "16M, $count × $size MiB, restic" "$dedupe" "$restic" "$lo" 100 "≥ 0.85 × D"
        goal "16M, $count × $size MiB, borg" "$dedupe" "$borg" "$lo" 100 "≥ 0.85 × D"
      fi
    done
  done
done

# fio copies whole buffers of bs bytes; it draws which ones, so its share is near D, not exact.
for dedupe in 0 30 50 90; do
  for bs in 4k 128k 1m; do
    for layout in "${layouts[@]}"; do
      count=${layout%%|*}
      size=${layout#*|}
      folder=$work/data
      echo "dedupe.sh: fio, $count × $size MiB, dedupe_percentage=$dedupe, bs=$bs" >&2
      rm -rf "$folder"
      mkdir -p "$folder"
      fio --name=d --directory="$folder" --nrfiles="$count" --filesize="${size}m" --size=$((count * size))m \
        --rw=write --bs="$bs" --ioengine=sync --dedupe_percentage="$dedupe" --refill_buffers \
        --randseed=1 --output=/dev/null
      read -r b4 b128 b1m restic borg < <(figures "$folder")
      rm -rf "$folder"
      rows+=("| fio bs=$bs | $count × $size MiB | $dedupe % | — | $b4 % | $b128 % | $b1m % | $restic % | $borg % |")
      echo "${rows[-1]}" >&2
    done
  done
done

# --- Speed at each unit against 4K -----------------------------------------------------------------
# 1 GiB (256 MiB with --quick) as 64 files, shaped data with copies, written to DIR; each unit in
# alternating pairs with the same run at 4K, the first of each pair swapping.
speed_mib=$( ((quick)) && echo 256 || echo 1024)
rate() {
  local unit=$1
  rm -rf "$work/speed"
  "$cli" --folder "$work/speed" --count 64 --size "$((speed_mib / 64))M" --compress 50 --dedupe 50 \
    --dedupe-unit "$unit" --seed 1 --json | python3 -c 'import json, sys; print(json.load(sys.stdin)["bytes_per_second"])'
}
speed_py='
import statistics, sys
a = [float(x) for x in sys.argv[1].split()]
b = [float(x) for x in sys.argv[2].split()]
print(f"{statistics.median(a) / 1e6:.0f} {statistics.median(b) / 1e6:.0f} {statistics.median(x / y for x, y in zip(a, b)):.3f}")
'
speed_rows=()
rate 4K >/dev/null # warm-up
for unit in 128K 1M 16M file; do
  echo "dedupe.sh: speed, $unit against 4K" >&2
  at_unit=() at_4k=()
  for ((i = 0; i < pairs; i++)); do
    if ((i % 2 == 0)); then
      at_unit+=("$(rate "$unit")"); at_4k+=("$(rate 4K)")
    else
      at_4k+=("$(rate 4K)"); at_unit+=("$(rate "$unit")")
    fi
  done
  read -r mu m4 ratio < <(python3 -c "$speed_py" "${at_unit[*]}" "${at_4k[*]}")
  met=$(awk -v r="$ratio" 'BEGIN {print (r >= 0.9) ? "yes" : "no"}')
  speed_rows+=("| $unit | $mu MB/s | $m4 MB/s | $ratio | ≥ 0.9 | $met |")
  echo "${speed_rows[-1]}" >&2
done
rm -rf "$work/speed"

cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
load=$(cut -d ' ' -f 1-3 /proc/loadavg)
versions="restic $(restic version | awk '{print $2}'), borg $(borg --version | awk '{print $2}'), fio $(fio --version | sed 's/^fio-//')"
scale=$( ((quick)) && echo "quick run: 64 MiB" || echo "full run: 256 MiB")
report=$(
  echo "# Dedupe benchmark ($scale)"
  echo
  echo "$(date -u +%Y-%m-%d), $cpu, $(nproc) processors (load $load at the end); $versions."
  echo "Files in $(stat -f -c %T "$dir"); pelmora-cli \`--dedupe D --dedupe-unit U --seed 1\` (random"
  echo "data); fio \`--dedupe_percentage=D --refill_buffers --bs=B --randseed=1\`. Fixed blocks: the"
  echo "share of blocks that repeat an earlier one, each file cut from its start. restic: 1 − data"
  echo "added / bytes processed (repository version 1, no compression); borg: 1 − deduplicated size /"
  echo "original size (\`-C none\`). \"copies\" is what the placement promises: round(D % × units) units"
  echo "as a share of the bytes."
  echo
  echo "## Goals"
  echo
  echo "| what | D | saved | goal | met? |"
  echo "|---|---|---|---|---|"
  printf '%s\n' "${goal_rows[@]}"
  echo
  echo "## Duplicate share"
  echo
  echo "| data | files | D | copies | 4 KiB blocks | 128 KiB blocks | 1 MiB blocks | restic | borg |"
  echo "|---|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "## Speed of a run at each unit against 4K"
  echo
  echo "64 files, $speed_mib MiB in all, \`--compress 50 --dedupe 50\`, $pairs alternating pairs; the"
  echo "ratio is the median of the pairwise ratios."
  echo
  echo "| unit | at the unit | at 4K | ratio | goal | met? |"
  echo "|---|---|---|---|---|---|"
  printf '%s\n' "${speed_rows[@]}"
)
echo "$report"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" dedupe.sh
