#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tarvolin.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$root/scripts/setup.sh" "$root/build"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Tarvolin needs a graphical display: no DISPLAY or WAYLAND_DISPLAY is set." >&2
  exit 1
fi
exec "$root/build/tarvolin" "$@"
