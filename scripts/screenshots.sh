#!/usr/bin/env bash
# Screenshots of the main dialog under Wine on a virtual display: every page in English and
# German, the generation page in Arabic (right to left) and Simplified Chinese, a run in progress,
# a finished run and the language menu, the Check page with a damaged file found (English, German,
# Arabic) and the run options; the generation page, a run, the language menu and the Check page
# again at 144 DPI.
#   scripts/screenshots.sh [OUTDIR]      (default: docs/screenshots)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/screenshots}")
mkdir -p "$out"

"$root/scripts/install-packages.sh" imagemagick x11-utils xdotool fonts-dejavu-core fonts-wqy-microhei
exe=$root/build/windows/Pelmora.exe
[[ -f $exe && -f $root/build/windows/pelmora-cli.exe ]] ||
  { (cd "$root" && cmake --preset windows >/dev/null && cmake --build --preset windows --target Pelmora pelmora-cli >/dev/null); }

# A prefix of its own: the font settings below are for pictures, not for the tests.
export PELMORA_WINE_DIR=${PELMORA_SCREENSHOT_WINE_DIR:-/tmp/pelmora-wine-shots-$(id -u)}
work=$(mktemp -d)
trap 'rm -rf "$work"; "$root/scripts/wine-stop" >/dev/null 2>&1 || true' EXIT
# Any small program sets up the prefix, the Wine session and (without a display) an Xvfb.
"$root/scripts/wine-exec" "$root/build/windows/pelmora-cli.exe" --version >/dev/null
if [[ -z ${DISPLAY:-} || -f $PELMORA_WINE_DIR/display ]]; then
  DISPLAY=:$(cut -d' ' -f1 "$PELMORA_WINE_DIR/display")
fi
export DISPLAY WINEPREFIX=$PELMORA_WINE_DIR/prefix WINEDEBUG=-all

# "MS Sans Serif" is a bitmap font without Arabic or CJK: render it with DejaVu, and link the
# CJK glyphs of WenQuanYi behind it.
if [[ ! -f $PELMORA_WINE_DIR/fonts.done ]]; then
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Sans Serif' /d 'DejaVu Sans' /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v 'DejaVu Sans' \
    /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
  touch "$PELMORA_WINE_DIR/fonts.done"
fi

# Explorer, which a finished run starts, would cover the dialog: a recorder stands in for it.
recorder=$root/build/windows/tests/win/explorer_recorder.exe
[[ -f $recorder ]] && cp "$recorder" "$WINEPREFIX/drive_c/windows/explorer.exe"

# Wine takes the screen's DPI from the registry when a program starts.
set_dpi() {
  dpi=$1
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
}
dpi=96
start_x=520 start_y=220 # where Start sits in every English layout of this setup, at 96 DPI

# Ends the programs of this script's own prefix (a run in progress ignores Esc), and no others.
end_programs() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

