#!/bin/sh
# Installs the Debian packages that building and testing need, and only those that are
# missing, so that a second run changes nothing.
set -eu
packages="cmake ninja-build make g++ googletest libgtest-dev libbenchmark-dev
g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-utils imagemagick python3 zip unzip
clang libclang-rt-14-dev wixl msitools osslsigncode openssl"
missing=""
for p in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $p" ;;
    esac
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
