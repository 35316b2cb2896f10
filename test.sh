#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite offscreen.
# Extra arguments go to cmake, e.g. ./test.sh -DTARVOLIN_SANITIZE=address
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build_dir=${TARVOLIN_BUILD_DIR:-"$root/build"}
"$root/scripts/setup.sh" "$build_dir" "$@"

export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600
