#!/bin/sh
# Runs one end-to-end test program under Wine with an X server and a Wine prefix of its own,
# and ends every process it started, on failure too.
# Usage: run-e2e.sh TEMPLATE_PREFIX WORK_FOLDER PROGRAM [ARGS...]
set -u
wine_scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
. "$wine_scripts/wine-session.sh"
template=$1
work=$2
shift 2

rm -rf "$work"
wine_session_prefix "$template" "$work"
trap 'wine_session_stop "$work"' EXIT
trap 'exit 130' INT TERM
wine_session_display "$work" 1280x1024x24

wine "$@"
