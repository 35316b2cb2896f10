#!/usr/bin/env bash
# Every man page formats without a single warning.
# Usage: man_pages.sh MAN_DIR
set -euo pipefail
status=0
headings=()
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
  # Dated with the release (YYYY-MM-DD), as every other page.
  heading=$(sed -n 's/^\.TH [^ ]* 1 \([^ ]*\) \(".*"\) .*/\1 \2/p' "$page")
  [[ $heading =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}\  ]] || { echo "$page: .TH carries no full date: $heading" >&2; status=1; }
  headings+=("$heading")
  # The three programs point to one another.
  self=$(basename "$page" .1)
  for other in tarvolin tarvolin-cli tarvolin-printer; do
    [ "$other" = "$self" ] && continue
    sed -n '/^\.SH SEE ALSO/,/^\.SH/p' "$page" | grep -q "^\.BR ${other//-/\\\\-} (1)" ||
      { echo "$page: SEE ALSO does not name $other(1)" >&2; status=1; }
  done
done
if [ "$(printf '%s\n' "${headings[@]}" | sort -u | wc -l)" -ne 1 ]; then
  echo "the pages carry different dates or versions:" >&2
  printf '  %s\n' "${headings[@]}" >&2
  status=1
fi
exit $status
