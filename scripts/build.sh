#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), configures and builds the
# tool, then starts it ("run") or runs the whole test suite headless ("test").
# "test" then runs the suite a second time under AddressSanitizer and
# UndefinedBehaviorSanitizer, which "sanitize" does alone.
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-run}"
build_dir="${BUILD_DIR:-build}"
sanitize_dir="${build_dir}-asan"

packages=(build-essential cmake qtbase5-dev libqt5serialport5-dev)
# The test build includes a compile check of every source with the Windows
# cross compiler.
if [ "$mode" = test ]; then
  packages+=(g++-mingw-w64-x86-64-posix)
fi
bash scripts/install-missing.sh "${packages[@]}"

build() {
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build_dir" -j"$(nproc)"
}

# The end-to-end tests wait on the pseudo-terminal between ticks: two of them
# per core keep the cores busy.
run_suite() {
  (cd "$1" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(($(nproc) * 2))" --timeout 300)
}

# Only the tests and what they link are built: no program, no bench, no fuzz.
# Any report fails its test: ASan and UBSan stop the program, and
# LeakSanitizer fails it at exit unless the leak is one of Qt's own listed in
# tests/lsan.supp.
sanitize() {
  cmake -S . -B "$sanitize_dir" -DCMAKE_BUILD_TYPE=Debug -DZORVIK_SANITIZE=ON
  cmake --build "$sanitize_dir" -j"$(nproc)" --target zorvik-tests
  ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
    run_suite "$sanitize_dir"
}

case "$mode" in
  run)
    build
    exec "$build_dir/ZorvikTestTool"
    ;;
  test)
    build
    run_suite "$build_dir"
    sanitize
    ;;
  sanitize)
    sanitize
    ;;
  *)
    echo "usage: $0 [run|test|sanitize]" >&2
    exit 2
    ;;
esac
