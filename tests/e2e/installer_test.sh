#!/bin/sh
# The Windows Installer package under Wine, in a prefix of its own: a silent per-machine
# install over an older version and over a rebuild of its own version (one entry left each
# time, an older package refused), the machine-wide defaults kept or replaced, start with logon
# for every user, the version resources, the installed program starting with the defaults, and
# a silent uninstall that leaves only the user's settings.
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
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
defaults_key='HKLM\Software\Marrowick\Wendalux\Defaults'

rm -rf "$work"
mkdir -p "$work"
sh "$wine_scripts/stage-release.sh" "$build" "$work/stage" 2>/dev/null ||
    fail "the release files could not be made"
old=$(WENDALUX_PACKAGE_VERSION=0.9.0 sh "$wine_scripts/make-msi.sh" "$work/stage" "$work/old" 2>/dev/null) ||
    fail "the older package could not be built"
new=$(sh "$wine_scripts/make-msi.sh" "$work/stage" "$work/new" 2>/dev/null) ||
    fail "the package could not be built"
rebuilt=$(sh "$wine_scripts/make-msi.sh" "$work/stage" "$work/rebuilt" 2>/dev/null) ||
    fail "the package could not be built again"
sh "$wine_scripts/check-msi.sh" "$new" || exit 1
version=$(cat "$wine_scripts/../VERSION")
[ "$(basename "$new")" = "Wendalux-$version-x64.msi" ] || fail "the package is named $new"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')

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

# A registry value's data in the 64-bit view, empty when it is missing.
value() {
    wine reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' |
        awk -v name="$2" '$1 == name { sub(/^ *[^ ]+ +REG_[A-Z_]+ */, ""); print }'
}
has_value() { wine reg query "$1" /v "$2" /reg:64 >/dev/null 2>&1; }
# Waits for a condition (a command), a minute at most: Wine starts slowly on a busy machine.
wait_for() {
    for _ in $(seq 1 300); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}

# Entries in Apps & features that name Wendalux, as "version" lines.
entries() {
    wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk '
        /^HKEY/ { name = ""; version = "" }
        /DisplayName/ { name = $NF }
        /DisplayVersion/ { version = $NF }
        name == "Wendalux" && version != "" { print version; name = "" }'
}

# Every machine default: section, key, property, and the value the first install gives.
defaults="Tcp Port PORT $port
Tcp Case CASE lower
Tcp IncludeEnter INCLUDEENTER 0
Tcp Accept ACCEPT any
Tcp HoldScans HOLDSCANS 5
Tcp HoldSeconds HOLDSECONDS 30
Scan End SCANEND tab
Scan PauseMs PAUSEMS 150
Device HardwareId DEVICE HID\\VID_0000&PID_0001
Device Instance DEVICEINSTANCE 2
Capture Active CAPTURE 0"
# Each default holds the first install's value, or the one given as PROPERTY=value here.
expect_defaults() {
    printf '%s\n' "$defaults" | while read -r section key property given; do
        expected=$(printf '%s\n' "$@" | sed -n "s/^$property=//p")
        found=$(value "$defaults_key\\$section" "$key")
        [ "$found" = "${expected:-$given}" ] ||
            { echo "default $section\\$key is '$found', not '${expected:-$given}'"; exit 1; }
    done || fail "the machine's defaults are not kept"
}

wine msiexec /i "$(to_windows "$old")" /qn $(printf '%s\n' "$defaults" | awk '{ print $3 "=" $4 }') ||
    fail "installing the older package failed"
[ "$(entries)" = "0.9.0" ] || fail "after the older install, entries: $(entries)"
wine msiexec /i "$(to_windows "$new")" /qn /l*v "$(to_windows "$work/install.log")" ||
    fail "the upgrade failed (log: $work/install.log)"
[ "$(entries)" = "$version" ] || fail "after the upgrade, entries: $(entries)"
# Defaults given at the first install outlive an upgrade that does not give them again.
expect_defaults
if wine msiexec /i "$(to_windows "$old")" /qn; then fail "the older package was installed"; fi
[ "$(entries)" = "$version" ] || fail "after the older package was refused, entries: $(entries)"
wine msiexec /i "$(to_windows "$rebuilt")" /qn CASE=upper ACCEPT=local ||
    fail "the same version could not be installed again"
[ "$(entries)" = "$version" ] || fail "after the same version again, entries: $(entries)"
# Given anew, defaults replace the old ones.
expect_defaults CASE=upper ACCEPT=local
for file in Wendalux.exe wendalux-listen.exe README.txt LICENSE.txt; do
    [ -f "$program_files/$file" ] || fail "$file is not installed"
done
[ "$(ls "$program_files" | wc -l)" -eq 4 ] || fail "unexpected files: $(ls "$program_files")"
[ -n "$(shortcut)" ] || fail "no Start-menu shortcut"
for exe in Wendalux.exe wendalux-listen.exe; do
    found=$(python3 "$wine_scripts/pe-version.py" "$program_files/$exe") || fail "$exe: no version"
    [ "$found" = "$version.0" ] || fail "$exe has version $found, not $version.0"
done
[ "$(value "HKLM\\$run_key" Wendalux)" = '"C:\Program Files\Wendalux\Wendalux.exe" --tray' ] ||
    fail "the machine's start-with-logon value is '$(value "HKLM\\$run_key" Wendalux)'"
# The entry's icon: Windows shows the package's ARPPRODUCTICON, cached with the product.
msiinfo export "$new" Property | grep -q '^ARPPRODUCTICON' || fail "the package names no icon"
find "$WINEPREFIX/drive_c/windows/Installer" -name 'WendaluxIcon.ico' | grep -q . ||
    fail "the entry's icon is not cached"

# The installed program starts for a user without settings, shows its window and listens on
# the machine's default port (the stand-in driver beside it, for the test only).
cp "$build/sim/interception.dll" "$program_files/"
wine "C:\\Program Files\\Wendalux\\Wendalux.exe" >/dev/null 2>&1 &
window_shown() { xwininfo -root -tree 2>/dev/null | grep -q 'Marrowick - Ferroquill'; }
listening() { ss -ltnH "sport = :$port" | grep -q .; }
wait_for window_shown || fail "the installed program showed no window"
wait_for listening || fail "the installed program does not listen on the default port $port"
# The machine's Run value starts it: a value of the user's would start a second copy.
if has_value "HKCU\\$run_key" Wendalux; then
    fail "the program wrote a start-with-logon value of the user's beside the machine's"
fi
settings=$(find "$WINEPREFIX/drive_c/users" -type d -path '*/AppData/Roaming/Wendalux' | head -n 1)
[ -n "$settings" ] || fail "the program made no settings folder"
wine taskkill /f /im Wendalux.exe >/dev/null 2>&1
wineserver -w
rm -f "$program_files/interception.dll"

wine msiexec /x "$(to_windows "$new")" /qn || fail "the uninstall failed"
[ ! -e "$program_files" ] || fail "files are left: $(ls "$program_files")"
[ -z "$(shortcut)" ] || fail "the shortcut is left: $(shortcut)"
[ -z "$(entries)" ] || fail "an entry is left: $(entries)"
if has_value "HKLM\\$run_key" Wendalux; then fail "the start-with-logon value is left"; fi
if has_value "$defaults_key\\Tcp" Port; then fail "the defaults are left"; fi
[ -d "$settings" ] || fail "the uninstall removed the user's settings"
echo "installer ok: $(basename "$new"), $(wc -c <"$new") bytes"
