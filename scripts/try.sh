#!/usr/bin/env bash
# Tries the sample product (sample/) with setup.exe under Wine, in a prefix of its
# own (build/wine/try). sample/stage.py lays the product out (pictures drawn, the
# editor program added) and cfsbuild builds its two packages into build/sample/dist,
# beside a copy of setup.exe, the licence texts and the splash picture:
#   setup.cfs           Sample Document Editor 1.0 (English and German)
#   update-1.1.qsu      the update package to 1.1
# Then, each step quietly and with setup's trace switched on (the trace of a step
# goes to build/sample/try-<step>.log):
#   1. install            setup.exe /i setup.cfs /qn /norestart
#   2. update             setup.exe /i update-1.1.qsu /qn /norestart
#   3. reconfiguration    the uninstaller copy with /config (manual out, spelling checker in)
#   4. uninstall          the record's UninstallString plus /qn
# and after each step what is on disk and in the registry.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"

bin=$build/win32/bin
if [ ! -f "$bin/setup.exe" ] || [ ! -f "$bin/tracecap.exe" ] || [ ! -f "$bin/cfsbuild.exe" ] ||
   [ ! -f "$bin/SampleEditor.exe" ]; then
    echo "try.sh: no build in $build; run scripts/build.sh first" >&2
    exit 2
fi

stage=$build/sample
/usr/bin/python3 "$root/sample/stage.py" --program "$bin/SampleEditor.exe" --out "$stage"
dist=$stage/dist
cp "$bin/setup.exe" "$dist/setup.exe"

wine_make_template "$build/wine/template"
wine_fresh_prefix "$build/wine/template" "$build/wine/try"
trap 'wine_stop_server; rm -rf "$WINEPREFIX"' EXIT

# Wine programs write through a file, never straight into a pipe: a background
# process of the prefix may hold a pipe open long after the program ended.
wine_out() {
    local out rc=0
    out=$(mktemp)
    wine "$@" </dev/null >"$out" 2>/dev/null || rc=$?
    tr -d '\r' <"$out"
    rm -f "$out"
    return $rc
}
winpath() { echo "Z:${1//\//\\}"; }
indent() { sed 's/^/    /'; }

# Only the manual is stored packed: setup reads packed and plain streams alike.
wine_out "$bin/cfsbuild.exe" --pack-only 'files\app\manual.txt' \
    "$(winpath "$stage/package")" "$(winpath "$dist/setup.cfs")" >/dev/null
wine_out "$bin/cfsbuild.exe" "$(winpath "$stage/update")" "$(winpath "$dist/update-1.1.qsu")" >/dev/null

# What the sample's document names (sample/package/en/setup.xml).
xml=$root/sample/package/en/setup.xml
attribute() { sed -n "s/.*[[:space:]]$1=\"\\([^\"]*\\)\".*/\\1/p" "$xml" | head -n 1; }
product=$(attribute ProductID)
alias=$(attribute UpdateAlias)
ext=$(attribute UpdateExt)
uninstall_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
machine_key='HKLM\SOFTWARE\Quorvant\Sample Document Editor'
# The vendor's keys: the product's own below them, and setup's trace switch.
vendor_keys='HKLM\SOFTWARE\Quorvant HKCU\Software\Quorvant'

# setup is a 32-bit program: its switch lives in the 32-bit registry view.
wine_out reg add 'HKLM\Software\Quorvant\Setup' /v LogLevel /t REG_DWORD /d 1 /f /reg:32 >/dev/null

# A registry value's data from "reg query" output ("    NAME    REG_SZ    DATA").
reg_value() {
    wine_out reg query "$1" /v "$2" /reg:32 2>/dev/null | sed -n "s/^ *$2 \{4\}REG_[A-Z_]* \{4\}//p" | head -n 1 || true
}
# The Unix path of a Windows path of the prefix.
unix_path() { wine_out winepath -u "$1" 2>/dev/null | head -n 1 || true; }
reg_show() {
    echo "$1"
    wine_out reg query "$1" /s /reg:32 | sed '/^$/d; /^reg:/d; s/^HKEY_[A-Z_]*\\//' | indent || echo "    (no key)"
}
list_files() {
    echo "$1"
    local folder
    folder=$(unix_path "$1")
    if [ -n "$folder" ] && [ -d "$folder" ]; then
        (cd "$folder" && find . -mindepth 1 \( -type d -printf '%10s  %P\\\n' -o -printf '%10s  %P\n' \) |
            sed 's/^ *[0-9]*  \(.*\\\)$/    folder  \1/' | sort -k2) | indent
    else
        echo "    (no folder)"
    fi
}

