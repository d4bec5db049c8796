#!/usr/bin/env bash
# Download and SHA-512 figures against the reference tools, interleaved in one run:
#   - one 1 GB file from a local python3 http.server that sends bodies with sendfile(2)
#     (bench/sendfile_server.py), so the server barely competes with the clients for the two
#     cores: DownloadTaskSpecification vs `curl -o`
#   - six 200 MB files at once: the same vs `curl --parallel`
#   - SHA-512 of the 1 GB file (page cache warm): Sha512::hashFile vs `sha512sum`, with peak memory
# Usage: scripts/bench-download.sh [build directory (default build-bench-app)] [work directory]
# Prints medians of ROUNDS runs (default 5) and the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench-app}
work=${2:-/tmp/mv3-bench-download}
rounds=${ROUNDS:-5}

if [ ! -x "$build/tests/support/benchdownload" ] || [ ! -x "$build/tools/mv3-release/mv3-release" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$build" -j2 benchdownload mv3-release >/dev/null
fi
driver=$PWD/$build/tests/support/benchdownload
tool=$PWD/$build/tools/mv3-release/mv3-release

version=1
files=$work/root/updater-images/client/$version
mkdir -p "$files" "$work/out"
[ "$(stat -c %s "$files/big.bin" 2>/dev/null || echo 0)" = 1000000000 ] ||
  head -c 1000000000 /dev/urandom > "$files/big.bin"
for i in 1 2 3 4 5 6; do
  [ "$(stat -c %s "$files/part$i.bin" 2>/dev/null || echo 0)" = 200000000 ] ||
    head -c 200000000 /dev/urandom > "$files/part$i.bin"
done

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 bench/sendfile_server.py "$port" "$work/root" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
base=http://127.0.0.1:$port/updater-images/client
for _ in $(seq 50); do curl -sf -o /dev/null "$base/$version/part1.bin" -r 0-0 && break; sleep 0.1; done

now() { date +%s.%N; }
elapsed() { local t0; t0=$(now); "$@" >/dev/null 2>&1; echo "$(now) - $t0" | bc; }
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { echo "scale=2; $1 / $2" | bc; }

parallel_args=()
for i in 1 2 3 4 5 6; do parallel_args+=(-o "$work/out/curl$i.bin" "$base/$version/part$i.bin"); done
names=(part1.bin part2.bin part3.bin part4.bin part5.bin part6.bin)

# Each timed command starts with no dirty pages of an earlier one still being written back, and
# the order alternates, so neither side pays for the other's writes.
fresh() { rm -f "$work"/out/*; sync; }
curl1=(); ours1=(); curl6=(); ours6=(); sums=(); hashes=()
cat "$files/big.bin" > /dev/null
for r in $(seq "$rounds"); do
  for side in $( ((r % 2)) && echo "curl ours" || echo "ours curl"); do
    fresh
    if [ "$side" = curl ]; then
      curl1+=("$(elapsed curl -sf -o "$work/out/curl.bin" "$base/$version/big.bin")")
    else
      ours1+=("$(elapsed "$driver" "$base" "$version" "$work/out" big.bin)")
      cmp "$work/out/big.bin" "$files/big.bin"
    fi
  done
  for side in $( ((r % 2)) && echo "curl ours" || echo "ours curl"); do
    fresh
    if [ "$side" = curl ]; then
      curl6+=("$(elapsed curl -sf --parallel --parallel-max 6 "${parallel_args[@]}")")
    else
      ours6+=("$(elapsed "$driver" "$base" "$version" "$work/out" "${names[@]}")")
      cmp "$work/out/part6.bin" "$files/part6.bin"
    fi
  done
  fresh
  cat "$files/big.bin" > /dev/null
  for side in $( ((r % 2)) && echo "sum ours" || echo "ours sum"); do
    if [ "$side" = sum ]; then
      sums+=("$(elapsed sha512sum "$files/big.bin")")
    else
      hashes+=("$(elapsed "$tool" sha512 "$files/big.bin")")
    fi
  done
  echo "round $r: curl ${curl1[-1]} s, ours ${ours1[-1]} s; parallel curl ${curl6[-1]} s, ours ${ours6[-1]} s;" \
       "sha512sum ${sums[-1]} s, ours ${hashes[-1]} s" >&2
done
[ "$("$tool" sha512 "$files/big.bin" | cut -d' ' -f1)" = "$(sha512sum "$files/big.bin" | cut -d' ' -f1)" ]
peak=$(/usr/bin/time -f %M "$tool" sha512 "$files/big.bin" 2>&1 >/dev/null | tail -n 1)

c1=$(median "${curl1[@]}"); o1=$(median "${ours1[@]}")
c6=$(median "${curl6[@]}"); o6=$(median "${ours6[@]}")
s=$(median "${sums[@]}"); h=$(median "${hashes[@]}")
echo "one 1 GB file:     curl -o $c1 s, DownloadTaskSpecification $o1 s; ours at $(ratio "$c1" "$o1")x curl's throughput"
echo "six 200 MB files:  curl --parallel $c6 s, DownloadTaskSpecification x6 $o6 s; ours at $(ratio "$c6" "$o6")x"
echo "SHA-512 of 1 GB:   sha512sum $s s, mv3-release sha512 $h s; ours at $(ratio "$s" "$h")x; peak RSS ${peak} KB"
