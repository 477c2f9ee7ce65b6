#!/bin/sh
# Renders the program's window under Xvfb into a PNG file, at the DPI given (96 by default).
# Usage: screenshot.sh BUILD_DIR SCENE OUTPUT.png [DPI]   (SCENE: main, capture or waiting)
# At 120 DPI the desktop is a 1366x768 screen, as a laptop at 125 % has; the window's and the
# work area's rectangles are printed.
set -eu
build=$(cd "$1" && pwd)
scene=$2
output=$3
dpi=${4:-96}
work="$build/screenshot-$scene-$dpi"
wine_scripts=$(cd "$(dirname "$0")" && pwd)
. "$wine_scripts/wine-session.sh"

case $dpi in
    120) desktop=1366x768 ;;
    *) desktop="$((1020 * dpi / 96))x$((840 * dpi / 96))" ;;
esac
width=${desktop%x*}
height=${desktop#*x}

rm -rf "$work"
mkdir -p "$(dirname "$output")"
wine_session_prefix "$build/wineprefix-template" "$work"
trap 'wine_session_stop "$work"' EXIT
wine_session_display "$work" "$((width + 20))x$((height + 20))x24"
# Wine reads the DPI when a program starts.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1

ready="$work/ready"
windows_ready="Z:$(printf '%s' "$ready" | tr '/' '\\')"
# A virtual desktop gives the window Wine's own caption bar and a taskbar with the tray.
wine explorer "/desktop=Wendalux,$desktop" "$build/tests/screenshot_scene.exe" "$scene" \
    "$windows_ready" >/dev/null 2>&1 &
tries=0
while [ ! -s "$ready" ] && [ $tries -lt 600 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
[ -s "$ready" ] || { echo "the program did not get ready" >&2; exit 1; }
import -window root "$output"
echo "screenshot: $output at $dpi DPI: $(cat "$ready")"
