#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), configures and builds the
# tool, then starts it ("run") or runs the whole test suite headless ("test").
#
#   ./scripts/build.sh run        build with Qt 5 in build/ and start the tool
#   ./scripts/build.sh test       the suite with Qt 5 (build/), again under
#                                 AddressSanitizer and UndefinedBehaviorSanitizer
#                                 (build-asan/), then with Qt 6 (build-qt6/)
#   ./scripts/build.sh suite      build and run the suite once, with one Qt
#   ./scripts/build.sh sanitize   the sanitizer run alone, with one Qt
#
# ZORVIK_QT_MAJOR=6 picks Qt 6 for run, suite and sanitize (its folders are
# build-qt6/ and build-qt6-asan/); Qt 5 is the default. "test" always runs
# both.
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-run}"
qt_major="${ZORVIK_QT_MAJOR:-5}"
base_dir="${BUILD_DIR:-build}"

case "$qt_major" in
  5 | 6) ;;
  *)
    echo "ZORVIK_QT_MAJOR is 5 or 6, not \"$qt_major\"" >&2
    exit 2
    ;;
esac
case "$mode" in
  run | test | suite | sanitize) ;;
  *)
    echo "usage: [ZORVIK_QT_MAJOR=5|6] $0 [run|test|suite|sanitize]" >&2
    exit 2
    ;;
esac

# Debian's packages of each Qt (Qt 6's CMake files also need the OpenGL
# headers).
qt5_packages=(qtbase5-dev libqt5serialport5-dev)
qt6_packages=(qt6-base-dev qt6-serialport-dev qt6-base-dev-tools libgl-dev)

# The folder of a build with Qt $1: build/ for Qt 5, build-qt6/ for Qt 6.
build_dir() {
  if [ "$1" = 5 ]; then echo "$base_dir"; else echo "$base_dir-qt$1"; fi
}

packages=(build-essential cmake)
if [ "$mode" = test ]; then
  # The test build includes a compile check of every source with the Windows
  # cross compiler.
  packages+=("${qt5_packages[@]}" "${qt6_packages[@]}" g++-mingw-w64-x86-64-posix)
elif [ "$qt_major" = 5 ]; then
  packages+=("${qt5_packages[@]}")
else
  packages+=("${qt6_packages[@]}")
fi
bash scripts/install-missing.sh "${packages[@]}"

# build QT_MAJOR [CMAKE_OPTION...]
build() {
  cmake -S . -B "$(build_dir "$1")" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVIK_QT_MAJOR="$1" "${@:2}"
  cmake --build "$(build_dir "$1")" -j"$(nproc)"
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
  local dir
  dir="$(build_dir "$1")-asan"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DZORVIK_SANITIZE=ON -DZORVIK_QT_MAJOR="$1"
  cmake --build "$dir" -j"$(nproc)" --target zorvik-tests
  ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
    run_suite "$dir"
}

case "$mode" in
  run)
    build "$qt_major"
    exec "$(build_dir "$qt_major")/ZorvikTestTool"
    ;;
  test)
    # Qt 5, the build the packages are made with, with its sanitizer run;
    # then the same suite on Qt 6. The benchmarks are built with Qt 5 too
    # (not run), so a change to what they share with the tests shows here.
    build 5 -DZORVIK_BUILD_BENCH=ON
    run_suite "$(build_dir 5)"
    sanitize 5
    build 6
    run_suite "$(build_dir 6)"
    ;;
  suite)
    build "$qt_major"
    run_suite "$(build_dir "$qt_major")"
    ;;
  sanitize)
    sanitize "$qt_major"
    ;;
esac