shot() { # NAME LANGUAGE PAGE [COUNT SIZE_KB SECONDS [X Y]]: with seconds, Start is pressed first;
  # with X Y, the point of the dialog clicked instead, and the picture takes in what drops down
  local name=$1 language=$2 page=$3 count=${4:-100} size=${5:-4096} seconds=${6:-} x=${7:-} y=${8:-} id
  cp "$exe" "$work/Pelmora.exe"
  printf '\xff\xfe' >"$work/Pelmora.ini"
  printf '[Program]\r\nlng=%s\r\nc_wnd=%s\r\nFolder=C:\\Test files\r\nfiles_c=%s\r\nfiles_size=%s\r\n' \
    "$language" "$page" "$count" "$size" | iconv -f UTF-8 -t UTF-16LE >>"$work/Pelmora.ini"
  "$root/scripts/wine-exec" "$work/Pelmora.exe" </dev/null >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"Pelmora 2.85 \(Portable\) - x64"/ {print $1; exit}')
    [[ -n $id ]] && break
    sleep 0.1
  done
  if [[ -z $id ]]; then
    echo "screenshots.sh: the dialog did not appear for $name" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  fi
  sleep 1
  if [[ -n $x ]]; then
    xdotool mousemove --window "$id" "$x" "$y" click 1
    sleep "$seconds"
    local left top width height
    read -r left top width height < <(xwininfo -id "$id" |
      awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width/ {w=$NF} /Height/ {h=$NF}
           END {print x, y, w, h}')
    import -window root -crop "$((width + 60 * dpi / 96))x$((height + 280 * dpi / 96))+$left+$top" +repage \
      "$out/$name.png"
    xdotool key Escape
  else
    if [[ -n $seconds ]]; then
      xdotool mousemove --window "$id" "$start_x" "$start_y" click 1
      sleep "$seconds"
    fi
    import -window "$id" "$out/$name.png"
  fi
  end_programs
  wait "$pid" 2>/dev/null || true
  rm -rf "$WINEPREFIX/drive_c/Test files"
  for _ in $(seq 50); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Pelmora 2.85 (Portable) - x64"' || break
    sleep 0.1
  done
  echo "$out/$name.png"
}

# The window's id once a window titled $1 shows, or nothing after ten seconds.
window_named() {
  local id
  for _ in $(seq 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk -v title="\"$1\"" 'index($0, title) {print $1; exit}')
    [[ -n $id ]] && { echo "$id"; return; }
    sleep 0.1
  done
}

# A run of 20 files in "C:\Test files" made by pelmora-cli, with a byte flipped in file 3 and
# file 7 removed: what the Check page pictures find.
damaged_run() {
  local folder="$WINEPREFIX/drive_c/Test files"
  rm -rf "$folder"
  "$root/scripts/wine-exec" "$root/build/windows/pelmora-cli.exe" -q -n 20 -s 256 --seed 7 -o 'C:\Test files' \
    </dev/null >/dev/null 2>&1
  local third seventh
  third=$(ls "$folder" | sed -n 3p)
  seventh=$(ls "$folder" | sed -n 7p)
  printf '\x5a' | dd of="$folder/$third" bs=1 seek=70000 conv=notrunc status=none
  rm -f "$folder/$seventh"
}

# NAME LANGUAGE PAGE KEYS SECONDS [WINDOW] [INI LINES]: starts the program on PAGE, presses KEYS
# (xdotool's names) in it, waits SECONDS and takes the main dialog, or the window titled WINDOW.
keys_shot() {
  local name=$1 language=$2 page=$3 keys=$4 seconds=$5 window=${6:-} extra=${7:-} id target
  cp "$exe" "$work/Pelmora.exe"
  printf '\xff\xfe' >"$work/Pelmora.ini"
  printf '[Program]\r\nlng=%s\r\nc_wnd=%s\r\nFolder=C:\\Test files\r\n%s' "$language" "$page" "$extra" |
    iconv -f UTF-8 -t UTF-16LE >>"$work/Pelmora.ini"
  "$root/scripts/wine-exec" "$work/Pelmora.exe" </dev/null >/dev/null 2>&1 &
  local pid=$!
  id=$(window_named "Pelmora 2.85 (Portable) - x64")
  if [[ -z $id ]]; then
    echo "screenshots.sh: the dialog did not appear for $name" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  fi
  sleep 1
  xdotool windowfocus --sync "$id" key --window "$id" "$keys" 2>/dev/null || xdotool key "$keys"
  sleep "$seconds"
  target=$id
  [[ -n $window ]] && target=$(window_named "$window")
  import -window "$target" "$out/$name.png"
  [[ -n $window ]] && xdotool key --window "$target" Escape
  sleep 0.5
  xdotool key --window "$id" Escape
  end_programs
  wait "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Pelmora 2.85 (Portable) - x64"' || break
    sleep 0.1
  done
  echo "$out/$name.png"
}

shot generation-en 1 0
shot info-en 1 1
shot more-en 1 3
shot generation-de 0 0
shot info-de 0 1
shot more-de 0 3
shot generation-ar 10 0
shot generation-zh 11 0
shot running-en 1 0 1 8388608 2
shot finished-en 1 0 20 10240 6
# The language menu drops from the toolbar's "# LNG" button.
shot language-menu-en 1 0 100 4096 1 430 400
# The Check page after a check of a run with a damaged and a missing file (Check is Alt+C, Alt+P
# in German, Alt+K in Arabic), and the run options.
damaged_run
keys_shot check-damaged-en 1 2 alt+c 4
damaged_run
keys_shot check-damaged-de 0 2 alt+p 4
damaged_run
keys_shot check-damaged-ar 10 2 alt+k 4
keys_shot options-en 1 0 alt+o 1 "Run options" \
  $'files_type=2\r\nseed=7\r\ncompress=40\r\ndedupe=30\r\njobs=4\r\ndirect=1\r\n'

# 144 DPI: the dialog, its banner, icons and toolbar half as large again.
set_dpi 144
trap 'set_dpi 96; rm -rf "$work"; "$root/scripts/wine-stop" >/dev/null 2>&1 || true' EXIT
start_x=741 start_y=320
shot generation-en-144dpi 1 0
shot running-en-144dpi 1 0 1 8388608 2
shot language-menu-en-144dpi 1 0 100 4096 1 628 586
damaged_run
keys_shot check-damaged-en-144dpi 1 2 alt+c 4
set_dpi 96
