#!/usr/bin/env bash
# Builds Zorvik and runs every test: the full build with all tests, the Debian package made from
# it and tried out, then the table engine and catalogue tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"

# The Debian package from that build: lintian, installed, tried through the launcher, removed.
if [ "$(id -u)" -eq 0 ]; then
  bash tools/package-check.sh build
else
  echo "package check skipped: installing the package needs root"
fi

# Any sanitizer report stops the program with a non-zero status, so ctest fails on it.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ZORVIK_KILL_POINTS=20
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZORVIK_GUI=OFF -DZORVIK_BENCH=OFF -DZORVIK_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs" -L engine

# Fuzz smoke: each reader fuzzed for a few seconds after replaying the kept crash inputs.
bash tools/fuzz.sh "${FUZZ_SECONDS:-8}"
