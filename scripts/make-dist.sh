#!/bin/sh
# Packs the program for Windows users: OUTPUT_FOLDER/Wendalux-<version>-win64.zip, from the
# files that stage-release.sh made. The version comes from the VERSION file.
# Usage: make-dist.sh STAGE_FOLDER OUTPUT_FOLDER
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
stage=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$(cat "$here/VERSION")
name="Wendalux-$version-win64"
rm -rf "${out:?}/$name" "$out/$name.zip"
mkdir -p "$out/$name"
cp "$stage/Wendalux.exe" "$stage/wendalux-listen.exe" "$stage/README.txt" "$stage/LICENSE.txt" \
    "$out/$name/"
(cd "$out" && zip -q -r -X "$name.zip" "$name")
rm -rf "${out:?}/$name"
echo "$out/$name.zip"
