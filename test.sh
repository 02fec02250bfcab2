#!/usr/bin/env bash
# The test command: installs what is missing (Debian packages), then builds and tests every
# configuration: native, native under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, the fuzz targets, and the Windows build under Wine. Ends with "N passed, N failed".
#
# Usage: ./test.sh [PRESET...]     presets: native asan tsan fuzz windows (default: all)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

presets=("$@")
((${#presets[@]})) || presets=(native asan tsan fuzz windows)

packages=(cmake ninja-build g++ googletest clang-format)
for preset in "${presets[@]}"; do
  case $preset in
    # The .deb: dpkg-shlibdeps finds its dependencies; man and groff render its manual page;
    # lintian checks the .deb as Debian would.
    native) packages+=(dpkg-dev man-db groff-base lintian) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    # What shaped data is measured with: compressors, and Python with its lz4 module.
    native | asan | tsan) packages+=(python3 python3-lz4 zstd lz4) ;;
    # Without its preloader wine64 cannot reserve the Windows address ranges before the Linux
    # loader maps its libraries; about one process start in a thousand then fails with "failed
    # to map the shared user data" and exits before the program runs.
    windows) packages+=(g++-mingw-w64-x86-64-posix wine wine64 wine64-preloader xvfb fonts-wine) ;;
  esac
done
scripts/install-packages.sh "${packages[@]}" || { echo "test.sh: could not install ${packages[*]}" >&2; exit 1; }

# Wine keeps its prefix and server between tests; end the server and our X display when done.
export PELMORA_WINE_DIR=${PELMORA_WINE_DIR:-/tmp/pelmora-wine-$(id -u)}
if [[ " ${presets[*]} " == *" windows "* ]]; then
  trap 'scripts/wine-stop >/dev/null 2>&1 || true' EXIT
fi

mkdir -p build
passed=0
failed=0
for preset in "${presets[@]}"; do
  echo "== $preset: configure and build"
  build_log=build/$preset.log
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$build_log" 2>&1; then
    tail -n 40 "$build_log"
    echo "== $preset: BUILD FAILED"
    failed=$((failed + 1))
    continue
  fi
  echo "== $preset: test"
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log" | grep -vE '^ +Start |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed'
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  else
    echo "== $preset: ctest gave no summary"
    failed=$((failed + 1))
  fi
  rm -f "$log"
done

echo "$passed passed, $failed failed"
((failed == 0))
