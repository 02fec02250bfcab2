#!/usr/bin/env bash
# The run command: installs what is missing, builds pelmora-cli and runs it.
#   ./run.sh                  one file of 1,024 KB of non-compressible data into ./pelmora-out
#   ./run.sh OPTIONS...       pelmora-cli with those options (./run.sh --help lists them)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

missing=()
for package in cmake ninja-build g++; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

mkdir -p "$root/build"
log=$root/build/run-build.log
if ! { cmake -S "$root" --preset native && cmake --build "$root/build/native" --target pelmora-cli; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "run.sh: the build failed (full log: $log)" >&2
  exit 1
fi
cli=$root/build/native/pelmora-cli

if (($#)); then
  exec "$cli" "$@"
fi
"$cli" --folder pelmora-out
echo "The files are in $(pwd)/pelmora-out"
