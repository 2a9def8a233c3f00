#!/usr/bin/env bash
# Tries setup.exe under Wine in a prefix of its own (build/wine/try): the sample
# package (sample/package) is built with cfsbuild, the trace is switched on, setup
# runs quietly on the sample and with a few other command lines, and its exit
# codes and trace lines are shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"

bin=$build/win32/bin
if [ ! -f "$bin/setup.exe" ] || [ ! -f "$bin/tracecap.exe" ] || [ ! -f "$bin/cfsbuild.exe" ]; then
    echo "try.sh: no build in $build; run scripts/build.sh first" >&2
    exit 2
fi

wine_make_template "$build/wine/template"
wine_fresh_prefix "$build/wine/template" "$build/wine/try"
trap 'wine_stop_server; rm -rf "$WINEPREFIX"' EXIT

# setup is a 32-bit program: its switch lives in the 32-bit registry view.
wine reg add 'HKLM\Software\Quorvant\Setup' /v LogLevel /t REG_DWORD /d 1 /f /reg:32 >/dev/null 2>&1

run() {
    echo "\$ setup.exe $*"
    set +e
    wine "$bin/tracecap.exe" "$bin/setup.exe" "$@" 2>/dev/null | tr -d '\r' | sed 's/^/    /'
    local code=${PIPESTATUS[0]}
    set -e
    echo "    exit code: $code"
    echo
}

winpath() { echo "Z:${1//\//\\}"; }
sample=$build/sample.cfs
wine "$bin/cfsbuild.exe" --pack "$(winpath "$root/sample/package")" "$(winpath "$sample")" </dev/null >/dev/null 2>&1

run /i "$(winpath "$sample")" /qn
run /qn /norestart
run /i 'C:\no\such\package.cfs' /qn
