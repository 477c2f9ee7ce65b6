#!/bin/sh
# Checks a Windows Installer package: exactly the shipped files, no stand-in driver, and
# executables that import nothing outside Windows itself.
# Usage: check-msi.sh MSI
set -eu
msi=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
expected="LICENSE.txt
README.txt
Wendalux.exe
wendalux-listen.exe"
# The File table's names (column 3), as the package would install them.
actual=$(msiinfo export "$msi" File | tail -n +4 | cut -f 3 | sed "s/.*|//" | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "unexpected files in the package:"; echo "$actual"; exit 1
fi
(cd "$work" && msiextract "$msi" >/dev/null)
for exe in Wendalux.exe wendalux-listen.exe; do
    found=$(find "$work" -name "$exe" -type f | head -n 1)
    [ -n "$found" ] || { echo "$exe is not in the package's cabinet"; exit 1; }
    sh "$(dirname "$0")/check-imports.sh" "$found"
done
echo "msi ok: $msi"
