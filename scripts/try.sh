#!/usr/bin/env bash
# Tries setup.exe under Wine in a prefix of its own (build/wine/try): the sample
# package (sample/package) is built with cfsbuild, setup installs it quietly
# ("/qn /norestart") with its trace switched on, and then what it left behind is
# listed: the installed files, the registry values, the uninstall record, the
# update-package association and the uninstall folder.
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

# What the sample's document names (sample/package/setup.xml).
xml=$root/sample/package/setup.xml
attribute() { sed -n "s/.*[[:space:]]$1=\"\\([^\"]*\\)\".*/\\1/p" "$xml" | head -n 1; }
product=$(attribute ProductID)
alias=$(attribute UpdateAlias)
ext=$(attribute UpdateExt)
uninstall_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
machine_key='HKLM\SOFTWARE\Quorvant\Sample Document Editor'
user_key='HKCU\Software\Quorvant\Sample Document Editor'

# setup is a 32-bit program: its switch lives in the 32-bit registry view.
wine_out reg add 'HKLM\Software\Quorvant\Setup' /v LogLevel /t REG_DWORD /d 1 /f /reg:32 >/dev/null

# Only the manual is stored packed: setup reads packed and plain streams alike.
sample=$build/sample.cfs
wine_out "$bin/cfsbuild.exe" --pack-only 'files\app\manual.txt' \
    "$(winpath "$root/sample/package")" "$(winpath "$sample")" >/dev/null

echo "\$ setup.exe /i $(winpath "$sample") /qn /norestart"
set +e
wine_out "$bin/tracecap.exe" "$bin/setup.exe" /i "$(winpath "$sample")" /qn /norestart | indent
code=${PIPESTATUS[0]}
set -e
echo "    exit code: $code"
echo

# A registry value's data from "reg query" output ("    NAME    REG_SZ    DATA").
reg_value() {
    wine_out reg query "$1" /v "$2" /reg:32 2>/dev/null | sed -n "s/^ *$2 \{4\}REG_[A-Z_]* \{4\}//p" | head -n 1 || true
}
# The Unix path of a Windows path of the prefix.
unix_path() { wine_out winepath -u "$1" 2>/dev/null | head -n 1 || true; }

list_files() {
    local folder=$1
    if [ -d "$folder" ]; then
        (cd "$folder" && find . -type f -printf '%10s  %P\n' | sort -k2) | indent
    else
        echo "    (no folder)"
    fi
}

target=$(reg_value "$uninstall_key" InstallLocation)
[ -n "$target" ] || target=$(reg_value "$machine_key" InstallDir)
echo "== Installed files: ${target:-(no install folder recorded)}"
if [ -n "$target" ]; then
    list_files "$(unix_path "$target")"
fi
echo

echo "== Registry values (32-bit view)"
for key in "$machine_key" "$user_key"; do
    echo "$key"
    wine_out reg query "$key" /reg:32 | sed '/^$/d; /^HKEY_/d; /^reg:/d' | indent || echo "    (no key)"
done
echo

echo "== Uninstall record"
echo "$uninstall_key"
wine_out reg query "$uninstall_key" /reg:32 | sed '/^$/d; /^HKEY_/d; /^reg:/d' | indent || echo "    (no record)"
echo

echo "== Update-package association"
for key in "HKCR\\$ext" "HKCR\\$alias"; do
    echo "$key"
    wine_out reg query "$key" /s /reg:32 | sed '/^$/d; /^reg:/d' | indent || echo "    (no key)"
done
echo

uninstaller=$(reg_value "$uninstall_key" UninstallString)
uninstaller=${uninstaller#\"}
uninstaller=${uninstaller%% /X*}
uninstaller=${uninstaller%\"}
echo "== Uninstall folder: ${uninstaller:+${uninstaller%\\*}}"
if [ -n "$uninstaller" ]; then
    wine_out cmd /c attrib "${uninstaller%\\*}" | indent || true
    list_files "$(unix_path "${uninstaller%\\*}")"
else
    echo "    (no uninstall command recorded)"
fi
