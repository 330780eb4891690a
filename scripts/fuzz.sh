#!/bin/sh
# Builds the fuzz targets of tests/fuzz with libFuzzer and the address and
# undefined-behaviour sanitizers (clang), then runs each one, or only the ones
# named, for SECONDS seconds, starting from its seed corpus.
#
# Usage: scripts/fuzz.sh SECONDS [TARGET...]     e.g. scripts/fuzz.sh 600 wav_reader
#
# One fuzzer runs at a time, on one core (libFuzzer's default: no -jobs).
# Inputs the fuzzer finds go to build-fuzz/fuzz/TARGET/corpus, outside the
# repository. An input that fails stops the run; it is left in
# build-fuzz/fuzz/TARGET/ (its path is printed). Mend the fault, then keep the
# input in tests/fuzz/regressions/TARGET/, where every test run replays it.
set -eu
cd "$(dirname "$0")/.."
if [ $# -lt 1 ]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
targets=${*:-$(ls tests/fuzz/corpus)}

scripts/install-deps.sh
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_FUZZ=ON -DKORVANE_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ > "$dir.configure.log" 2>&1 \
  || { cat "$dir.configure.log"; exit 1; }
for target in $targets; do
  cmake --build "$dir" -j "$(nproc)" --target "fuzz_$target"
done

for target in $targets; do
  work=$dir/fuzz/$target
  mkdir -p "$work/corpus"
  set -- -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/"
  [ -f "tests/fuzz/$target.dict" ] && set -- "$@" -dict="tests/fuzz/$target.dict"
  # NAME.options: the target's own libFuzzer flags (input size, time limit),
  # one per line.
  if [ -f "tests/fuzz/$target.options" ]; then
    while read -r option; do
      [ -n "$option" ] && set -- "$@" "$option"
    done < "tests/fuzz/$target.options"
  fi
  set -- "$@" "$work/corpus" "tests/fuzz/corpus/$target"
  [ -d "tests/fuzz/regressions/$target" ] && set -- "$@" "tests/fuzz/regressions/$target"
  echo "fuzzing $target for $seconds s (log: $work/log.txt)"
  status=0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$dir/bin/fuzz_$target" "$@" > "$work/log.txt" 2>&1 || status=$?
  grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY|Test unit written' \
    "$work/log.txt" || true
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$target failed (exit status $status); see $work/log.txt" >&2
    exit 1
  fi
done
echo "fuzzing done"
