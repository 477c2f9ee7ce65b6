#!/bin/sh
# Makes both release packages as `make dist` does, signed with a throwaway self-signed
# certificate, and checks them: their contents (check-dist.sh, check-msi.sh), the same
# programs in the zip and in the Windows Installer package, and every signature verified.
# Unsigned, the staging says so.
# Usage: check-release.sh WINDOWS_BUILD WORK_FOLDER
set -eu
scripts=$(cd "$(dirname "$0")" && pwd)
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work/zip" "$work/msi"
trap 'rm -rf "$work/stage"' EXIT

sh "$scripts/stage-release.sh" "$build" "$work/stage" 2>"$work/unsigned.txt"
grep -q "not signed: SIGN_CERT and SIGN_KEY are not set (Wendalux.exe)" "$work/unsigned.txt" ||
    { echo "unsigned staging said: $(cat "$work/unsigned.txt")"; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Wendalux test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
export SIGN_CERT="$work/cert.pem" SIGN_KEY="$work/key.pem"
sh "$scripts/stage-release.sh" "$build" "$work/stage" 2>/dev/null
zip=$(sh "$scripts/make-dist.sh" "$work/stage" "$work")
msi=$(sh "$scripts/make-msi.sh" "$work/stage" "$work" 2>/dev/null)
sh "$scripts/check-dist.sh" "$zip"
sh "$scripts/check-msi.sh" "$msi"

unzip -q "$zip" -d "$work/zip"
(cd "$work/msi" && msiextract "$msi" >/dev/null)
set --
for exe in Wendalux.exe wendalux-listen.exe; do
    in_zip=$(find "$work/zip" -name "$exe" -type f)
    in_msi=$(find "$work/msi" -name "$exe" -type f)
    cmp -s "$in_zip" "$in_msi" || { echo "$exe differs between the zip and the package"; exit 1; }
    set -- "$@" "$in_zip" "$in_msi"
done
for signed in "$@" "$msi"; do
    osslsigncode verify -CAfile "$SIGN_CERT" -in "$signed" >"$work/verify.txt" 2>&1 ||
        { echo "the signature of $signed does not verify:"; cat "$work/verify.txt"; exit 1; }
done
echo "release ok: signed and verified: $(basename "$zip"), $(basename "$msi")"
