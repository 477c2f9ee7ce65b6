#!/bin/sh
# Checks a release zip: exactly the shipped files, no stand-in driver, and executables that
# import nothing outside Windows itself.
# Usage: check-dist.sh ZIP
set -eu
zip=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
folder=$(basename "$zip" .zip)
expected="LICENSE.txt
README.txt
Wendalux.exe
wendalux-listen.exe"
actual=$(cd "$work/$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "unexpected contents:"; echo "$actual"; exit 1
fi
sh "$(dirname "$0")/check-imports.sh" "$work/$folder/Wendalux.exe" "$work/$folder/wendalux-listen.exe"
echo "dist ok: $zip"
