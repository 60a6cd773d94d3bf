#!/usr/bin/env bash
# Builds Zorvik and runs every test: the full build with all tests, then the table engine and
# catalogue tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"

# Any sanitizer report stops the program with a non-zero status, so ctest fails on it.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ZORVIK_KILL_POINTS=20
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZORVIK_GUI=OFF -DZORVIK_BENCH=OFF -DZORVIK_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs" -L engine

# Fuzz smoke: each reader fuzzed for a few seconds after replaying the kept crash inputs.
bash tools/fuzz.sh "${FUZZ_SECONDS:-8}"
