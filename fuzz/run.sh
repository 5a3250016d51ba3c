#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one on a working copy of its seed
# corpus. Debian 12, as root; installs what is missing.
#
#   bash fuzz/run.sh            1,000,000 inputs per target
#   bash fuzz/run.sh 5000000    any other count
#   bash fuzz/run.sh smoke      10,000 inputs per target, a quick look
#
# ZORVIK_QT_MAJOR=6 builds them with Qt 6, in build-fuzz-qt6/.
#
# New inputs that widen coverage go to fuzz/corpus-work/<target>/ (ignored by
# git); an input that crashes a target is saved as
# fuzz/corpus-work/findings/<target>/crash-<sha1> and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-1000000}"
case "$mode" in
  smoke) runs=10000 ;;
  ''|*[!0-9]*)
    echo "usage: $0 [RUNS|smoke]" >&2
    exit 2
    ;;
  *) runs="$mode" ;;
esac

qt_major="${ZORVIK_QT_MAJOR:-5}"
if [ "$qt_major" = 5 ]; then
  build_dir="${BUILD_DIR:-build-fuzz}"
  qt_packages=(qtbase5-dev libqt5serialport5-dev)
else
  build_dir="${BUILD_DIR:-build-fuzz-qt$qt_major}"
  qt_packages=(qt6-base-dev qt6-serialport-dev qt6-base-dev-tools libgl-dev)
fi
work_dir="fuzz/corpus-work"
jobs="${JOBS:-2}"
targets=(register_reply at_reply enable_reply sn_lookup)

packages=(build-essential cmake clang-14 libclang-rt-14-dev "${qt_packages[@]}")
bash scripts/install-missing.sh "${packages[@]}"

cmake -S . -B "$build_dir" \
  -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORVIK_BUILD_FUZZERS=ON -DZORVIK_BUILD_TESTS=OFF -DZORVIK_QT_MAJOR="$qt_major"
cmake --build "$build_dir" --target fuzzers -j"$jobs"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="abort_on_error=1"

summary=()
failed=0
for t in "${targets[@]}"; do
  corpus="$work_dir/$t"
  findings="$work_dir/findings/$t"
  log="$work_dir/$t.log"
  rm -rf "$corpus" "$findings"
  mkdir -p "$corpus" "$findings"
  cp fuzz/corpus/"$t"/* "$corpus"/

  dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")

  echo "== fuzz_$t: $runs inputs"
  status=0
  started=$(date +%s.%N)
  "$build_dir/fuzz/fuzz_$t" -runs="$runs" -max_len=4096 -timeout=10 "${dict[@]}" \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1 || status=$?
  finished=$(date +%s.%N)

  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  # The coverage libFuzzer reached: instrumented edges and features.
  coverage=$(grep -ao 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 | awk '{ print $2 " edges, " $4 " features" }')
  # libFuzzer's own average counts whole seconds only; wall time is finer.
  seconds=$(awk -v a="$started" -v b="$finished" 'BEGIN { printf "%.1f", b - a }')
  speed=$(awk -v n="${executed:-0}" -v a="$started" -v b="$finished" 'BEGIN { printf "%.0f", n / (b - a) }')
  if [ "$status" -eq 0 ]; then
    result="no crash"
  else
    result="FAILED (exit $status), see $log and $findings/"
    failed=1
    tail -n 40 "$log" >&2
  fi
  line="fuzz_$t: executed ${executed:-?} inputs, ${speed:-?} exec/s, ${seconds:-?} s, ${coverage:-? edges}, corpus $(ls "$corpus" | wc -l) files: $result"
  echo "$line"
  summary+=("$line")
done

echo
echo "== summary ($runs runs requested per target)"
printf '%s\n' "${summary[@]}"
exit "$failed"
