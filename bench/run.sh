#!/usr/bin/env bash
# Builds zorvik-bench in Release (in build-bench/) and runs every benchmark
# headless against the simulated terminal, then the start-up figures once more
# under a virtual X server when xvfb-run is installed. Prints the figures; the
# load of the machine is printed before and after, because other work on it
# shows in every figure. Extra arguments go to zorvik-bench (--quick: short
# runs to try it out). ZORVIK_QT_MAJOR=6 builds with Qt 6, in build-bench-qt6/.
set -euo pipefail
cd "$(dirname "$0")/.."

qt_major="${ZORVIK_QT_MAJOR:-5}"
if [ "$qt_major" = 5 ]; then
  build_dir="${BUILD_DIR:-build-bench}"
else
  build_dir="${BUILD_DIR:-build-bench-qt$qt_major}"
fi
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_BENCH=ON \
  -DZORVIK_QT_MAJOR="$qt_major" >/dev/null
cmake --build "$build_dir" --target zorvik-bench -j"${JOBS:-2}"

runtime_dir="$(mktemp -d)"
trap 'rm -rf "$runtime_dir"' EXIT
export XDG_RUNTIME_DIR="$runtime_dir"
bench="$build_dir/bench/zorvik-bench"

echo "load before: $(uptime)"
QT_QPA_PLATFORM=offscreen "$bench" "$@"
if command -v xvfb-run >/dev/null; then
  QT_QPA_PLATFORM=xcb xvfb-run -a "$bench" --startup-only "$@"
else
  echo "xvfb-run not installed: no start-up figures under X"
fi
echo "load after: $(uptime)"
