#!/usr/bin/env bash
# The three programs answer --help and --version without a display (as over
# ssh), exit 0, and report one version.
# Usage: versions.sh TARVOLIN TARVOLIN_PRINTER TARVOLIN_CLI
set -euo pipefail
status=0
bare() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }

versions=()
for program in "$@"; do
  name=$(basename "$program")
  out=$(bare "$program" --version) || { echo "FAIL: $name --version exited $?" >&2; status=1; continue; }
  [[ $out =~ ^$name\ ([0-9][0-9.]*)$ ]] || { echo "FAIL: $name --version said: $out" >&2; status=1; continue; }
  versions+=("${BASH_REMATCH[1]}")
  bare "$program" --help >/dev/null || { echo "FAIL: $name --help exited $?" >&2; status=1; }
done
[ ${#versions[@]} -eq $# ] && [ "$(printf '%s\n' "${versions[@]}" | sort -u | wc -l)" -eq 1 ] || {
  echo "FAIL: the programs report different versions: ${versions[*]}" >&2
  status=1
}

# The window's help names its companions; without a display and without
# those options it says why it cannot start instead of aborting.
help=$(bare "$1" --help)
for companion in tarvolin-cli tarvolin-printer; do
  grep -q "$companion" <<<"$help" || { echo "FAIL: tarvolin --help does not name $companion" >&2; status=1; }
done
set +e
err=$(bare "$1" 2>&1 >/dev/null)
code=$?
set -e
[ $code -eq 1 ] && grep -q "no display" <<<"$err" || {
  echo "FAIL: tarvolin without a display exited $code: $err" >&2
  status=1
}
exit $status
