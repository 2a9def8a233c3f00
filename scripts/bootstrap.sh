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
    python3 python3-pil fonts-dejavu-core nsis

# Some virtual machines run no 32-bit Linux code at all (the kernel refuses i386 ELF
# files), and Wine's 32-bit side is such code. There, 32-bit programs run through
# qemu's user-mode emulation; version 7 of it (Debian 12's own) needs about a
# minute to start each Wine process, the backported version 10 about a second.
if ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
    echo "bootstrap.sh: this machine does not run 32-bit programs; using qemu-user for them"
    echo 'deb http://deb.debian.org/debian bookworm-backports main' >/etc/apt/sources.list.d/bookworm-backports.list
    apt-get update -q
    apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user
    binfmt=/proc/sys/fs/binfmt_misc
    [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    # F: the interpreter is opened now, so a later package upgrade cannot swap it.
    [ -e "$binfmt/qemu-i386" ] && echo -1 >"$binfmt/qemu-i386"
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' >"$binfmt/register"
    /lib/ld-linux.so.2 --help >/dev/null
fi

"$here/build.sh"
