#!/usr/bin/env bash
# Every man page formats without a single warning.
# Usage: man_pages.sh MAN_DIR
set -euo pipefail
status=0
shopt -s nullglob
pages=("$1"/*.1)
[ ${#pages[@]} -gt 0 ] || { echo "no man pages in $1" >&2; exit 1; }
for page in "${pages[@]}"; do
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$page:" >&2
    echo "$warnings" >&2
    status=1
  fi
  grep -q '^\.SH NAME' "$page" || { echo "$page: no NAME section" >&2; status=1; }
done
exit $status
