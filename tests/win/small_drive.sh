#!/bin/sh
# Usage: small_drive.sh WINE_EXEC TEST_EXE [ARGS...]
#
# Runs Windows tests that need a small disk: a 4 MiB tmpfs, mounted for them and reached from Wine
# as drive T:, named to the tests in PELMORA_SMALL_DRIVE. Exits 77 (skipped) where no tmpfs can be
# mounted (mounting needs root).
set -u
wine_exec=$1
shift
state_dir=${PELMORA_WINE_DIR:-/tmp/pelmora-wine-$(id -u)}
mount_point=$(mktemp -d /tmp/pelmora-small-drive.XXXXXX) || exit 1
if ! mount -t tmpfs -o size=4m tmpfs "$mount_point" 2>/dev/null; then
    rmdir "$mount_point"
    echo "no tmpfs can be mounted here (mounting needs root): skipped"
    exit 77
fi
drive=$state_dir/prefix/dosdevices/t:
cleanup() {
    rm -f "$drive"
    umount "$mount_point" && rmdir "$mount_point"
}
trap cleanup EXIT
# A first Wine start makes the prefix whose drive letters the link joins.
"$wine_exec" "$@" --gtest_list_tests >/dev/null || exit 1
ln -sfn "$mount_point" "$drive" || exit 1
PELMORA_SMALL_DRIVE='T:' "$wine_exec" "$@"
