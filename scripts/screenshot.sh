#!/bin/sh
# Renders the program's window under Xvfb into a PNG file.
# Usage: screenshot.sh BUILD_DIR SCENE OUTPUT.png   (SCENE: main or capture)
set -eu
build=$(cd "$1" && pwd)
scene=$2
output=$3
work="$build/screenshot-$scene"
here=$(cd "$(dirname "$0")" && pwd)

sh "$here/wine-run.sh" "$build/wineprefix-template"
rm -rf "$work"
mkdir -p "$work" "$(dirname "$output")"
cp -a "$build/wineprefix-template" "$work/prefix"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

Xvfb -displayfd 3 -screen 0 1040x860x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
cleanup() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -rf "$work/prefix"
}
trap cleanup EXIT
while [ ! -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

ready="$work/ready"
windows_ready="Z:$(printf '%s' "$ready" | tr '/' '\\')"
# A virtual desktop gives the window Wine's own caption bar and a taskbar with the tray.
wine explorer "/desktop=Wendalux,1020x840" "$build/tests/screenshot_scene.exe" "$scene" \
    "$windows_ready" >/dev/null 2>&1 &
tries=0
while [ ! -f "$ready" ] && [ $tries -lt 600 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
[ -f "$ready" ] || { echo "the program did not get ready" >&2; exit 1; }
import -window root "$output"
echo "screenshot: $output"
