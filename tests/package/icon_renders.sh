#!/usr/bin/env bash
# The icon renders at the sizes a desktop draws it, filling the square.
# Usage: icon_renders.sh ICON.svg
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for size in 16 32 48 128; do
  rsvg-convert -w "$size" -h "$size" "$1" -o "$work/$size.png"
  # the drawing's own extent, transparent margin trimmed off
  extent=$(convert "$work/$size.png" -trim -format '%wx%h' info:)
  width=${extent%x*} height=${extent#*x}
  if [ "$width" -lt $((size * 3 / 4)) ] || [ "$height" -lt $((size * 3 / 4)) ]; then
    echo "FAIL: at $size px the icon covers only $extent" >&2
    status=1
  fi
done
exit $status
