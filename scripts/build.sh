#!/usr/bin/env bash
# Builds both trees: build/win64 (callbridge, lockscout) first, then build/win32
# (setup, which embeds them). SETUP_BUILD_DIR sets another build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
type=${CMAKE_BUILD_TYPE:-Release}

cmake -S "$root" -B "$build/win64" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DSETUP_WINE_DIR="$build/wine"
cmake --build "$build/win64"

cmake -S "$root" -B "$build/win32" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DSETUP_WINE_DIR="$build/wine" \
    -DCOMPANION_BIN_DIR="$build/win64/bin"
cmake --build "$build/win32"

# One test list over both trees, so that one ctest run gives one summary.
printf 'subdirs("win64")\nsubdirs("win32")\n' > "$build/CTestTestfile.cmake"
