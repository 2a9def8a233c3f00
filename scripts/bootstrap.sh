#!/usr/bin/env bash
# Installs every build and test dependency on Debian 12 (run as root), then builds.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "bootstrap.sh installs packages and must run as root" >&2
    exit 2
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -q
apt-get install -y -q --no-install-recommends \
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
    cmake ninja-build \
    libz-mingw-w64-dev googletest libloki-dev \
    wine wine64 wine32:i386 fonts-wine \
    xvfb xauth imagemagick x11-utils xdotool \
    python3

"$here/build.sh"
