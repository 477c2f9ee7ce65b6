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
system="ADVAPI32.dll COMCTL32.dll GDI32.dll HID.DLL IPHLPAPI.DLL KERNEL32.dll msvcrt.dll
SETUPAPI.dll SHELL32.dll USER32.dll WS2_32.dll"
for exe in Wendalux.exe wendalux-listen.exe; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$work/$folder/$exe" | sed -n 's/.*DLL Name: //p'); do
        case " $(echo $system) " in
            *" $dll "*) ;;
            *) echo "$exe imports $dll, which Windows does not have"; exit 1 ;;
        esac
    done
done
echo "dist ok: $zip"
