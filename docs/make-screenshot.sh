#!/usr/bin/env bash
# Makes docs/screenshot.png, the window as it opens, on a headless X server
# (Debian 12, as root; installs what is missing).
#
#   bash docs/make-screenshot.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${BUILD_DIR:-build-pkg}"
jobs="${JOBS:-2}"
out="docs/screenshot.png"

# A CJK font, or the window's Chinese texts come out as boxes.
packages=(build-essential cmake qtbase5-dev libqt5serialport5-dev
          xvfb xauth x11-utils imagemagick fonts-wqy-microhei)
bash scripts/install-missing.sh "${packages[@]}"

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_TESTS=OFF
fi
cmake --build "$build_dir" --target ZorvikTestTool -j"$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs inside the X server: start the program with settings of its own (no
# remembered port), wait until its window is mapped and painted, and grab
# that window alone.
cat >"$scratch/grab.sh" <<'GRAB'
set -euo pipefail
program="$1"; shot="$2"; config="$3"
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

mkdir -p "$scratch/config"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash "$scratch/grab.sh" "$build_dir/ZorvikTestTool" "$scratch/window.png" "$scratch/config"

# Few colours in a window of widgets: a palette keeps the file small.
convert "$scratch/window.png" -strip +dither -colors 128 "PNG8:$out"
ls -l "$out"