# run STEP PROGRAM ARGUMENTS...: one setup run through tracecap, its trace into a file.
run() {
    local step=$1 log=$stage/try-$1.log code
    shift
    echo "\$ $(basename "$1") ${*:2}"
    set +e
    wine_out "$bin/tracecap.exe" "$@" >"$log"
    code=$?
    set -e
    echo "    exit code: $code, trace: $log ($(wc -l <"$log") lines)"
    echo
}

# The folders and the shortcut, as the first install left them (the record may be
# gone after the uninstall, so they are read once).
target= data= shortcut= program_data=
show_state() {
    echo "== After the $1"
    [ -n "$target" ] || target=$(reg_value "$machine_key" InstallDir)
    if [ -z "$data" ]; then
        data=$(reg_value "$uninstall_key" UninstallString)
        data=${data#\"}
        data=${data%% /X*}
        data=${data%\"}
        data=${data%\\*}
    fi
    if [ -z "$shortcut" ]; then
        shortcut="$(wine_out cmd /c echo %APPDATA% | head -n 1)\\Microsoft\\Windows\\Start Menu\\Programs\\Sample Document Editor.lnk"
    fi
    [ -n "$program_data" ] || program_data=$(wine_out cmd /c echo %ProgramData% | head -n 1)
    list_files "${target:-C:\\Program Files (x86)\\Sample Document Editor}"
    # The vendor's folders: the uninstaller's beside other products', and the data folder.
    local uninstall_folder=${data:-C:\\Program Files (x86)\\Common Files\\Quorvant\\Sample Document Editor}
    list_files "${uninstall_folder%\\*}"
    list_files "$program_data\\Quorvant"
    if [ -n "$data" ] && [ -f "$(unix_path "$data")/$product.cfg" ]; then
        echo "  components file:"
        tr -d '\r' <"$(unix_path "$data")/$product.cfg" | sed 's/></>\n</g' | grep '<item' | indent
    fi
    echo "Start menu shortcut: $([ -f "$(unix_path "$shortcut")" ] && echo present || echo absent)"
    for key in $vendor_keys; do reg_show "$key"; done
    reg_show "$uninstall_key"
    reg_show "HKCR\\$ext"
    reg_show "HKCR\\$alias"
    echo "Deletions waiting for the restart:"
    wine_out reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations |
        sed -n 's/.*REG_MULTI_SZ *//p' | sed 's/\\0\\0/\n/g; s/\\0/\n/g' | sed '/^$/d; s/^\\??\\//' | indent || true
    echo
}

run install "$dist/setup.exe" /i "$(winpath "$dist/setup.cfs")" /qn /norestart
show_state install

run update "$dist/setup.exe" /i "$(winpath "$dist/update-1.1.qsu")" /qn /norestart
show_state update

# Programs and Features' "Change": the uninstaller copy with a list of components.
uninstaller=$(reg_value "$uninstall_key" UninstallString)
copy=${uninstaller#\"}
copy=${copy%% /X*}
copy=${copy%\"}
list=$stage/components.xml
printf '%s\n' '<C>' \
    '  <AddComponents><item Name="SpellCheck" Value="true"/><item Name="Manual" Value="false"/></AddComponents>' \
    '  <RemoveComponents><item Name="Manual" Value="true"/><item Name="SpellCheck" Value="false"/></RemoveComponents>' \
    '</C>' >"$list"
run config "$copy" /config "$(winpath "$list")" /qn /norestart
show_state reconfiguration

# Programs and Features' "Uninstall", quietly: the command as registered plus /qn.
arguments=${uninstaller##*\" }
[ "$arguments" != "$uninstaller" ] || arguments=${uninstaller##* }
run uninstall "$copy" $arguments /qn
show_state uninstall
