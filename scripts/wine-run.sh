#!/usr/bin/env bash
# Runs a Windows program of the tests under Wine.
#   wine-run.sh WINEDIR shared PROGRAM ARGS...  in the shared prefix WINEDIR/unit
#   wine-run.sh WINEDIR fresh  PROGRAM ARGS...  in a new prefix of its own, removed afterwards
#   wine-run.sh WINEDIR fresh32 PROGRAM ARGS... the same as a 32-bit Windows (WINEARCH=win32)
# (SETUP_KEEP_PREFIX=1 keeps it). Prefixes are clones of WINEDIR/template (template32).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

winedir=$1 mode=$2
shift 2

# The program's output goes through a file: a process it starts in passing (the
# desktop process that a first window brings up lingers for a second) would
# otherwise hold a pipe to the caller open after the program has ended.
# Under heavy load (and with 32-bit programs under qemu-user) Wine now and then
# fails to start the program at all (its launcher then says so and nothing of the
# program ran), or one of its processes loses the wine server part-way ("wine
# client error:"). Neither is the program's doing: a start that failed is tried
# again; a run that lost the server fails, and run_fresh runs it again from a new
# prefix, since it may have changed the old one.
lost_server=0
run_program() {
    local out rc try
    out=$(mktemp)
    for try in 1 2 3; do
        wine "$@" >"$out" 2>&1
        rc=$?
        if [ $rc -eq 0 ] || ! grep -q '^Application could not be started' "$out" ||
            [ "$(grep -cv -e '^Application could not be started' -e '^ShellExecuteEx failed' -e '^$' "$out")" -ne 0 ]; then
            break
        fi
        echo "wine-run.sh: the program did not start (try $try)" >&2
        sleep 1
    done
    lost_server=0
    if [ $rc -ne 0 ] && grep -q '^wine client error:' "$out"; then
        lost_server=1
    fi
    cat "$out"
    rm -f "$out"
    return $rc
}
template=$winedir/template
if [ "$mode" = fresh32 ]; then
    # Setup then runs without WOW64 and scans the processes itself.
    export WINEARCH=win32
    template=$winedir/template32
    mode=fresh
fi
wine_make_template "$template"

case $mode in
shared)
    export WINEPREFIX=$winedir/unit
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.clone-ready" ]; then
            wine_clone_prefix "$winedir/template" "$WINEPREFIX"
            touch "$WINEPREFIX/.clone-ready"
        fi
        # Already running when the test command started it; otherwise start it now.
        wine_start_server 9>&-   # the server lives on: it must not hold the lock
    ) 9>"$winedir/unit.lock"
    run_program "$@"
    rc=$?
    [ $lost_server -eq 1 ] || exit $rc
    echo "wine-run.sh: a Wine process lost its server; the run is repeated" >&2
    run_program "$@"
    exit $?
    ;;
fresh)
    mkdir -p "$winedir/fresh"
    prefix=$(mktemp -d "$winedir/fresh/p.XXXXXX")
    cleanup() {
        wine_stop_server
        [ "${SETUP_KEEP_PREFIX:-0}" = 1 ] || rm -rf "$prefix"
    }
    trap cleanup EXIT
    trap 'exit 143' TERM INT
    for try in 1 2; do
        wine_fresh_prefix "$template" "$prefix"
        run_program "$@"
        rc=$?
        [ $lost_server -eq 1 ] && [ $try -eq 1 ] || exit $rc
        echo "wine-run.sh: a Wine process lost its server; the run is repeated in a new prefix" >&2
    done
    ;;
*)
    echo "wine-run.sh: mode must be shared, fresh or fresh32" >&2
    exit 2
    ;;
esac
