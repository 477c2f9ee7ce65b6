#!/bin/sh
# Checks that each Windows executable imports only DLLs that Windows itself has (no MinGW
# runtime DLL, nothing of the stand-in driver's).
# Usage: check-imports.sh EXE...
set -eu
system="ADVAPI32.dll COMCTL32.dll GDI32.dll HID.DLL IPHLPAPI.DLL KERNEL32.dll msvcrt.dll
SETUPAPI.dll SHELL32.dll USER32.dll WS2_32.dll"
for exe in "$@"; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p'); do
        case " $(echo $system) " in
            *" $dll "*) ;;
            *) echo "$(basename "$exe") imports $dll, which Windows does not have"; exit 1 ;;
        esac
    done
done
