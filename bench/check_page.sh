#!/usr/bin/env bash
# The Check page beside the command line: Pelmora.exe's Check page and `pelmora-cli.exe verify`,
# both under Wine, checking the same 1 GiB run (16 files of 64 MiB, random data) in alternated
# pairs, the order swapped from pair to pair. The goal: the page reads at no less than 0.9 times
# the command line's speed (medians).
#   bench/check_page.sh [--dir DIR] [--pairs N] [--cached]
#     --dir DIR    where the run goes (default /var/tmp, a disk; Wine reaches it through Z:)
#     --pairs N    timed pairs, at least 3 (default 5)
#     --cached     both read the run from the page cache, also as root (the checking alone)
# The command line is timed around its process; pelmora-cli.exe --version, timed the same way just
# before it, shows what starting a process under Wine adds. The page is timed by
# check_page_bench.exe from the press of Check to the summary showing, after the program started.
# As root the page cache is dropped before each measurement; otherwise both read from the cache.
# The Wine state lives in PELMORA_WINE_DIR (default: scripts/wine-exec's). Prints a Markdown table
# and puts it into bench/results.md as well (its own section there).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { sed -n '2,15s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

dir=/var/tmp
pairs=5
cached=0
while (($#)); do
  case $1 in
    --dir) (($# >= 2)) || { usage >&2; exit 2; }; dir=$2; shift 2 ;;
    --pairs) (($# >= 2)) || { usage >&2; exit 2; }; pairs=$2; shift 2 ;;
    --cached) cached=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "check_page.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
if ! [[ $pairs =~ ^[0-9]+$ ]] || ((pairs < 3)); then
  echo "check_page.sh: --pairs needs a whole number of 3 or more" >&2
  exit 2
fi
[[ -d $dir && -w $dir ]] || { echo "check_page.sh: $dir is not a writable folder" >&2; exit 2; }
dir=$(cd "$dir" && pwd -P)

# --- What the run needs --------------------------------------------------------------------------
# Without its preloader wine64 cannot reserve the Windows address ranges before the Linux loader
# takes them.
"$root/scripts/install-packages.sh" cmake ninja-build python3 g++-mingw-w64-x86-64-posix wine wine64 \
  wine64-preloader xvfb fonts-wine
log=$root/build/bench-windows-build.log
mkdir -p "$root/build"
echo "check_page.sh: building Pelmora.exe, pelmora-cli.exe and check_page_bench.exe" >&2
if ! { (cd "$root" && cmake --preset windows &&
  nice -n 5 cmake --build --preset windows --target Pelmora pelmora-cli check_page_bench); } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "check_page.sh: the build failed (full log: $log)" >&2
  exit 1
fi
build=$root/build/windows
wine_exec=$root/scripts/wine-exec
# The page's texts in English, which check_page_bench.exe reads.
export LC_ALL=C.UTF-8

# A Unix path as Wine sees it: / is Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

work=$(mktemp -d "$dir/pelmora-check-page.XXXXXX")
scratch=$(mktemp -d)
trap 'rm -rf "$work" "$scratch"' EXIT
folder=$(windows_path "$work")

echo "check_page.sh: writing 16 files of 64 MiB in $work" >&2
"$wine_exec" "$build/pelmora-cli.exe" --quiet --type 2 --count 16 --size 65536 --seed 21 --folder "$folder" \
  >"$scratch/out" 2>&1 || { cat "$scratch/out" >&2; echo "check_page.sh: the run failed" >&2; exit 1; }
bytes=$(du -sb "$work" | cut -f1)
((bytes >= 1 << 30)) || { echo "check_page.sh: the run holds $bytes bytes, not 1 GiB" >&2; exit 1; }

if ((EUID == 0 && !cached)); then
  cache="the page cache dropped before each measurement"
  uncached() { sync; echo 3 >/proc/sys/vm/drop_caches; }
else
  cache="both read the run from the page cache"
  ((cached)) || cache="not root: the page cache was not dropped, $cache"
  uncached() { :; }
  echo "check_page.sh: $cache" >&2
  # Both read it once, so that both read from the cache.
  cat "$work"/* >/dev/null
fi

now() { date +%s.%N; }
# The seconds of a command, which must succeed.
timed() {
  local start end
  start=$(now)
  "$@" >"$scratch/out" 2>&1 || { echo "check_page.sh: failed: $*" >&2; tail -n 5 "$scratch/out" >&2; exit 1; }
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f", b - a}'
}
measure_cli() {
  uncached
  # Wine's own files come back into the cache first, as the page's come in while the program starts.
  starts+=("$(timed "$wine_exec" "$build/pelmora-cli.exe" --version)")
  clis+=("$(timed "$wine_exec" "$build/pelmora-cli.exe" verify "$folder")")
  grep -q "1 intact, 0 not intact" "$scratch/out" || {
    echo "check_page.sh: the command line did not find the run intact" >&2; cat "$scratch/out" >&2; exit 1; }
  echo "check_page.sh: pair $pair: pelmora-cli.exe verify ${clis[-1]} s (start-up ${starts[-1]} s)" >&2
}
measure_page() {
  uncached
  "$wine_exec" "$build/bench/check_page_bench.exe" "$folder" >"$scratch/page" 2>"$scratch/page-err" || {
    echo "check_page.sh: the Check page failed" >&2; cat "$scratch/page-err" >&2; exit 1; }
  # The seconds, one message's round trip, and when the page took the press (not shown).
  read -r seconds trip _ <"$scratch/page"
  pages+=("$seconds")
  trips+=("$trip")
  echo "check_page.sh: pair $pair: Check page ${pages[-1]} s ($(tail -n 1 "$scratch/page-err"))" >&2
}

starts=()
clis=()
pages=()
trips=()
for ((pair = 1; pair <= pairs; pair++)); do
  if ((pair % 2)); then
    measure_cli
    measure_page
  else
    measure_page
    measure_cli
  fi
done

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
cli=$(median "${clis[@]}")
page=$(median "${pages[@]}")
start=$(median "${starts[@]}")
trip=$(median "${trips[@]}")
# The command line's check without its process start: each pair's verify less the start before it.
nets=()
for ((i = 0; i < pairs; i++)); do
  nets+=("$(awk -v c="${clis[i]}" -v s="${starts[i]}" 'BEGIN {printf "%.3f", c - s}')")
done
net=$(median "${nets[@]}")
speed() { awk -v b="$bytes" -v s="$1" 'BEGIN {printf "%.0f MB/s", b / s / 1e6}'; }
# The page's speed as a share of the command line's: the command line's time over the page's.
ratio=$(awk -v c="$cli" -v p="$page" 'BEGIN {printf "%.2f", c / p}')
ratio_net=$(awk -v c="$net" -v p="$page" 'BEGIN {printf "%.2f", c / p}')
met=$(awk -v r="$ratio" 'BEGIN {print (r >= 0.9) ? "yes" : "no"}')
cores=$(nproc)
load=$(cut -d' ' -f1-3 /proc/loadavg)
report=$(
  echo "## The Check page beside pelmora-cli.exe verify$( ((cached)) && echo ", from the cache")"
  echo
  echo "\`bench/check_page.sh\`: a 1 GiB run (16 files of 64 MiB, random data) in $dir, checked under"
  echo "Wine by \`pelmora-cli.exe verify\` (timed around its process) and by Pelmora.exe's Check page"
  echo "(from the press of Check to the summary), $pairs alternated pairs, medians; $cache."
  echo "The speed ratio is the command line's time over the page's. Goal: at least 0.90."
  echo
  echo "| measurement | median | speed | all runs (s) |"
  echo "|---|---:|---:|---|"
  echo "| pelmora-cli.exe verify | $cli s | $(speed "$cli") | ${clis[*]} |"
  echo "| Check page | $page s | $(speed "$page") | ${pages[*]} |"
  echo "| pelmora-cli.exe --version (process start under Wine) | $start s | | ${starts[*]} |"
  echo "| verify less the start before it | $net s | $(speed "$net") | ${nets[*]} |"
  echo "| one message to the page and back (the press and the poll take about one each) | $trip s | | ${trips[*]} |"
  echo
  echo "Page speed / command-line speed: **$ratio** (goal 0.90: $met); against the command line without"
  echo "its process start: $ratio_net."
  echo
  echo "Machine: $cores cores, load average $load at the end (shared with other builds), $(wine --version 2>/dev/null)."
)
echo "$report"
section=check_page.sh
((cached)) && section="check_page.sh --cached"
echo "$report" | python3 "$root/bench/put_section.py" "$root/bench/results.md" "$section"
