#!/usr/bin/env bash
# Builds the Debian package of the tool (Debian 12, as root; installs what is
# missing).
#
#   bash packaging/build-deb.sh          build-pkg/zorvik-test-tool_<version>_<arch>.deb
#   bash packaging/build-deb.sh check    the same, then installs the package,
#                                        starts the program headless, and removes
#                                        the package again
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-build}"
build_dir="${BUILD_DIR:-build-pkg}"
jobs="${JOBS:-2}"

# dpkg-dev brings dpkg-shlibdeps, which works out the package's dependencies;
# CPack finds the programs among the files with "file".
packages=(build-essential cmake dpkg-dev file qtbase5-dev libqt5serialport5-dev)
bash scripts/install-missing.sh "${packages[@]}"

# The package is made with Qt 5, the build the window and its texts are made
# with (the tool also builds with Qt 6: see the README).
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_TESTS=OFF -DZORVIK_QT_MAJOR=5
cmake --build "$build_dir" -j"$jobs"
rm -f "$build_dir"/zorvik-test-tool_*.deb
(cd "$build_dir" && cpack -G DEB)

deb=$(ls "$build_dir"/zorvik-test-tool_*.deb)
echo "== $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

case "$mode" in
  build) ;;
  check)
    DEBIAN_FRONTEND=noninteractive apt-get install -y "./$deb"
    # A program that is still running after three seconds has started: timeout
    # ends it with 124. Its settings go to a scratch folder, not root's own.
    config=$(mktemp -d)
    status=0
    XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen timeout 3 ZorvikTestTool || status=$?
    rm -rf "$config"
    terminal-sim --help >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get remove -y zorvik-test-tool
    if [ "$status" -ne 124 ]; then
      echo "ZorvikTestTool did not keep running (exit $status)" >&2
      exit 1
    fi
    echo "== installed, started (still running after 3 s) and removed again"
    ;;
  *)
    echo "usage: $0 [build|check]" >&2
    exit 2
    ;;
esac
