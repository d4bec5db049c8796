#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test, fuzz and benchmark.
# Safe to run more than once; installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev
  zlib1g-dev libtomcrypt-dev libtommath-dev
  libprotobuf-dev protobuf-compiler
  liblzma-dev xz-utils
  libboost-dev libboost-date-time-dev
  libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 curl xvfb xauth x11-apps imagemagick
  hyperfine bsdiff time
)

if ! command -v apt-get >/dev/null 2>&1; then
  echo "setup.sh: apt-get not found; this script needs Debian 12 (bookworm)" >&2
  exit 1
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo_cmd=(sudo); else
    echo "setup.sh: run as root or install sudo" >&2; exit 1
  fi
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup.sh: all packages present"
  exit 0
fi

echo "setup.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
