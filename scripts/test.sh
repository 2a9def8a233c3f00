#!/usr/bin/env bash
# Runs every test of both trees under Wine, with its own prefixes under build/wine.
# Extra arguments go to ctest (for example -R CmdLine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"

if [ ! -f "$build/CTestTestfile.cmake" ]; then
    echo "test.sh: no build in $build; run scripts/build.sh first" >&2
    exit 2
fi

winedir=$build/wine
wine_make_template "$winedir/template"
# The shared prefix of the unit tests is made anew for every run.
wine_fresh_prefix "$winedir/template" "$winedir/unit"
touch "$WINEPREFIX/.clone-ready"
trap wine_stop_server EXIT

ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)" "$@"
