# Sourced by the benchmark scripts: builds pelmora-cli natively (incremental, so cheap when nothing
# changed) and sets `cli` to it; a failed build ends the script with the end of its log.
#   . "$root/bench/native_cli.sh" NAME      (NAME: the calling script's, for the message)
cli=$root/build/native/pelmora-cli
log=$root/build/bench-build.log
mkdir -p "$root/build"
if ! { (cd "$root" && cmake --preset native && cmake --build --preset native --target pelmora-cli); } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "$1: the build failed (full log: $log)" >&2
  exit 1
fi
