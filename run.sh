#!/usr/bin/env bash
# The run command: installs what is missing, builds and runs Pelmora.
#   ./run.sh                  with an X display: the window, Pelmora.exe under Wine;
#                             without one: one file of 1,024 KB of non-compressible data into
#                             ./pelmora-out with pelmora-cli
#   ./run.sh OPTIONS...       pelmora-cli with those options (./run.sh --help lists them)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

window=0
if ((!$#)) && [[ -n ${DISPLAY:-} ]]; then
  window=1
fi
packages=(cmake ninja-build g++)
((window)) && packages+=(g++-mingw-w64-x86-64-posix wine wine64 wine64-preloader fonts-wine)
"$root/scripts/install-packages.sh" "${packages[@]}"

mkdir -p "$root/build"
log=$root/build/run-build.log
if ((window)); then
  if ! { cmake -S "$root" --preset windows && cmake --build "$root/build/windows" --target Pelmora; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "run.sh: the build failed (full log: $log)" >&2
    exit 1
  fi
  # Its settings file, Pelmora.ini, lies beside it in build/windows.
  exec env WINEDEBUG=-all wine "$root/build/windows/Pelmora.exe"
fi
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
echo "(With an X display, ./run.sh without arguments opens the window instead.)"
