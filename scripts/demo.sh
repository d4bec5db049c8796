#!/usr/bin/env bash
# Sets everything up, builds, and runs the engine on a real file: pack, unpack, compare.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$(nproc)" mvpatch_tool

tool=build/tools/mvpatch
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sample=${1:-$(find /usr/lib/x86_64-linux-gnu -maxdepth 1 -name 'libQt5Core.so.5.*' | head -n 1)}
[ -f "$sample" ] || sample=$tool

echo "sample: $sample ($(stat -c %s "$sample") bytes, crc $($tool crc "$sample"))"
/usr/bin/time -f "pack:   %es, %MKB peak" "$tool" pack "$sample" "$work/packed"
echo "packed: $(stat -c %s "$work/packed") bytes"
/usr/bin/time -f "unpack: %es, %MKB peak" "$tool" unpack "$work/packed" "$work/restored"
cmp "$sample" "$work/restored"
echo "restored file is identical (crc $($tool crc "$work/restored"))"
