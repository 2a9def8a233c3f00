#!/usr/bin/env bash
# Screenshots of setup's windows (on demand, not part of the tests): builds the
# sample product (or the package folder given as the argument), starts Xvfb, runs setup.exe non-quietly on the sample in a fresh
# prefix with Wine's X11 driver, and saves a PNG of the screen each time the set of
# shown windows changes, into build/screenshots/.
#
# Setup's trace goes to tracecap, which is stopped while the windows are looked at:
# setup then waits in its next trace call (the system waits up to 10 s for a debug
# monitor), so that even a window that lives for a moment stays for its picture.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"

bin=$build/win32/bin
if [ ! -f "$bin/setup.exe" ] || [ ! -f "$bin/tracecap.exe" ] || [ ! -f "$bin/cfsbuild.exe" ]; then
    echo "screenshots.sh: no build in $build; run scripts/build.sh first" >&2
    exit 2
fi
for tool in Xvfb xwininfo import; do
    command -v $tool >/dev/null || { echo "screenshots.sh: $tool is missing (xvfb, x11-utils, imagemagick)" >&2; exit 2; }
done

# Without an argument: the sample product, staged (pictures drawn, program added)
# and run from its distribution folder, beside its licence texts and splash picture.
if [ $# -gt 0 ]; then
    package=$(cd "$1" && pwd)
    setup=$bin/setup.exe
else
    /usr/bin/python3 "$root/sample/stage.py" --program "$bin/SampleEditor.exe" --out "$build/sample"
    package=$build/sample/package
    setup=$build/sample/dist/setup.exe
    cp "$bin/setup.exe" "$setup"
fi
out=$build/screenshots
rm -rf "$out"
mkdir -p "$out"
unset WINEPREFIX

# A display number nobody uses.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
capture_pid=
cleanup() {
    [ -n "$capture_pid" ] && kill -CONT "$capture_pid" 2>/dev/null || true
    if [ -n "${WINEPREFIX:-}" ]; then
        wine_stop_server
        rm -rf "$WINEPREFIX"
    fi
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

wine_make_template "$build/wine/template"
wine_fresh_prefix "$build/wine/template" "$build/wine/screens"
# The X11 driver instead of the template's null one; no window manager, so no
# frames from Wine either.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
wine reg add 'HKLM\Software\Quorvant\Setup' /v LogLevel /t REG_DWORD /d 1 /f /reg:32 </dev/null >/dev/null 2>&1

winpath() { echo "Z:${1//\//\\}"; }
sample=$(dirname "$setup")/setup.cfs
[ $# -gt 0 ] && sample=$build/sample.cfs
wine "$bin/cfsbuild.exe" --pack "$(winpath "$package")" "$(winpath "$sample")" </dev/null >/dev/null 2>&1

for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"

# The shown top-level windows, one "id geometry" line each.
shown_windows() {
    xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}' | while read -r id; do
        xwininfo -id "$id" -stats 2>/dev/null | awk -v id="$id" '
            /Map State:/ {viewable = ($3 == "IsViewable")}
            /-geometry/ {geometry = $2}
            END {if (viewable) print id, geometry}'
    done | sort
}

wine "$bin/tracecap.exe" "$setup" /i "$(winpath "$sample")" /norestart </dev/null >"$out/trace.txt" 2>&1 &
capture_pid=$!

# Setup is stepped from one trace line to the next: tracecap runs for a moment,
# then stops again, and the windows are looked at between the steps.
count=0
last=
# With xdotool, each new picture is followed by Return, which takes the page's
# default button (Next, Install, Finish); without it a page waits, and the run
# ends at this limit.
press=
command -v xdotool >/dev/null && press=1
deadline=$((SECONDS + ${SCREENSHOT_SECONDS:-60}))
while kill -0 "$capture_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
    kill -STOP "$capture_pid" 2>/dev/null || break
    sleep 0.2
    now=$(shown_windows)
    if [ -n "$now" ] && [ "$now" != "$last" ]; then
        count=$((count + 1))
        file=$(printf '%s/%02d.png' "$out" "$count")
        import -window root "$file"
        echo "$file: $(echo "$now" | tr '\n' ' ')"
        shot=1
    else
        shot=
    fi
    last=$now
    kill -CONT "$capture_pid"
    if [ -n "$shot" ] && [ -n "$press" ]; then
        sleep 1
        xdotool key Return 2>/dev/null || true
    fi
    sleep 0.005
done
if kill -0 "$capture_pid" 2>/dev/null; then
    echo "setup still runs after the time limit: stopped with its prefix ($count screenshots)"
    exit 1
fi
wait "$capture_pid" && code=0 || code=$?
capture_pid=
echo "setup exit code: $code ($count screenshots, trace in $out/trace.txt)"
