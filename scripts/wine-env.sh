# Shell functions for the Wine prefixes of the tests; sourced, not run.
#   template: made once per folder (wineboot, null display driver, fonts), never run in;
#   clones:   the shared prefix of the unit tests and one fresh prefix per end-to-end test.

export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No menu entries on the host, no Mono or Gecko prompts.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY

# wine_make_template DIR: builds the template prefix unless it is already complete.
wine_make_template() {
    local dir=$1
    mkdir -p "$(dirname "$dir")"
    (
        flock 9
        [ -f "$dir/.template-ready" ] && exit 0
        rm -rf "$dir"
        WINEPREFIX=$dir wineboot -i </dev/null >/dev/null 2>&1
        # Windows are created on the null display driver: no X server needed.
        WINEPREFIX=$dir wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
        # Debian's Wine does not register its fonts: copy them where GDI looks.
        cp /usr/share/wine/fonts/*.ttf "$dir/drive_c/windows/Fonts/"
        WINEPREFIX=$dir wineserver -w
        touch "$dir/.template-ready"
    ) 9>"$dir.lock"
}

# wine_clone_prefix TEMPLATE DIR: a prefix of its own that shares the template's
# large, read-only system folders through hard links.
wine_clone_prefix() {
    local src=$1 dst=$2 entry name
    rm -rf "$dst"
    mkdir -p "$dst/drive_c/windows"
    cp -a "$src"/*.reg "$src/.update-timestamp" "$src/dosdevices" "$dst/"
    for entry in "$src"/drive_c/*; do
        name=$(basename "$entry")
        [ "$name" = windows ] || cp -a "$entry" "$dst/drive_c/"
    done
    for entry in "$src"/drive_c/windows/*; do
        name=$(basename "$entry")
        case $name in
            system32|syswow64|winsxs) cp -al "$entry" "$dst/drive_c/windows/" ;;
            *) cp -a "$entry" "$dst/drive_c/windows/" ;;
        esac
    done
}

# wine_start_server: a persistent server for $WINEPREFIX, warmed by one program
# with its output detached, so that Wine's background processes never hold the
# pipes of a test runner open.
wine_start_server() {
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

# wine_fresh_prefix TEMPLATE DIR: makes DIR a new clone of the template and exports
# it as WINEPREFIX with a warm server (any server of an earlier DIR is stopped first).
wine_fresh_prefix() {
    export WINEPREFIX=$2
    wine_stop_server
    wine_clone_prefix "$1" "$WINEPREFIX"
    wine_start_server
}

wine_stop_server() {
    wineserver -k >/dev/null 2>&1 || true
}
