#!/usr/bin/env bash
# Builds the Debian package and checks it as dpkg and the desktop see it:
# each program, the desktop entry, the icon, the metadata and the man pages
# where they are looked for, dependencies computed from the binaries, and
# nothing else (no test, no benchmark, no library).
# Usage: deb_contents.sh CPACK BUILD_DIR MAN_DIR APP_ID PROGRAM...
set -euo pipefail
shopt -s nullglob
cpack=$1 build=$2 man_dir=$3 app_id=$4
shift 4
programs=()
for p in "$@"; do [ -n "$p" ] && programs+=("$p"); done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  exit 1
fi
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one package, got: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
dpkg-deb -x "$deb" "$work/root"

status=0
fail() { echo "FAIL: $*" >&2; status=1; }

expected=(
  "usr/share/doc/tarvolin/copyright"
  "usr/share/applications/$app_id.desktop"
  "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
  "usr/share/metainfo/$app_id.metainfo.xml"
)
for p in "${programs[@]}"; do
  expected+=("usr/bin/$p")
  [ -x "$work/root/usr/bin/$p" ] || fail "usr/bin/$p is missing or not executable"
done
for page in "$man_dir"/*.1; do
  gz="usr/share/man/man1/$(basename "$page").gz"
  expected+=("$gz")
  if ! gzip -dc "$work/root/$gz" 2>/dev/null | cmp -s - "$page"; then
    fail "$gz is missing or not $page compressed"
  fi
done
for f in "${expected[@]}"; do
  [ -f "$work/root/$f" ] || fail "$f is missing"
done
while IFS= read -r f; do
  printf '%s\n' "${expected[@]}" | grep -qxF "$f" || fail "unexpected file in the package: $f"
done < <(cd "$work/root" && find . -type f -o -type l | sed 's|^\./||')

# The copyright file in Debian's machine-readable format: every file under
# the project's licence, whose text is the LICENSE file's, word for word.
copyright=$work/root/usr/share/doc/tarvolin/copyright
if [ -f "$copyright" ]; then
  head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright: the first line is not the format's: $(head -n 1 "$copyright")"
  for field in Upstream-Name Source; do
    grep -q "^$field: ." "$copyright" || fail "copyright: no $field"
  done
  licence=$(awk '/^Files: \*$/ { files = 1 } files && /^License: / { print $2; exit }' "$copyright")
  [ -n "$licence" ] || fail "copyright: no Files: * paragraph with its License"
  # The stand-alone paragraph of that licence, its continuation lines
  # unindented and its " ." lines empty, against LICENSE from its first
  # paragraph of terms on.
  text=$(awk -v l="$licence" 'on && /^$/ { exit }
    on { sub(/^ /, ""); if ($0 == ".") $0 = ""; print }
    prev == "" && $0 == "License: " l { on = 1 }
    { prev = $0 }' "$copyright")
  terms=$(sed -n '/^Permission/,$p' "$(dirname "$man_dir")/LICENSE")
  [ -n "$text" ] && [ "$text" = "$terms" ] || fail "copyright: the $licence text is not that of LICENSE"
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tarvolin ] || fail "Package: $(field Package)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Description | wc -l)" -gt 2 ] || fail "no long description: $(field Description)"
depends=$(field Depends)
IFS=, read -ra dependencies <<<"$depends"
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6svg6 libcups2; do
  # shlibdeps writes "name (>= version)" for every library a binary links;
  # libcups2, opened at run time, is named by hand in the same form
  found=0
  for d in "${dependencies[@]}"; do
    [[ ${d# } == "$lib (>= "* ]] && found=1
  done
  [ "$found" -eq 1 ] || fail "Depends lacks a computed $lib: $depends"
done
[ "$status" -eq 0 ] && echo "$(basename "$deb"): $depends"
exit $status
