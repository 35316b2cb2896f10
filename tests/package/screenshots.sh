#!/usr/bin/env bash
# The screenshot tool writes a readable picture of the main window, of
# every other tab, of the label preview and of the advanced view.
# Usage: screenshots.sh TOOL
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen "$1" "$work/out" >/dev/null
status=0
for name in main-window printer-configuration file-manager ethernet-setup command-tool label-preview \
    printer-configuration-all-operations file-manager-all-operations; do
  size=$(identify -format '%wx%h' "$work/out/$name.png" 2>/dev/null) || { echo "FAIL: $name.png missing or unreadable" >&2; status=1; continue; }
  width=${size%x*} height=${size#*x}
  if [ "$width" -lt 600 ] || [ "$height" -lt 500 ]; then
    echo "FAIL: $name.png is only $size" >&2
    status=1
  fi
done
exit $status
