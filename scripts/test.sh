#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and runs the whole test suite.
# Usage: scripts/test.sh [--sanitize]   (--sanitize: engine only, under ASan+UBSan, in build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
if [ "${1:-}" = "--sanitize" ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMV3_SANITIZE=ON -DMV3_BUILD_APP=OFF -DMV3_BENCH=OFF
  ninja -C build-asan -j"$jobs"
  cd build-asan
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -L engine -j"$jobs" --output-on-failure
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  ninja -C build -j"$jobs"
  cd build
  QT_QPA_PLATFORM=offscreen ctest -j"$jobs" --output-on-failure
fi
