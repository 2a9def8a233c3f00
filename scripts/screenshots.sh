#!/usr/bin/env bash
# Screenshots of setup's wizard (on demand, not part of the tests): builds the
# sample product (or the package folder given as the argument), starts Xvfb, runs
# setup.exe non-quietly on it in a fresh prefix with Wine's X11 driver and walks the
# wizard with xdotool, saving a PNG of each page into build/screenshots/. For the
# sample, the pictures are then cropped and shrunk into docs/screenshots/, which
# the README shows.
#
# The walk of the sample: the splash; the language page, German picked once and
# the licence page left with Back; the language page again, English picked; the
# licence accepted; a typed folder; the spelling checker ticked; the toolbar and
# install pages; the applications-to-close page (the editor is started from the
# typed folder beforehand, so that setup finds its program in use), left with
# Ignore; the main window while the files are copied; the finish page, which offers
# the restart that the editor's program, replaced only then, needs ("Restart later"
# is taken: a restart would end every program of the prefix).
#
# Setup's trace goes to tracecap, which is stopped while the windows are looked at:
# setup then waits in its next trace call (the system waits up to 10 s for a debug
# monitor), so that even a window that lives for a moment stays for its picture.
# The stepping also slows the copy enough to catch the progress bar on its way.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"

bin=$build/win32/bin
if [ ! -f "$bin/setup.exe" ] || [ ! -f "$bin/tracecap.exe" ] || [ ! -f "$bin/cfsbuild.exe" ]; then
    echo "screenshots.sh: no build in $build; run scripts/build.sh first" >&2
    exit 2
fi
for tool in Xvfb xwininfo import xdotool; do
    command -v $tool >/dev/null || { echo "screenshots.sh: $tool is missing (xvfb, x11-utils, imagemagick, xdotool)" >&2; exit 2; }
done
# Pillow lives with the system's python.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

# Without an argument: the sample product, staged (pictures drawn, program added)
# and run from its distribution folder, beside its licence texts and splash picture.
if [ $# -gt 0 ]; then
    package=$(cd "$1" && pwd)
    setup=$bin/setup.exe
    walk=
else
    "$python" "$root/sample/stage.py" --program "$bin/SampleEditor.exe" --out "$build/sample"
    package=$build/sample/package
    setup=$build/sample/dist/setup.exe
    cp "$bin/setup.exe" "$setup"
    walk=sample
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
editor_pid=
cleanup() {
    [ -n "$capture_pid" ] && kill -CONT "$capture_pid" 2>/dev/null || true
    if [ -n "${WINEPREFIX:-}" ]; then
        wine_stop_server
        rm -rf "$WINEPREFIX"
    fi
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# A 32-bit Windows. Under WOW64 setup asks the 64-bit lockscout which programs use
# its files, and Wine cannot give a 64-bit program the modules of a 32-bit one (the
# module snapshot fails with 998, ERROR_NOACCESS; Windows lists them): the 32-bit
# editor would not be seen and the applications-to-close page would not come. On a
# 32-bit Windows setup scans the processes itself, as Wine allows.
export WINEARCH=win32
echo "the walk runs in a 32-bit prefix: under WOW64 Wine hides the 32-bit editor from lockscout"
wine_make_template "$build/wine/template32"
wine_fresh_prefix "$build/wine/template32" "$build/wine/screens"
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

# The shown top-level windows, one "id geometry" line each, but for those of $hidden.
hidden=
shown_windows() {
    xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}' | while read -r id; do
        case " $hidden " in *" $id "*) continue ;; esac
        xwininfo -id "$id" -stats 2>/dev/null | awk -v id="$id" '
            /Map State:/ {viewable = ($3 == "IsViewable")}
            /-geometry/ {geometry = $2}
            END {if (viewable) print id, geometry}'
    done | sort
}

