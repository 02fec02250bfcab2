#!/usr/bin/env bash
# Fill, then check: pelmora-cli --fill and verify beside f3 (f3write, then f3read), the capacity
# tester people use for this, on a fresh ext4 image mounted through a loop device. Caches are
# dropped before every check; each write is timed to the end of its sync.
#   bench/fill.sh [--dir DIR] [--image-mib N]
#     --dir DIR        where the image goes (default /var/tmp: the machine's disk)
#     --image-mib N    the image's size in MiB, at least 256 (default 2048)
# Needs root (loop mounts, dropping the caches). Prints a Markdown table and puts it into
# bench/results.md as well (its own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

dir=/var/tmp
image_mib=2048
while (($#)); do
  case $1 in
    --dir) (($# >= 2)) || { usage >&2; exit 2; }; dir=$2; shift 2 ;;
    --image-mib) (($# >= 2)) || { usage >&2; exit 2; }; image_mib=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "fill.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
if ! [[ $image_mib =~ ^[0-9]+$ ]] || ((image_mib < 256)); then
  echo "fill.sh: --image-mib needs a whole number of 256 or more" >&2
  exit 2
fi
((EUID == 0)) || { echo "fill.sh: loop mounts and dropping the caches need root" >&2; exit 2; }
[[ -d $dir && -w $dir ]] || { echo "fill.sh: $dir is not a writable folder" >&2; exit 2; }

"$root/scripts/install-packages.sh" f3 e2fsprogs python3 cmake ninja-build g++

. "$root/bench/native_cli.sh" fill.sh

work=$(mktemp -d "$dir/pelmora-fill.XXXXXX")
image=$work/disk.img
mnt=$work/mnt
mkdir "$mnt"
trap 'umount "$mnt" 2>/dev/null || true; rm -rf "$work"' EXIT

# A fresh file system for every step, its inode tables written at once, so that no background
# initialisation runs during a measurement.
fresh() {
  umount "$mnt" 2>/dev/null || true
  rm -f "$image"
  truncate -s "${image_mib}M" "$image"
  mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$image"
  mount -o loop "$image" "$mnt"
}
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }
now() { date +%s.%N; }
seconds() { python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.2f}')" "$1" "$2"; }
free_bytes() { df -B1 --output=avail "$mnt" | tail -n 1 | tr -d ' '; }

rows=()
# f3: its files hold what f3read checks.
fresh
free=$(free_bytes)
start=$(now); f3write "$mnt" >"$work/f3write.log"; sync; end=$(now)
f3_write=$(seconds "$start" "$end")
drop_caches
start=$(now); f3read "$mnt" >"$work/f3read.log"; end=$(now)
f3_read=$(seconds "$start" "$end")
f3_bytes=$(find "$mnt" -maxdepth 1 -name '*.h2w' -printf '%s\n' | awk '{s += $1} END {print s + 0}')
grep -q 'Data LOST: 0.00 Byte' "$work/f3read.log" || { cat "$work/f3read.log" >&2; echo "fill.sh: f3read found damage" >&2; exit 1; }
rows+=("f3write + f3read|$free|$f3_bytes|$f3_write|$f3_read|1.00|1.00")

# pelmora-cli, with files of 64 MiB and of 1 GiB: the last file takes the room that is left.
for size in 64M 1G; do
  fresh
  free=$(free_bytes)
  start=$(now); "$cli" --fill --size "$size" -q -o "$mnt/p"; sync; end=$(now)
  write=$(seconds "$start" "$end")
  drop_caches
  start=$(now); "$cli" verify --json "$mnt/p" >"$work/verify.json"; end=$(now)
  read=$(seconds "$start" "$end")
  checked=$(python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); assert r["intact"]; print(sum(x["bytes_intact"] for x in r["runs"]))' "$work/verify.json")
  rows+=("pelmora-cli --fill --size $size, verify|$free|$checked|$write|$read|$(python3 -c "print(f'{$write / $f3_write:.2f}')")|$(python3 -c "print(f'{$read / $f3_read:.2f}')")")
done

table=$(
  echo "Fill, then check, a ${image_mib} MiB ext4 image through a loop device on $(df --output=source "$dir" | tail -n 1) ($(nproc) cores, $(date -u +%Y-%m-%d)); caches dropped before each check, each write timed to the end of its sync; one run, side by side."
  echo
  echo "| tool | free bytes | bytes written and checked | write s | check s | write / f3write | check / f3read |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  for row in "${rows[@]}"; do echo "| ${row//|/ | } |"; done
)
echo "$table"
echo "$table" | python3 "$root/bench/put_section.py" "$root/bench/results.md" fill
