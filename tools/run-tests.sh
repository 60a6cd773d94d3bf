#!/usr/bin/env bash
# Builds Zorvik and runs every test, each step through its CMake preset (CMakePresets.json):
#   dev    the full build with all tests, then the Debian package made from it and tried out;
#   asan   the table engine and catalogue tests again under AddressSanitizer and
#          UndefinedBehaviorSanitizer;
#   fuzz   each reader fuzzed for a few seconds after replaying the kept crash inputs;
#   mingw  the table engine and catalogue built for Windows, their tests run under wine.
# ccache is used when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

cmake --preset dev "${launcher[@]}" -DCMAKE_INSTALL_PREFIX=/usr
cmake --build --preset dev -j"$jobs"
ctest --preset dev -j"$jobs"

# The Debian package from that build: lintian, installed, tried through the launcher, removed.
if [ "$(id -u)" -eq 0 ]; then
  bash tools/package-check.sh build
else
  echo "package check skipped: installing the package needs root"
fi

# Any sanitizer report stops the program with a non-zero status, so ctest fails on it (the
# options are in the asan test preset).
cmake --preset asan "${launcher[@]}"
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

bash tools/fuzz.sh "${FUZZ_SECONDS:-8}"

# Windows: the cross build and its tests under wine (kill tests, which need fork, excluded).
start=$SECONDS
cmake --preset mingw "${launcher[@]}"
cmake --build --preset mingw -j"$jobs"
ctest --preset mingw -j"$jobs"
echo "windows: cross build and tests under wine in $((SECONDS - start)) s"
