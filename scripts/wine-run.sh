#!/bin/sh
# Runs a Windows program under Wine in the given prefix (never the user's ~/.wine),
# creating the prefix on first use. Usage: wine-run.sh PREFIX [PROGRAM [ARGS...]]; without a
# program it only makes sure that the prefix exists.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    (
        flock 9
        [ -f "$prefix/system.reg" ] || wineboot -i >/dev/null 2>&1
        wineserver -w
    ) 9>"$prefix.lock"
fi
[ $# -eq 0 ] && exit 0
exec wine "$@"
