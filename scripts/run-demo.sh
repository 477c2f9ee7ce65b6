#!/bin/sh
# The main job: Wendalux under Wine with the stand-in driver (a keyboard at 1, a scanner at 2),
# capture running on the scanner, a demo scanner typing codes, and wendalux-listen printing
# each scan as it arrives. Ctrl-C ends it; so does DEMO_SECONDS, when set.
# Usage: run-demo.sh WINDOWS_BUILD LISTENER
set -u
windows=$(cd "$1" && pwd)
listener=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
here=$(cd "$(dirname "$0")" && pwd)
wine_scripts=$here
. "$wine_scripts/wine-session.sh"
demo="$windows/../demo"
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)

wine_session_prefix "$windows/wineprefix-template" "$demo"
rm -rf "$demo/app"
mkdir -p "$demo/app"
# The stand-in driver goes beside this copy of the program, never into bin/.
cp "$windows/bin/Wendalux.exe" "$windows/sim/interception.dll" "$demo/app/"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')
# Prepared through the program's own files: the scanner chosen, the port, and capture left
# running at the last exit, so the program restarts capture by itself.
user_dir=$(ls -d "$demo/prefix/drive_c/users/"* | grep -v '/Public$' | head -n 1)
settings="$user_dir/AppData/Roaming/Wendalux"
mkdir -p "$settings"
printf '[Device]\r\nInterceptionId=2\r\n[Tcp]\r\nPort=%s\r\nCase=upper\r\nIncludeEnter=1\r\n' \
    "$port" >"$settings/config.ini"
printf '[Capture]\r\nActive=1\r\n' >"$settings/capture_state.ini"

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    wine_session_display "$demo" 1280x1024x24
    echo "demo: no display, the window is on Xvfb $DISPLAY"
fi

scanner=""
listen=""
cleanup() {
    trap - EXIT INT TERM
    [ -n "$scanner" ] && kill "$scanner" 2>/dev/null
    [ -n "$listen" ] && kill "$listen" 2>/dev/null
    wine_session_stop "$demo"
    echo "demo: stopped"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

export INTERCEPTION_SIM_DEVICES='1=ACPI\PNP0303;2=HID\VID_1234&PID_ABCD&REV_0100&MI_00'
export INTERCEPTION_SIM_PORT=0
export INTERCEPTION_SIM_PORT_FILE="$demo/sim-port"
rm -f "$demo/sim-port"
cd "$demo/app"
wine Wendalux.exe >"$demo/wendalux.out" 2>&1 &
tries=0
while [ ! -s "$demo/sim-port" ] && [ $tries -lt 300 ]; do sleep 0.1; tries=$((tries + 1)); done
[ -s "$demo/sim-port" ] || { echo "demo: Wendalux did not start" >&2; exit 1; }
# A second start brings the running copy's window forward, as it would for a user.
wine Wendalux.exe >/dev/null 2>&1

echo "demo: Wendalux listens on port $port; scans follow (Ctrl-C ends the demo)"
python3 "$here/demo_scanner.py" "$(cat "$demo/sim-port")" 2 &
scanner=$!
"$listener" 127.0.0.1 "$port" &
listen=$!
if [ -n "${DEMO_SECONDS:-}" ]; then
    sleep "$DEMO_SECONDS"
else
    wait "$listen"
fi
