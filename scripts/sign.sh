#!/bin/sh
# Signs programs and packages in place (Authenticode, SHA-256) with osslsigncode when a key is
# given, and says plainly when none is. Sign after stripping: stripping drops a signature.
#   SIGN_CERT           the certificate and its chain (a PEM or DER file)
#   SIGN_KEY            the private key: a file, or a pkcs11: URI with SIGN_PKCS11_MODULE
#   SIGN_PKCS11_MODULE  the hardware token's PKCS#11 module (.so file), when the key is there
#   SIGN_PKCS11_ENGINE  OpenSSL's PKCS#11 engine (.so file), where osslsigncode's default fails
#   SIGN_PASSWORD_FILE  a file that holds the key's password or the token's PIN
#   SIGN_TIMESTAMP      an RFC 3161 time-stamp server's URL, so that signatures outlive the
#                       certificate
# Usage: sign.sh FILE...
set -eu
if [ -z "${SIGN_CERT:-}" ] && [ -z "${SIGN_KEY:-}" ]; then
    for file; do
        echo "not signed: SIGN_CERT and SIGN_KEY are not set ($(basename "$file"))" >&2
    done
    exit 0
fi
if [ -z "${SIGN_CERT:-}" ] || [ -z "${SIGN_KEY:-}" ]; then
    echo "sign: SIGN_CERT and SIGN_KEY go together; one is not set" >&2
    exit 1
fi
signed=""
trap 'rm -f "$signed"' EXIT
for file; do
    signed="$file.signed"
    set -- -h sha256 -n Wendalux -certs "$SIGN_CERT" -key "$SIGN_KEY"
    [ -z "${SIGN_PKCS11_MODULE:-}" ] || set -- "$@" -pkcs11module "$SIGN_PKCS11_MODULE"
    [ -z "${SIGN_PKCS11_ENGINE:-}" ] || set -- "$@" -pkcs11engine "$SIGN_PKCS11_ENGINE"
    [ -z "${SIGN_PASSWORD_FILE:-}" ] || set -- "$@" -readpass "$SIGN_PASSWORD_FILE"
    [ -z "${SIGN_TIMESTAMP:-}" ] || set -- "$@" -ts "$SIGN_TIMESTAMP"
    rm -f "$signed"
    osslsigncode sign "$@" -in "$file" -out "$signed" >&2
    mv "$signed" "$file"
    echo "signed: $(basename "$file")" >&2
done
