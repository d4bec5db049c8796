#!/usr/bin/env bash
# Container figures: pack time and peak memory (1 MB and 100 MB), and unpack of 100 MB against
# `xz -d` on the same data compressed the same way (raw LZMA2, preset 9, 64 MiB dictionary).
# Usage: scripts/bench-container.sh [work directory, default /tmp/mv3-bench-container]
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-/tmp/mv3-bench-container}
mkdir -p "$work"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMV3_BUILD_APP=OFF >/dev/null
ninja -C build-bench mvpatch_tool >/dev/null
tool=$PWD/build-bench/tools/mvpatch

# Real-world data: the system's shared libraries, as one stream.
if [ ! -f "$work/data-100M" ]; then
  find /usr/lib/x86_64-linux-gnu -maxdepth 1 -name '*.so*' -type f -print0 | sort -z |
    xargs -0 cat 2>/dev/null | head -c 100000000 > "$work/data-100M" || true # head closes the pipe early
fi
[ -f "$work/data-1M" ] || head -c 1000000 "$work/data-100M" > "$work/data-1M"

peak() { /usr/bin/time -f "%e s, %M KB peak" "$@" 2>&1 >/dev/null | tail -n 1; }

echo "## pack (mvpatch pack, preset 9)"
for size in 1M 100M; do
  echo "data-$size: $(peak "$tool" pack "$work/data-$size" "$work/data-$size.mvz"),"\
       "$(stat -c %s "$work/data-$size.mvz") bytes packed"
done
echo "## xz, same settings, for comparison"
echo "data-100M: $(peak sh -c "xz --format=raw --lzma2=preset=9,dict=64MiB -c '$work/data-100M' > '$work/data-100M.raw'"),"\
     "$(stat -c %s "$work/data-100M.raw") bytes"

echo "## unpack 100 MB"
echo "mvpatch unpack: $(peak "$tool" unpack "$work/data-100M.mvz" "$work/out-mv")"
echo "xz -d:          $(peak sh -c "xz -d --format=raw --lzma2=dict=64MiB -c '$work/data-100M.raw' > '$work/out-xz'")"
cmp "$work/out-mv" "$work/data-100M"
cmp "$work/out-xz" "$work/data-100M"
hyperfine -w 1 -r 5 -N \
  "$tool unpack $work/data-100M.mvz $work/out-mv" \
  "sh -c 'xz -d --format=raw --lzma2=dict=64MiB -c $work/data-100M.raw > $work/out-xz'"