# The typed folder of the walk, and the editor running from it: setup must replace
# the program in use there. The editor's window is moved off the screen and left
# out of the shown windows.
typed='C:\Typed Editor'
if [ "$walk" = sample ]; then
    folder="$WINEPREFIX/drive_c/Typed Editor"
    mkdir -p "$folder"
    cp "$bin/SampleEditor.exe" "$folder/"
    # The first Wine program on the new display may find no driver: tried again.
    for try in 1 2 3; do
        wine "$folder/SampleEditor.exe" </dev/null >/dev/null 2>&1 &
        editor_pid=$!
        for i in $(seq 50); do
            now=$(shown_windows)
            [ -n "$now" ] || ! kill -0 "$editor_pid" 2>/dev/null && break
            sleep 0.2
        done
        [ -n "$now" ] && break
        sleep 1
    done
    for id in $(echo "$now" | awk '{print $1}'); do
        xdotool windowmove "$id" 1100 0 2>/dev/null || true
        hidden="$hidden $id"
    done
    [ -n "$hidden" ] && echo "editor started from $typed (windows$hidden, moved off the screen)" ||
        echo "editor did not show a window"
fi

# shoot NAME: a picture of the screen, with the shown windows' geometries beside it.
count=0
manifest=$out/pictures.txt
: >"$manifest"
shoot() {
    count=$((count + 1))
    local file
    file=$(printf '%s/%02d-%s.png' "$out" "$count" "$1")
    import -window root "$file"
    echo "$(basename "$file") $(shown_windows | awk '{print $2}' | tr '\n' ' ')" >>"$manifest"
    echo "$(basename "$file"): $(shown_windows | tr '\n' ' ')"
}
keys() { xdotool key --delay 120 "$@" 2>/dev/null || true; }

# The sample's walk leaves the restart to setup (the finish page offers it); another
# package's pages take their default buttons, so it runs with /norestart.
restart=/norestart
[ "$walk" = sample ] && restart=
wine "$bin/tracecap.exe" "$setup" /i "$(winpath "$sample")" $restart </dev/null >"$out/trace.txt" 2>&1 &
capture_pid=$!

# page NUMBER: what the walk does on the NUMBER-th page shown (setup runs meanwhile).
# After the install page: the applications-to-close page (while the editor runs),
# then the finish page.
installed=
ignored=
page() {
    [ "$walk" = sample ] || { shoot page; sleep 1; keys Return; return; }
    # The language radio buttons move with the arrows; "< &Zurück" is alt+z; the
    # licence text is shown from its top and "I &accept" ticked; the folder's box has
    # the focus; the spelling checker is the tree's last item, ticked with space.
    case $1 in
        1) shoot language; keys Down; sleep 0.3; keys Return ;;
        2) sleep 0.5; shoot licence-de; keys alt+z ;;
        3) sleep 0.5; shoot language-de; keys Up; sleep 0.3; keys Return ;;
        4) keys ctrl+Home alt+a; sleep 1; shoot licence; keys Return ;;
        5) keys Home shift+End; xdotool type --delay 60 "$typed" 2>/dev/null; sleep 0.5; shoot destination; keys Return ;;
        6) keys Home End space; sleep 0.7; shoot components; keys Return ;;
        7) sleep 0.5; shoot toolbar; keys Return ;;
        8) sleep 0.5; shoot install; keys Return; installed=1 ;;
        *)
            # "&Ignore" is alt+i: the editor keeps running, and its program is replaced
            # at the restart. "Restart &later" is alt+l, then Finish.
            sleep 0.5
            if [ -n "$editor_pid" ] && [ -z "$ignored" ]; then
                shoot applications
                keys alt+i
                ignored=1
            else
                shoot finish
                keys alt+l
                sleep 0.3
                keys Return
            fi
            ;;
    esac
}

# Setup is stepped from one trace line to the next: tracecap runs for a moment,
# then stops again, and the windows are looked at between the steps.
last=
pages=0
splash=
frames=0
frame_at=0
deadline=$((SECONDS + ${SCREENSHOT_SECONDS:-180}))
while kill -0 "$capture_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
    kill -STOP "$capture_pid" 2>/dev/null || break
    sleep 0.2
    now=$(shown_windows)
    lines=$(echo "$now" | grep -c . || true)
    action=
    if [ -n "$now" ] && [ "$now" != "$last" ]; then
        if [ "$lines" -ge 2 ]; then
            pages=$((pages + 1))
            action=page
        elif [ -z "$splash" ] && [ $pages -eq 0 ]; then
            splash=1
            shoot splash
        fi
    fi
    # The main window alone after the install page: the copy, a frame every moment.
    if [ -n "$installed" ] && [ "$lines" -eq 1 ] && [ $frames -lt 60 ] &&
       [ $(( $(date +%s%N) / 1000000 - frame_at )) -ge 300 ]; then
        frames=$((frames + 1))
        frame_at=$(( $(date +%s%N) / 1000000 ))
        shoot copying >/dev/null
    fi
    last=$now
    kill -CONT "$capture_pid" 2>/dev/null || true
    [ -z "$action" ] || page $pages
    sleep 0.005
