#!/bin/sh
# Runs one end-to-end test program under Wine with an X server and a Wine prefix of its own,
# and ends every process it started, on failure too.
# Usage: run-e2e.sh TEMPLATE_PREFIX WORK_FOLDER PROGRAM [ARGS...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
template=$1
work=$2
shift 2

sh "$here/../../scripts/wine-run.sh" "$template"
rm -rf "$work"
mkdir -p "$work"
# A copy of a booted prefix: far quicker than booting a new one.
cp -a "$template" "$work/prefix"
export WINEPREFIX="$work/prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
cleanup() {
    wineserver -k 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    rm -rf "$work/prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
tries=0
while [ ! -s "$work/display" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
export DISPLAY=":$(cat "$work/display")"

wine "$@"
