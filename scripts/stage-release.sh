#!/bin/sh
# Makes the shipped files once for both release packages, so that the zip and the Windows
# Installer package hold the same bits: the two programs stripped and then signed (sign.sh;
# a signature does not survive stripping), README.txt and LICENSE.txt with Windows line ends.
# Usage: stage-release.sh WINDOWS_BUILD STAGE_FOLDER
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
stage=$2
rm -rf "$stage"
mkdir -p "$stage"
# Only what ships: never the stand-in driver, which lives in sim/.
cp "$build/bin/Wendalux.exe" "$build/bin/wendalux-listen.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/Wendalux.exe" "$stage/wendalux-listen.exe"
sh "$here/scripts/sign.sh" "$stage/Wendalux.exe" "$stage/wendalux-listen.exe"
# The readme's title names the version too.
sed -e "1s/[0-9][0-9.]*/$(cat "$here/VERSION")/" -e 's/$/\r/' "$here/docs/user-readme.txt" \
    >"$stage/README.txt"
sed 's/$/\r/' "$here/LICENSE" >"$stage/LICENSE.txt"
