#!/bin/sh
# Renders the program's window under Xvfb into a PNG file.
# Usage: screenshot.sh BUILD_DIR SCENE OUTPUT.png   (SCENE: main or capture)
set -eu
build=$(cd "$1" && pwd)
scene=$2
output=$3
work="$build/screenshot-$scene"
wine_scripts=$(cd "$(dirname "$0")" && pwd)
. "$wine_scripts/wine-session.sh"

rm -rf "$work"
mkdir -p "$(dirname "$output")"
wine_session_prefix "$build/wineprefix-template" "$work"
trap 'wine_session_stop "$work"' EXIT
wine_session_display "$work" 1040x860x24

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
