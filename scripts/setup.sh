#!/usr/bin/env bash
# Shared set-up for run.sh and test.sh: installs the Debian packages the
# build and the tests need when they are missing, then configures and builds.
# Usage: scripts/setup.sh BUILD_DIR [extra cmake arguments...]
# TARVOLIN_BUILD_TARGETS="a b" builds only those targets instead of all.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-"$root/build"}
shift || true

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libgtest-dev libbenchmark-dev
  libcups2-dev cups cups-client
  xvfb imagemagick x11-utils xxd
  fonts-dejavu-core fonts-wqy-microhei
  dpkg-dev file desktop-file-utils appstream groff-base librsvg2-bin xauth
  fonts-dejavu-extra fonts-urw-base35 libzint-dev zlib1g-dev libzbar-dev zbar-tools libdmtx-dev dmtx-utils libzxing-dev
  clang libclang-rt-14-dev
  ansible-core prometheus
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for t in ${TARVOLIN_BUILD_TARGETS:-}; do
  targets+=(--target "$t")
done
cmake --build "$build_dir" -j "$(nproc)" "${targets[@]}"