done
if kill -0 "$capture_pid" 2>/dev/null; then
    echo "setup still runs after the time limit: stopped with its prefix ($count screenshots)"
    exit 1
fi
wait "$capture_pid" && code=0 || code=$?
capture_pid=
echo "setup exit code: $code ($count screenshots, $frames during the copy, trace in $out/trace.txt)"

[ "$walk" = sample ] || exit 0
# After the install page: the applications-to-close page, then the finish page
# with its restart choice.
for name in applications finish; do
    if ! grep -q -- "-$name\.png" "$manifest"; then
        echo "screenshots.sh: the $name page did not come; docs/screenshots left as they were" >&2
        exit 1
    fi
done
if ! grep -q 'm_bRestart = 1' "$out/trace.txt"; then
    echo "screenshots.sh: no restart was due at the finish page; docs/screenshots left as they were" >&2
    exit 1
fi
# The pictures for the README: each cropped to setup's windows, the best frame of
# the copy (the progress bar nearest half-way), palette-quantised.
"$python" - "$out" "$root/docs/screenshots" <<'PY'
import os, re, sys
from PIL import Image

source, target = sys.argv[1], sys.argv[2]
os.makedirs(target, exist_ok=True)
for old in os.listdir(target):
    if old.endswith(".png"):
        os.remove(os.path.join(target, old))

shots = []
with open(os.path.join(source, "pictures.txt")) as manifest:
    for line in manifest:
        fields = line.split()
        boxes = [tuple(map(int, re.match(r"(\d+)x(\d+)\+(-?\d+)\+(-?\d+)", g).groups())) for g in fields[1:]]
        name = re.sub(r"^\d+-", "", fields[0][:-4])
        shots.append([name, fields[0], boxes])


def progress(image, box):
    """The share of the progress bar drawn, from the bar's blue in its row."""
    w, h, x, y = box
    row = y + 258
    blue = 0
    for px in range(x + 100, x + w - 100):
        r, g, b = image.getpixel((px, row))[:3]
        if b - r > 60 and r < 150:
            blue += 1
    return blue / 400.0


copies = [shot for shot in shots if shot[0] == "copying" and len(shot[2]) == 1]
best = None
for shot in copies:
    with Image.open(os.path.join(source, shot[1])) as image:
        share = progress(image.convert("RGB"), shot[2][0])
    print("%s: progress %.0f%%" % (shot[1], share * 100))
    if share > 0 and (best is None or abs(share - 0.5) < abs(best[0] - 0.5)):
        best = (share, shot)
chosen = {}
for shot in shots:
    if shot[0] == "copying":
        continue
    chosen.setdefault(shot[0], shot)
if best:
    chosen["copying"] = best[1]
elif copies:
    chosen["copying"] = copies[len(copies) // 2]

for name, shot in chosen.items():
    if name == "licence-de":
        continue
    boxes = shot[2]
    left = max(0, min(b[2] for b in boxes))
    top = max(0, min(b[3] for b in boxes))
    right = max(b[2] + b[0] for b in boxes)
    bottom = max(b[3] + b[1] for b in boxes)
    with Image.open(os.path.join(source, shot[1])) as image:
        picture = image.convert("RGB").crop((left, top, right, bottom))
    colours = 256
    while True:
        small = picture.quantize(colors=colours, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        path = os.path.join(target, name + ".png")
        small.save(path, optimize=True)
        if os.path.getsize(path) < 60000 or colours <= 32:
            break
        colours //= 2
    print("%s: %s, %dx%d, %d colours, %d bytes" % (path, shot[1], right - left, bottom - top, colours, os.path.getsize(path)))
PY
