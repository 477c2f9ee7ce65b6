#!/bin/sh
# Builds the Windows Installer package: build/dist/Wendalux-<version>-x64.msi, with wixl.
# The version is the program's own (its manifest); VERSION=x.y.z overrides it, which the
# installer test uses to make an older package to upgrade from.
# Usage: make-msi.sh WINDOWS_BUILD OUTPUT_FOLDER
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=${VERSION:-$(sed -n 's/.*name="Wendalux" version="\([0-9.]*\)\.0".*/\1/p' \
    "$here/resources/wendalux.manifest")}
package="$out/Wendalux-$version-x64.msi"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# Only what ships: never the stand-in driver, which lives in sim/.
cp "$build/bin/Wendalux.exe" "$build/bin/wendalux-listen.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/Wendalux.exe" "$stage/wendalux-listen.exe"
sed 's/$/\r/' "$here/docs/user-readme.txt" >"$stage/README.txt"
sed 's/$/\r/' "$here/LICENSE" >"$stage/LICENSE.txt"
cp "$here/resources/wendalux.ico" "$stage/Wendalux.ico"
rm -f "$package"
# wixl finds the files relative to the folder it runs in.
(cd "$stage" && wixl --arch x64 -D Version="$version" -D Stage=. -o "$package" \
    "$here/resources/wendalux.wxs")
echo "$package"
