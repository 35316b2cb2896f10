#!/usr/bin/env bash
# Installs into a temporary prefix and starts the installed program there on
# a private X server: the desktop entry's Exec= names the installed binary,
# its Icon= is in the prefix's hicolor theme, and the window that appears
# carries the class the entry names.
# Usage: installed_start.sh CMAKE BUILD_DIR APP_ID
set -euo pipefail
cmake=$1 build=$2 app_id=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" --component Runtime >"$work/install.log"

entry=$prefix/share/applications/$app_id.desktop
[ -f "$entry" ] || { echo "FAIL: no desktop entry at $entry" >&2; exit 1; }
key() { sed -n "s/^$1=//p" "$entry"; }
exec_line=$(key Exec) icon=$(key Icon) wm_class=$(key StartupWMClass)
binary=$prefix/bin/${exec_line%% *}
[ -x "$binary" ] || { echo "FAIL: Exec=$exec_line is not an installed program ($binary)" >&2; exit 1; }
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || {
  echo "FAIL: Icon=$icon is not in $prefix/share/icons/hicolor/scalable/apps" >&2
  exit 1
}

mkdir -m 700 "$work/runtime"
cat >"$work/start.sh" <<'SCRIPT'
#!/usr/bin/env bash
# Runs inside xvfb-run: start the program, wait for its window, check its
# class, and stop it again.
set -uo pipefail
binary=$1 wm_class=$2
"$binary" &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null' EXIT
viewable=
for _ in $(seq 600); do
  # xwininfo -tree lists: id "title": ("instance" "class")  geometry
  window=$(xwininfo -root -tree 2>/dev/null | grep -F '"Tarvolin": ("' | head -n 1 || true)
  state=
  [ -n "$window" ] && state=$(xwininfo -id "$(awk '{print $1}' <<<"$window")" 2>/dev/null)
  if [[ $state == *"Map State: IsViewable"* ]]; then
    viewable=yes
    break
  fi
  kill -0 "$pid" 2>/dev/null || { echo "FAIL: the program ended before showing its window" >&2; exit 1; }
  sleep 0.1
done
[ -n "$viewable" ] || { echo "FAIL: no window titled Tarvolin shown within 60 s" >&2; exit 1; }
echo "window: $window"
grep -qF "\"$wm_class\")" <<<"$window" || { echo "FAIL: window class is not StartupWMClass=$wm_class" >&2; exit 1; }
sleep 1
kill -0 "$pid" 2>/dev/null || { echo "FAIL: the program ended after showing its window" >&2; exit 1; }
SCRIPT
chmod +x "$work/start.sh"

env -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$work/runtime" \
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$work/start.sh" "$binary" "$wm_class"
