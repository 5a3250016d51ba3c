#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), configures and builds the
# tool, then starts it ("run") or runs the whole test suite headless ("test").
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-run}"
build_dir="${BUILD_DIR:-build}"

packages=(build-essential cmake qtbase5-dev libqt5serialport5-dev)
# The tests include a compile check of every source with the Windows
# cross compiler.
if [ "$mode" = test ]; then
  packages+=(g++-mingw-w64-x86-64-posix)
fi
bash scripts/install-missing.sh "${packages[@]}"

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j"$(nproc)"

case "$mode" in
  run)
    exec "$build_dir/ZorvikTestTool"
    ;;
  test)
    cd "$build_dir"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
    ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
