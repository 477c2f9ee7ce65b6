#!/bin/sh
# Packs the program for Windows users: build/dist/Wendalux-<version>-win64.zip.
# Usage: make-dist.sh WINDOWS_BUILD OUTPUT_FOLDER
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$(sed -n 's/.*name="Wendalux" version="\([0-9.]*\)\.0".*/\1/p' "$here/resources/wendalux.manifest")
name="Wendalux-$version-win64"
stage="$out/$name"
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage"
# Only what ships: never the stand-in driver, which lives in sim/.
cp "$build/bin/Wendalux.exe" "$build/bin/wendalux-listen.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/Wendalux.exe" "$stage/wendalux-listen.exe"
sed 's/$/\r/' "$here/docs/user-readme.txt" >"$stage/README.txt"
sed 's/$/\r/' "$here/LICENSE" >"$stage/LICENSE.txt"
(cd "$out" && zip -q -r -X "$name.zip" "$name")
rm -rf "$stage"
echo "$out/$name.zip"
