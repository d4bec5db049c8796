#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target, default 30] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DMV3_BUILD_APP=OFF -DMV3_BENCH=OFF -DMV3_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
ninja -C "$build" -j"$(nproc)" "${targets[@]}"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  for seed in "tests/fuzz/corpus/$target" "tests/fuzz/regressions/$target"; do
    [ -d "$seed" ] && seeds+=("$seed")
  done
  echo "== $target for ${seconds}s"
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -artifact_prefix="$build/" -print_final_stats=1 \
    "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
  test "${PIPESTATUS[0]}" -eq 0
done
