#!/bin/sh
# The Windows Installer package under Wine, in a prefix of its own: a silent install over an
# older version (one entry left), the installed program starting, and a silent uninstall that
# leaves only the user's settings.
# Usage: installer_test.sh WINDOWS_BUILD TEMPLATE_PREFIX WORK_FOLDER
set -u
wine_scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
. "$wine_scripts/wine-session.sh"
build=$(cd "$1" && pwd)
template=$2
work=$3

fail() {
    echo "installer test: $*" >&2
    exit 1
}
to_windows() { printf 'Z:%s' "$1" | tr '/' '\\'; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

rm -rf "$work"
mkdir -p "$work"
old=$(VERSION=0.9.0 sh "$wine_scripts/make-msi.sh" "$build" "$work/old" 2>/dev/null) ||
    fail "the older package could not be built"
new=$(sh "$wine_scripts/make-msi.sh" "$build" "$work/new" 2>/dev/null) ||
    fail "the package could not be built"
sh "$wine_scripts/check-msi.sh" "$new" || exit 1
version=$(basename "$new" | sed 's/Wendalux-\(.*\)-x64\.msi/\1/')

wine_session_prefix "$template" "$work"
trap "wine_session_stop \"$work\"" EXIT
trap 'exit 130' INT TERM
wine_session_display "$work" 1280x1024x24
program_files="$WINEPREFIX/drive_c/Program Files/Wendalux"
# The Start-menu shortcut: all users' menu on Windows; Wine puts it in the installing user's.
shortcut() {
    find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users" -name Wendalux.lnk \
        -path '*Start Menu/Programs/*' 2>/dev/null | head -n 1
}

# Entries in Apps & features that name Wendalux, as "version" lines.
entries() {
    wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk '
        /^HKEY/ { name = ""; version = "" }
        /DisplayName/ { name = $NF }
        /DisplayVersion/ { version = $NF }
        name == "Wendalux" && version != "" { print version; name = "" }'
}

wine msiexec /i "$(to_windows "$old")" /qn || fail "installing the older package failed"
[ "$(entries)" = "0.9.0" ] || fail "after the older install, entries: $(entries)"
wine msiexec /i "$(to_windows "$new")" /qn /l*v "$(to_windows "$work/install.log")" ||
    fail "the upgrade failed (log: $work/install.log)"
[ "$(entries)" = "$version" ] || fail "after the upgrade, entries: $(entries)"
for file in Wendalux.exe wendalux-listen.exe README.txt LICENSE.txt; do
    [ -f "$program_files/$file" ] || fail "$file is not installed"
done
[ "$(ls "$program_files" | wc -l)" -eq 4 ] || fail "unexpected files: $(ls "$program_files")"
[ -n "$(shortcut)" ] || fail "no Start-menu shortcut"
# The entry's icon: Windows shows the package's ARPPRODUCTICON, cached with the product.
msiinfo export "$new" Property | grep -q '^ARPPRODUCTICON' || fail "the package names no icon"
find "$WINEPREFIX/drive_c/windows/Installer" -name 'WendaluxIcon.ico' | grep -q . ||
    fail "the entry's icon is not cached"

# The installed program starts and shows its window (the stand-in beside it, for the test only).
cp "$build/sim/interception.dll" "$program_files/"
wine "C:\\Program Files\\Wendalux\\Wendalux.exe" >/dev/null 2>&1 &
shown=no
for _ in $(seq 1 300); do # a minute at most: Wine starts slowly on a busy machine
    if xwininfo -root -tree 2>/dev/null | grep -q 'Marrowick - Ferroquill'; then
        shown=yes
        break
    fi
    sleep 0.2
done
[ "$shown" = yes ] || fail "the installed program showed no window"
wine reg query "$run_key" /v Wendalux >/dev/null 2>&1 || fail "no start-with-logon value"
settings=$(find "$WINEPREFIX/drive_c/users" -type d -path '*/AppData/Roaming/Wendalux' | head -n 1)
[ -n "$settings" ] || fail "the program made no settings folder"
wine taskkill /f /im Wendalux.exe >/dev/null 2>&1
wineserver -w
rm -f "$program_files/interception.dll"

wine msiexec /x "$(to_windows "$new")" /qn || fail "the uninstall failed"
[ ! -e "$program_files" ] || fail "files are left: $(ls "$program_files")"
[ -z "$(shortcut)" ] || fail "the shortcut is left: $(shortcut)"
[ -z "$(entries)" ] || fail "an entry is left: $(entries)"
if wine reg query "$run_key" /v Wendalux >/dev/null 2>&1; then
    fail "the start-with-logon value is left"
fi
[ -d "$settings" ] || fail "the uninstall removed the user's settings"
echo "installer ok: $(basename "$new"), $(wc -c <"$new") bytes"
