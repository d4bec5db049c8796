#!/usr/bin/env bash
# Measures mvpatch diff/apply against bsdiff/bspatch on the same file pairs, side by side.
# Usage: scripts/bench-diff-vs-bsdiff.sh [--update-ledger] [--runs N] [MVPATCH_BINARY]
#
# Pairs: the installed and the candidate version of two Debian shared libraries (libcrypto from
# libssl3, libpython3.11) and of the Python standard library's sources concatenated into one text
# file. The candidate packages are fetched with apt-get download. hyperfine runs each command N
# times (default 5) for the mean wall time; /usr/bin/time gives one run's peak resident memory.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

update_ledger=0
runs=5
tool=""
while [ $# -gt 0 ]; do
  case "$1" in
    --update-ledger) update_ledger=1 ;;
    --runs) runs=$2; shift ;;
    *) tool=$(realpath "$1") ;;
  esac
  shift
done
if [ -z "$tool" ]; then
  cmake -S . -B build-bench -G Ninja -DMV3_BUILD_APP=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C build-bench mvpatch_tool >/dev/null
  tool=$root/build-bench/tools/mvpatch
fi
for needed in bsdiff bspatch hyperfine /usr/bin/time apt-get dpkg-deb; do
  command -v "$needed" >/dev/null || { echo "missing $needed" >&2; exit 1; }
done

work=${BENCH_DIFF_WORK:-/tmp/mv3-bench-diff}
mkdir -p "$work/new"
cd "$work"

# Candidate packages; the installed versions are the old side.
packages=(libssl3 libpython3.11 libpython3.11-stdlib)
for package in "${packages[@]}"; do
  ls "${package}"_*.deb >/dev/null 2>&1 || apt-get download "$package" >/dev/null 2>&1
done
for deb in *.deb; do dpkg-deb -x "$deb" new/; done
version() { dpkg-query -W -f='${Version}' "$1"; }
candidate() { dpkg-deb -f "$(ls "$1"_*.deb | head -n 1)" Version; }

lib=/usr/lib/x86_64-linux-gnu
cp "$lib/libcrypto.so.3" old-libcrypto.so
cp "new$lib/libcrypto.so.3" new-libcrypto.so
cp "$lib/libpython3.11.so.1.0" old-libpython.so
cp "new$lib/libpython3.11.so.1.0" new-libpython.so
(cd new/usr/lib/python3.11 && find . -name '*.py' -type f | LC_ALL=C sort) > stdlib-files
: > old-stdlib.txt
while read -r f; do
  [ -f "/usr/lib/python3.11/$f" ] && cat "/usr/lib/python3.11/$f" >> old-stdlib.txt
done < stdlib-files
(cd new/usr/lib/python3.11 && xargs cat < "$work/stdlib-files") > new-stdlib.txt

pairs=(
  "libcrypto.so.3|old-libcrypto.so|new-libcrypto.so|libssl3 $(version libssl3) -> $(candidate libssl3)"
  "libpython3.11.so.1.0|old-libpython.so|new-libpython.so|libpython3.11 $(version libpython3.11) -> $(candidate libpython3.11)"
  "python3.11 stdlib *.py (text)|old-stdlib.txt|new-stdlib.txt|libpython3.11-stdlib $(version libpython3.11-stdlib) -> $(candidate libpython3.11-stdlib)"
)

# Peak resident memory of one run, in MiB.
peak_mib() {
  /usr/bin/time -f "%M" -o "$work/time.tmp" "$@" >/dev/null
  awk '{printf "%.1f", $1 / 1024}' "$work/time.tmp"
}
# Mean wall time in seconds (with its standard deviation) of the named command in hyperfine's CSV.
mean_of() { awk -F, -v c="$2" '$1 == c {printf "%.3f ± %.3f", $2, $3}' "$1"; }

echo "| pair | old bytes | new bytes | mvpatch patch (method 2, header) | bsdiff patch | mvpatch diff: s, MiB | bsdiff: s, MiB | mvpatch apply s | bspatch s |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
ledger_rows=()
for entry in "${pairs[@]}"; do
  IFS='|' read -r name old new versions <<<"$entry"
  hyperfine -N --style none --warmup 1 --runs "$runs" --export-csv times.csv \
    -n mv-diff "$tool diff $old $new mv.patch --method 2 --header" \
    -n bs-diff "bsdiff $old $new bs.patch" \
    -n mv-apply "$tool apply $old mv.patch mv.out --header" \
    -n bs-apply "bspatch $old bs.out bs.patch" >/dev/null 2>hyperfine.log
  cmp -s mv.out "$new" || { echo "mvpatch output differs for $name" >&2; exit 1; }
  cmp -s bs.out "$new" || { echo "bspatch output differs for $name" >&2; exit 1; }
  mv_mem=$(peak_mib "$tool" diff "$old" "$new" mv.patch --method 2 --header)
  bs_mem=$(peak_mib bsdiff "$old" "$new" bs.patch)
  mv_size=$(stat -c %s mv.patch)
  bs_size=$(stat -c %s bs.patch)
  printf "| %s (%s) | %d | %d | %d | %d | %s, %s | %s, %s | %s | %s |\n" "$name" "$versions" \
    "$(stat -c %s "$old")" "$(stat -c %s "$new")" "$mv_size" "$bs_size" \
    "$(mean_of times.csv mv-diff)" "$mv_mem" "$(mean_of times.csv bs-diff)" "$bs_mem" \
    "$(mean_of times.csv mv-apply)" "$(mean_of times.csv bs-apply)"
  ledger_rows+=("$name,$versions,$(stat -c %s "$old"),$(stat -c %s "$new"),$mv_size,$bs_size")
done

if [ "$update_ledger" = 1 ]; then
  {
    echo "pair,versions,old_bytes,new_bytes,mvpatch_method2_header_bytes,bsdiff_bytes"
    printf '%s\n' "${ledger_rows[@]}"
  } > "$root/bench/patch-sizes.csv"
  echo "ledger written to bench/patch-sizes.csv"
fi
