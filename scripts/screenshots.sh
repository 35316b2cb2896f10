#!/usr/bin/env bash
# Pictures of the real window for the README and the AppStream metadata:
# builds the screenshot tool and writes docs/*.png from the window as it is
# now. Run it after changing anything visible, and commit the pictures.
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-"$root/build"}

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build_dir" >/dev/null
fi
cmake --build "$build_dir" --target tarvolin-screenshots -j 2

runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
# The same picture on every machine: a fixed locale, no print queues of this
# machine in the printer list, no display needed.
env -u LC_ALL -u LC_TIME -u LC_NUMERIC LANG=C.UTF-8 \
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
  CUPS_SERVER="$runtime/no-print-server.sock" \
  "$build_dir/tools/tarvolin-screenshots" "$root/docs"
