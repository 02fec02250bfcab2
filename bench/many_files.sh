#!/usr/bin/env bash
# A million files in a tree: the create rate of pelmora-cli (--jobs 1 and 2) beside a minimal C
# loop (bench/create_loop.c: openat O_CREAT|O_EXCL, one write, close) and fs_mark, 1,000,000
# files of 0 KB and of 4 KB at 1,000 a folder, on a fresh tmpfs and on a fresh ext4 image through
# a loop device; then verify of pelmora's tree (files/s, peak memory) and clean beside rm -rf.
#   bench/many_files.sh [--count N] [--per-folder N] [--only tmpfs|ext4] [--dir DIR]
#     --count N        files in each tree, 1 to 1000000 (default 1000000; fs_mark makes at most a
#                      million files in one go)
#     --per-folder N   files in a folder, 2 or more (default 1000)
#     --only PLACE     only tmpfs or only ext4
#     --dir DIR        where the ext4 image and the mount points go (default /var/tmp: the disk)
# Needs root (mounts, dropping the caches). Prints Markdown tables and puts them into
# bench/results.md as well (their own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,13s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

count=1000000
per_folder=1000
only=
dir=/var/tmp
while (($#)); do
  case $1 in
    --count) (($# >= 2)) && [[ $2 =~ ^[1-9][0-9]*$ ]] && (($2 <= 1000000)) || { usage >&2; exit 2; }; count=$2; shift 2 ;;
    --per-folder) (($# >= 2)) && [[ $2 =~ ^[1-9][0-9]*$ ]] && (($2 >= 2)) || { usage >&2; exit 2; }; per_folder=$2; shift 2 ;;
    --only) (($# >= 2)) && [[ $2 == tmpfs || $2 == ext4 ]] || { usage >&2; exit 2; }; only=$2; shift 2 ;;
    --dir) (($# >= 2)) || { usage >&2; exit 2; }; dir=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "many_files.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
((EUID == 0)) || { echo "many_files.sh: mounts and dropping the caches need root" >&2; exit 2; }
[[ -d $dir && -w $dir ]] || { echo "many_files.sh: $dir is not a writable folder" >&2; exit 2; }
places=(tmpfs ext4)
[[ -n $only ]] && places=("$only")

missing=(fsmark e2fsprogs python3 cmake ninja-build g++)
[[ -x /usr/bin/time ]] || missing+=(time)
"$root/scripts/install-packages.sh" "${missing[@]}"
. "$root/bench/native_cli.sh" many_files.sh

began=$(date +%s)
load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)
work=$(mktemp -d "$dir/pelmora-many-files.XXXXXX")
image=$work/disk.img
# fs_mark takes no folder path of 40 bytes or more: the mount point is a short one in /tmp.
mnt=$(mktemp -d /tmp/pelmora-mf.XXXXXX)
trap 'umount "$mnt" 2>/dev/null || true; rmdir "$mnt"; rm -rf "$work"' EXIT

loop=$work/create_loop
cc -O2 -Wall -Wextra -o "$loop" "$root/bench/create_loop.c"

# Room for the largest tree: 4 KB and about 2 KB of entries a file on tmpfs; on ext4 an inode for
# every file and folder, its blocks and the journal. Both sizes use the same image.
tmpfs_mib=$((count * 6 / 1024 + 256))
image_mib=$((count * 6 / 1024 + 1024))
inodes=$((count + count / per_folder + 65536))

# A fresh file system for every tree, so that none starts where another left off; ext4's inode
# tables are written at once, so that no background initialisation runs during a measurement.
fresh() {
  umount "$mnt" 2>/dev/null || true
  if [[ $1 == tmpfs ]]; then
    mount -t tmpfs -o "size=${tmpfs_mib}m,nr_inodes=$inodes" tmpfs "$mnt"
  else
    rm -f "$image"
    truncate -s "${image_mib}M" "$image"
    mkfs.ext4 -q -F -N "$inodes" -E lazy_itable_init=0,lazy_journal_init=0 "$image"
    mount -o loop "$image" "$mnt"
  fi
  drop_caches
}
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }

# Runs a command with its output in $work/out, its wall time in $seconds (process start and end
# included, the same for every tool) and its peak resident memory in $kib. A failure stops all.
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/mem" "$@" >"$work/out" 2>"$work/err" || {
    echo "many_files.sh: failed: $*" >&2; tail -n 5 "$work/out" "$work/err" >&2; exit 1; }
  end=$(date +%s%N)
  seconds=$(awk -v n=$((end - start)) 'BEGIN {printf "%.3f", n / 1e9}')
  kib=$(tail -n 1 "$work/mem")
}
# Seconds of a sync of everything the last step left dirty (0 on tmpfs): not part of the rate.
timed_sync() {
  local start end
  start=$(date +%s%N)
  sync
  end=$(date +%s%N)
  awk -v n=$((end - start)) 'BEGIN {printf "%.2f", n / 1e9}'
}
json() { python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$work/out" "$1"; }
# The shape of a tree: how many folders and files at each depth.
shape() { find "$1" -mindepth 1 -printf '%d %y\n' | awk '{n[$0]++} END {for (k in n) print k ": " n[k]}' | sort | paste -sd ';'; }
files_in() { find "$1" -type f | wc -l; }
grouped() { echo "$1" | sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta'; }
mib() { awk -v k="$1" 'BEGIN {printf "%.1f MiB", k / 1024}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
note() { echo "many_files.sh: $*" >&2; }

# Every tool names its files with as many characters as pelmora-cli does (longer names cost the
# kernel more): the name of the run's first file, from a run of that file alone.
"$cli" -o "$work/name" -n "$count" -s 0 --per-folder "$per_folder" --files 1-1 --seed 1 -y -q --json >"$work/out"
name_length=$(python3 -c 'import json, os, sys; print(len(os.path.basename(json.load(open(sys.argv[1]))["first_file"])))' "$work/out")
rm -rf "$work/name"
folders=$(((count + per_folder - 1) / per_folder))

create_rows=()
after_rows=()
for place in "${places[@]}"; do
  for kb in 0 4; do
    bytes=$((kb * 1024))
    what="$(grouped "$count") × $kb KB"

    note "$place, $what: the C loop"
    fresh "$place"
    measure "$loop" -s "$bytes" -p "$per_folder" -l "$name_length" "$mnt/tree" "$count"
    loop_seconds=$seconds
    loop_rate=$(awk -v n="$count" -v s="$seconds" 'BEGIN {printf "%.0f", n / s}')
    loop_own=$(awk '{print $6}' "$work/out")
    loop_sync=$(timed_sync)
    loop_shape=$(shape "$mnt/tree")
    create_rows+=("| $place | $what | C loop (\`bench/create_loop.c\`) | $loop_seconds s | $loop_sync s | $(grouped "$loop_rate") | $(grouped "$loop_own") | 1.00 | — | — | $(mib "$kib") |")

    # fs_mark fills -D folders of -N files each (named in hex, from a number its clock picks;
    # it takes no -D below 2, so a count that fits one folder goes into the one it is given);
    # -n is the count of one iteration, -k keeps the files, -S 0 leaves out its fsync; its names
    # are a time stamp and random letters, -p as long as pelmora-cli's; -l keeps its log out of the
    # current folder.
    note "$place, $what: fs_mark"
    fresh "$place"
    mkdir "$mnt/tree"
    fan_out=()
    ((folders < 2)) || fan_out=(-D "$folders" -N "$per_folder")
    measure fs_mark -d "$mnt/tree" -n "$count" -s "$bytes" -S 0 "${fan_out[@]}" -L 1 -t 1 -k -p "$name_length" -l "$work/fs_mark.log"
    fs_own=$(awk '$1 ~ /^[0-9]+$/ && NF >= 5 {rate = $4} END {printf "%.0f", rate}' "$work/out")
    fs_sync=$(timed_sync)
    made=$(files_in "$mnt/tree")
    ((made == count)) || { note "fs_mark made $made files, not $count"; exit 1; }
    rate=$(awk -v n="$count" -v s="$seconds" 'BEGIN {printf "%.0f", n / s}')
    create_rows+=("| $place | $what | fs_mark -S 0 -t 1 | $seconds s | $fs_sync s | $(grouped "$rate") | $(grouped "$fs_own") | $(ratio "$rate" "$loop_rate") | — | — | $(mib "$kib") |")

    # pelmora-cli: --jobs 1, then verify and clean of its tree; --jobs 2, then verify (to know the
    # tree is whole) and rm -rf of the same tree. Caches are dropped before every timed step.
    for jobs in 1 2; do
      note "$place, $what: pelmora-cli --jobs $jobs"
      fresh "$place"
      measure "$cli" -o "$mnt/tree" -n "$count" -s "$kb" --per-folder "$per_folder" --jobs "$jobs" --seed 1 -y -q --json
      [[ $(json files_written) == "$count" ]] || { note "pelmora-cli --jobs $jobs did not write $count files"; cat "$work/out" >&2; exit 1; }
      own=$(json files_per_second)
      run_sync=$(timed_sync)
      rate=$(awk -v n="$count" -v s="$seconds" 'BEGIN {printf "%.0f", n / s}')
      r=$(ratio "$rate" "$loop_rate")
      if ((jobs == 1)); then
        goal="≥ 0.90" met=$(awk -v r="$r" 'BEGIN {print (r >= 0.9) ? "yes" : "no"}')
      else
        goal="> 1.00" met=$(awk -v r="$r" 'BEGIN {print (r > 1.0) ? "yes" : "no"}')
      fi
      create_rows+=("| $place | $what | pelmora-cli --jobs $jobs | $seconds s | $run_sync s | $(grouped "$rate") | $(grouped "$own") | $r | $goal | $met | $(mib "$kib") |")
      [[ $(shape "$mnt/tree") == "$loop_shape" ]] || {
        note "pelmora-cli's tree differs from the C loop's:"; echo "  C loop: $loop_shape" >&2
        echo "  pelmora-cli: $(shape "$mnt/tree")" >&2; exit 1; }

      drop_caches
      note "$place, $what: verify of the --jobs $jobs tree"
      measure "$cli" verify "$mnt/tree" --json
      [[ $(json intact) == True && $(json files_checked) == "$count" ]] || {
        note "verify did not find $count intact files"; head -c 2000 "$work/out" >&2; exit 1; }
      if ((jobs == 1)); then
        verify_seconds=$seconds verify_kib=$kib verify_own=$(json files_per_second)
        verify_rate=$(awk -v n="$count" -v s="$seconds" 'BEGIN {printf "%.0f", n / s}')
      fi

      drop_caches
      if ((jobs == 1)); then
        note "$place, $what: clean"
        measure "$cli" clean "$mnt/tree" --json
        [[ $(json files) == "$count" ]] || { note "clean did not remove $count files"; cat "$work/out" >&2; exit 1; }
        left=$(find "$mnt/tree" -mindepth 1 | wc -l)
        ((left == 0)) || { note "clean left $left entries"; exit 1; }
        clean_seconds=$seconds clean_kib=$kib
      else
        note "$place, $what: rm -rf"
        measure rm -rf "$mnt/tree"
        rm_seconds=$seconds
      fi
    done
    after_rows+=("| $place | $what | $verify_seconds s | $(grouped "$verify_rate") | $(grouped "$verify_own") | $(mib "$verify_kib") | $clean_seconds s | $(mib "$clean_kib") | $rm_seconds s | $(ratio "$clean_seconds" "$rm_seconds") |")
  done
done
umount "$mnt"

minutes=$(awk -v s=$(($(date +%s) - began)) 'BEGIN {printf "%.1f", s / 60}')
cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
disk=$(df --output=source "$dir" | tail -n 1)
report=$(
  echo "## A million files in a tree: create, verify, clean"
  echo
  echo "\`bench/many_files.sh\`: $(grouped "$count") files at $(grouped "$per_folder") a folder ($(grouped "$folders") folders"
  echo "$( ((folders > per_folder)) && echo "over more than one level" || echo "in one level")), names of $name_length characters for every tool, one run of each"
  echo "side by side. Each tree is made on a fresh file system: tmpfs, or ext4 on an image through a"
  echo "loop device on $disk ($(df --output=fstype "$dir" | tail -n 1)). Caches are dropped before every timed step. The time is the"
  echo "wall time of the whole process; \"then sync\" is the sync after it, outside the rate. \"own\" is"
  echo "the rate the tool reports itself (the C loop and fs_mark without their start, pelmora-cli's JSON)."
  echo "The C loop: openat(O_CREAT|O_EXCL), one write, close, into the same tree; fs_mark -S 0 -k -L 1"
  echo "makes the same number of folders with the same number of files each (named in hex)."
  echo
  echo "| place | files | tool | time | then sync | files/s | own files/s | × C loop | goal | met? | peak RSS |"
  echo "|---|---|---|---:|---:|---:|---:|---:|---|---|---:|"
  printf '%s\n' "${create_rows[@]}"
  echo
  echo "verify of the \`--jobs 1\` tree, then \`clean\` of it; \`rm -rf\` of the \`--jobs 2\` tree (the same files,"
  echo "checked by verify first):"
  echo
  echo "| place | files | verify | verify files/s | own files/s | verify peak RSS | clean | clean peak RSS | rm -rf | clean / rm -rf |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"
  printf '%s\n' "${after_rows[@]}"
  echo
  echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB, Linux $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC');"
  echo "load average $load_before at the start, $(cut -d ' ' -f 1-3 /proc/loadavg) at the end; the whole benchmark took $minutes minutes."
)
echo "$report"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" many_files.sh
