#!/usr/bin/env bash
# Makes a screenshot of the window as it opens, on a headless X server (Debian
# 12, as root; installs what is missing), at a screen resolution in dpi:
#
#   bash docs/make-screenshot.sh        docs/screenshot.png, 96 dpi (100 %)
#   bash docs/make-screenshot.sh 144    docs/screenshot-144dpi.png (150 %)
#
# With ZORVIK_QT_MAJOR=6 the program is built with Qt 6 (in build-pkg-qt6/)
# and the files are docs/screenshot-qt6.png and docs/screenshot-qt6-144dpi.png.
set -euo pipefail
cd "$(dirname "$0")/.."

qt_major="${ZORVIK_QT_MAJOR:-5}"
jobs="${JOBS:-2}"
dpi="${1:-96}"
if [ "$qt_major" = 5 ]; then
  build_dir="${BUILD_DIR:-build-pkg}"
  name="docs/screenshot"
  qt_packages=(qtbase5-dev libqt5serialport5-dev)
else
  build_dir="${BUILD_DIR:-build-pkg-qt$qt_major}"
  name="docs/screenshot-qt$qt_major"
  qt_packages=(qt6-base-dev qt6-serialport-dev qt6-base-dev-tools libgl-dev)
fi
if [ "$dpi" = 96 ]; then
  out="$name.png"
else
  out="$name-${dpi}dpi.png"
fi

# A CJK font, or the window's Chinese texts come out as boxes.
packages=(build-essential cmake "${qt_packages[@]}"
          xvfb xauth x11-utils x11-xserver-utils imagemagick fonts-wqy-microhei)
bash scripts/install-missing.sh "${packages[@]}"

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_TESTS=OFF \
    -DZORVIK_QT_MAJOR="$qt_major"
fi
cmake --build "$build_dir" --target ZorvikTestTool -j"$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs inside the X server: start the program with settings of its own (no
# remembered port), wait until its window is mapped and painted, and grab
# that window alone.
cat >"$scratch/grab.sh" <<'GRAB'
set -euo pipefail
program="$1"; shot="$2"; config="$3"; dpi="$4"
# What a desktop sets for a scaled screen, and what Qt's xcb platform takes
# the scale factor from: 144 dpi over the base 96 is 1.5.
printf 'Xft.dpi:\t%s\n' "$dpi" | xrdb -nocpp -merge -
XDG_CONFIG_HOME="$config" LANG=C.UTF-8 "$program" &
pid=$!
window=""
for _ in $(seq 50); do
  window=$(xwininfo -root -tree | awk '/\("ZorvikTestTool" "ZorvikTestTool"\)/ && !/ 1x1\+/ { print $1; exit }')
  [ -n "$window" ] && break
  sleep 0.2
done
if [ -z "$window" ]; then
  echo "the window did not appear" >&2
  kill "$pid"
  exit 1
fi
sleep 2
import -window "$window" "$shot"
kill "$pid"
wait "$pid" || true
GRAB

# A screen as large as 1280x1024 at 100 %, so the scaled window fits on it.
# -noreset keeps the X resources that xrdb sets once xrdb has disconnected.
width=$((1280 * dpi / 96))
height=$((1024 * dpi / 96))
mkdir -p "$scratch/config"
xvfb-run -a -s "-screen 0 ${width}x${height}x24 -dpi $dpi -noreset" \
  bash "$scratch/grab.sh" "$build_dir/ZorvikTestTool" "$scratch/window.png" "$scratch/config" "$dpi"

# Few colours in a window of widgets: a palette keeps the file small.
convert "$scratch/window.png" -strip +dither -colors 128 "PNG8:$out"
ls -l "$out"
