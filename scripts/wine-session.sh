# Sourced by the scripts that run the program under Wine. Sets the shell variable
# `wine_scripts` to this folder before sourcing:  wine_scripts=DIR; . "$DIR/wine-session.sh"
#
# wine_session_prefix TEMPLATE FOLDER  FOLDER/prefix becomes a copy of the booted template (far
#                                      quicker than booting a new one) and WINEPREFIX names it.
# wine_session_display FOLDER SCREEN   starts an X server of its own and sets DISPLAY.
# wine_session_stop FOLDER             ends every process of the prefix and the X server, and
#                                      removes the prefix.

wine_session_xvfb=""

wine_session_prefix() {
    sh "$wine_scripts/wine-run.sh" "$1"
    rm -rf "$2/prefix"
    mkdir -p "$2"
    cp -a "$1" "$2/prefix"
    export WINEPREFIX="$2/prefix"
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
}

wine_session_display() {
    rm -f "$1/display"
    Xvfb -displayfd 3 -screen 0 "$2" -nolisten tcp 3>"$1/display" 2>/dev/null &
    wine_session_xvfb=$!
    tries=0
    while [ ! -s "$1/display" ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    export DISPLAY=":$(cat "$1/display")"
}

wine_session_stop() {
    wineserver -k 2>/dev/null || true
    if [ -n "$wine_session_xvfb" ]; then
        kill "$wine_session_xvfb" 2>/dev/null || true
    fi
    wait 2>/dev/null || true
    rm -rf "$1/prefix"
}
