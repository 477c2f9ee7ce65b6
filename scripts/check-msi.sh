#!/bin/sh
# Checks a Windows Installer package: per machine, exactly the shipped files, no stand-in
# driver, executables that import nothing outside Windows itself, and their file versions in
# the File table, where Windows Installer's replacement rules read them.
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
msiinfo export "$msi" Property | tr -d '\r' | grep -q '^ALLUSERS	1$' ||
    { echo "the package does not install per machine"; exit 1; }
(cd "$work" && msiextract "$msi" >/dev/null)
for exe in Wendalux.exe wendalux-listen.exe; do
    found=$(find "$work" -name "$exe" -type f | head -n 1)
    [ -n "$found" ] || { echo "$exe is not in the package's cabinet"; exit 1; }
    sh "$(dirname "$0")/check-imports.sh" "$found"
    listed=$(msiinfo export "$msi" File | tr -d '\r' |
        awk -F '\t' -v name="$exe" '$3 ~ name "$" { print $5 }')
    [ "$listed" = "$(python3 "$(dirname "$0")/pe-version.py" "$found")" ] ||
        { echo "$exe: the File table says version '$listed'"; exit 1; }
done
echo "msi ok: $msi"
