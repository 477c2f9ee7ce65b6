#!/bin/sh
# Builds the Windows Installer package OUTPUT_FOLDER/Wendalux-<version>-x64.msi with wixl, from
# the files that stage-release.sh made, and signs it (sign.sh). The version comes from the
# VERSION file; WENDALUX_PACKAGE_VERSION=x.y.z overrides it, which the installer test uses to
# make an older package to upgrade from.
# Usage: make-msi.sh STAGE_FOLDER OUTPUT_FOLDER
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
stage=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=${WENDALUX_PACKAGE_VERSION:-$(cat "$here/VERSION")}
next=$(echo "$version" | awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }')
package="$out/Wendalux-$version-x64.msi"
rm -f "$package"
# wixl takes only paths relative to the folder it runs in.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$stage/Wendalux.exe" "$stage/wendalux-listen.exe" "$stage/README.txt" "$stage/LICENSE.txt" \
    "$work/"
cp "$here/resources/wendalux.ico" "$work/Wendalux.ico"
(cd "$work" && wixl --arch x64 -D Version="$version" -D NextVersion="$next" -D Stage=. \
    -D Icon=Wendalux.ico -o "$package" "$here/resources/wendalux.wxs")

# What wixl leaves out. The programs' file versions, so that Windows Installer's file rules
# and a detection rule by file version see them (a versioned file has no hash row).
for file in WendaluxExe:Wendalux.exe ListenExe:wendalux-listen.exe; do
    id=${file%%:*}
    file_version=$(python3 "$here/scripts/pe-version.py" "$stage/${file#*:}")
    msibuild "$package" -q "UPDATE File SET Version = '$file_version' WHERE File = '$id'"
    msibuild "$package" -q "DELETE FROM MsiFileHash WHERE File_ = '$id'"
done
# The defaults' properties pass from the installing user's side to the service's. wixl
# marks a set-property action no-impersonate, a flag for deferred actions only.
secure=$(msiinfo export "$package" Property | tr -d '\r' | grep '^SecureCustomProperties' | cut -f 2)
secure="$secure;PORT;CASE;INCLUDEENTER;ACCEPT;HOLDSCANS;HOLDSECONDS;SCANEND;PAUSEMS;DEVICE"
secure="$secure;DEVICEINSTANCE;CAPTURE"
msibuild "$package" -q "UPDATE Property SET Value = '$secure' WHERE Property = 'SecureCustomProperties'"
msibuild "$package" -q "UPDATE CustomAction SET Type = 51 WHERE Type = 2099"

sh "$here/scripts/sign.sh" "$package"
echo "$package"
