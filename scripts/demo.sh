#!/usr/bin/env bash
# Sets everything up, builds, and runs the engine on real files: packs and unpacks a library,
# then patches one build of a program into another, and checks every result byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$(nproc)" mvpatch_tool
# Two release builds of the same tool with different optimisation: an "old" and a "new" program.
for variant in old:-O2 new:-O3; do
  dir=build-demo-${variant%%:*}
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="${variant#*:} -DNDEBUG" \
    -DMV3_BUILD_APP=OFF -DMV3_BENCH=OFF >/dev/null
  ninja -C "$dir" -j"$(nproc)" mvpatch_tool >/dev/null
done

tool=build/tools/mvpatch
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sample=${1:-$(find /usr/lib/x86_64-linux-gnu -maxdepth 1 -name 'libQt5Core.so.5.*' | head -n 1)}
[ -f "$sample" ] || sample=$tool

echo "== container"
echo "sample: $sample ($(stat -c %s "$sample") bytes, crc $($tool crc "$sample"))"
/usr/bin/time -f "pack:   %es, %MKB peak" "$tool" pack "$sample" "$work/packed"
echo "packed: $(stat -c %s "$work/packed") bytes"
/usr/bin/time -f "unpack: %es, %MKB peak" "$tool" unpack "$work/packed" "$work/restored"
cmp "$sample" "$work/restored"
echo "restored file is identical (crc $($tool crc "$work/restored"))"

echo "== difference patch"
old=build-demo-old/tools/mvpatch
new=build-demo-new/tools/mvpatch
echo "old: $old ($(stat -c %s "$old") bytes), new: $new ($(stat -c %s "$new") bytes)"
/usr/bin/time -f "diff:   %es, %MKB peak" "$tool" diff "$old" "$new" "$work/patch" --header
echo "patch:  $(stat -c %s "$work/patch") bytes"
/usr/bin/time -f "apply:  %es, %MKB peak" "$tool" apply "$old" "$work/patch" "$work/patched" --header
cmp "$new" "$work/patched"
echo "patched file is identical to the new build"
