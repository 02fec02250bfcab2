#!/usr/bin/env bash
# Makes the packages of a build folder with cpack and checks them as a user gets them.
#
#   scripts/check-packages.sh deb BUILD_DIR   pelmora-cli_<version>_amd64.deb: its files and fields,
#                                             unpacked into a scratch root (dpkg -x), the unpacked
#                                             program's --version and a run it checks, the manual
#                                             page rendered by man without a warning, the bash
#                                             completion, lintian where it is installed; with root
#                                             in CI (CI set) also dpkg -i
#   scripts/check-packages.sh zip BUILD_DIR   Pelmora-<version>-win64.zip: its file list, the licence
#                                             in it, and the pelmora-cli.exe in it under Wine
set -euo pipefail

kind=${1:?deb or zip}
build=$(cd "${2:?build folder}" && pwd)
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$(sed -n 's/^#define PELMORA_VERSION_SHORT "\(.*\)"$/\1/p' "$build/generated/version.h")
[[ $version ]] || { echo "check-packages: no version in $build/generated/version.h" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
# Compares two texts, showing both when they differ.
same() {
    local what=$1 expected=$2 actual=$3
    [[ $expected == "$actual" ]] || fail "$what: expected
$expected
got
$actual"
}

# The package goes into a folder of its own: cpack's work files stay out of the build folder's way.
if ! (cd "$build" && cpack -B "$scratch/out") >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    echo "check-packages: cpack failed" >&2
    exit 1
fi

# The version lines of an installed or unpacked pelmora-cli.
check_version() {
    local output=$1
    output=${output//$'\r'/}
    same "--version, first line" "pelmora-cli (Pelmora) $version" "${output%%$'\n'*}"
    [[ ${output#*$'\n'} =~ ^code\ path:\ (AVX2|baseline)$ ]] || fail "--version, second line: ${output#*$'\n'}"
}

case $kind in
deb)
    deb=$scratch/out/pelmora-cli_${version}_amd64.deb
    [[ -f $deb ]] || { ls "$scratch/out" >&2; fail "no $deb"; exit 1; }

    same "the .deb's files" "./usr/bin/pelmora-cli
./usr/share/bash-completion/completions/pelmora-cli
./usr/share/doc/pelmora-cli/changelog.gz
./usr/share/doc/pelmora-cli/copyright
./usr/share/man/man1/pelmora-cli.1.gz" "$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)"
    same "Package" pelmora-cli "$(dpkg-deb -f "$deb" Package)"
    same "Version" "$version" "$(dpkg-deb -f "$deb" Version)"
    same "Architecture" amd64 "$(dpkg-deb -f "$deb" Architecture)"
    [[ $(dpkg-deb -f "$deb" Depends) == *libc6* ]] || fail "Depends names no libc6: $(dpkg-deb -f "$deb" Depends)"

    # Debian's own package checker, where it is installed (./test.sh installs it for the native
    # build): no error and no warning. Informational tags are left to taste.
    if command -v lintian >/dev/null; then
        lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 ||
            fail "lintian: $(cat "$scratch/lintian.log")"
    fi

    root=$scratch/root
    dpkg -x "$deb" "$root"
    check_version "$("$root/usr/bin/pelmora-cli" --version)"
    cmp -s "$source_dir/LICENSE" "$root/usr/share/doc/pelmora-cli/copyright" || fail "copyright is not LICENSE"
    # The unpacked program makes a run and checks it.
    "$root/usr/bin/pelmora-cli" -q -n 3 -s 64K -t random -o "$scratch/run" || fail "a run with the unpacked program"
    "$root/usr/bin/pelmora-cli" verify -n 3 -s 64K "$scratch/run" >/dev/null || fail "verify with the unpacked program"

    # The manual page renders without a single warning of groff's (-ww through man --warnings).
    manual=$root/usr/share/man/man1/pelmora-cli.1.gz
    if ! LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$manual" >"$scratch/man.txt" 2>"$scratch/man.err"; then
        fail "man -l failed: $(cat "$scratch/man.err")"
    fi
    [[ ! -s $scratch/man.err ]] || fail "the manual page warns: $(cat "$scratch/man.err")"
    zcat "$manual" | groff -ww -man -Tutf8 -z 2>"$scratch/groff.err" || fail "groff failed"
    [[ ! -s $scratch/groff.err ]] || fail "groff -ww warns: $(cat "$scratch/groff.err")"
    for heading in NAME SYNOPSIS OPTIONS "EXIT STATUS" EXAMPLES; do
        grep -q "^$heading" "$scratch/man.txt" || fail "the manual page has no $heading"
    done

    # The completion offers options, values and verify.
    completion=$root/usr/share/bash-completion/completions/pelmora-cli
    bash -n "$completion" || fail "the completion does not parse"
    complete_words() {
        bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _pelmora_cli
                 echo "${COMPREPLY[*]}"' - "$completion" "$@"
    }
    same "completing --ty" "--type" "$(complete_words pelmora-cli --ty)"
    same "completing -t r" "random" "$(complete_words pelmora-cli -t r)"
    same "completing ver" "verify" "$(complete_words pelmora-cli ver)"
    same "completing verify --th" "--threads" "$(complete_words pelmora-cli verify --th)"

    # Installed for real where that is wanted: as root in CI, where the machine is a throwaway.
    if ((EUID == 0)) && [[ ${CI:-} ]]; then
        dpkg -i "$deb" >"$scratch/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$scratch/dpkg.log")"
        check_version "$(PATH=/usr/bin pelmora-cli --version)"
        [[ $(man -w pelmora-cli) == /usr/share/man/man1/pelmora-cli.1.gz ]] || fail "man -w pelmora-cli"
        dpkg -r pelmora-cli >/dev/null 2>&1 || fail "dpkg -r"
    fi
    ;;
zip)
    zip=$scratch/out/Pelmora-${version}-win64.zip
    [[ -f $zip ]] || { ls "$scratch/out" >&2; fail "no $zip"; exit 1; }
    top=Pelmora-${version}-win64
    same "the zip's files" "$top/LICENSE
$top/Pelmora.exe
$top/README.md
$top/pelmora-cli.exe" "$(cd "$scratch" && cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)"
    mkdir "$scratch/unpacked"
    (cd "$scratch/unpacked" && cmake -E tar xf "$zip")
    cmp -s "$source_dir/LICENSE" "$scratch/unpacked/$top/LICENSE" || fail "the zip's LICENSE"
    cmp -s "$source_dir/README.md" "$scratch/unpacked/$top/README.md" || fail "the zip's README"
    check_version "$("$source_dir/scripts/wine-exec" "$scratch/unpacked/$top/pelmora-cli.exe" --version)"
    ;;
*)
    echo "check-packages: deb or zip, not $kind" >&2
    exit 2
    ;;
esac

((failures == 0)) || exit 1
echo "check-packages: $kind of $version is fine"
