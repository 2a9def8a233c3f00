#!/usr/bin/env bash
# Measures setup.exe's file copying and removal against NSIS, on demand (not a test).
#
# For each shape (files x size; half compressible text, half random bytes) one
# payload is packed twice: with "cfsbuild --pack" into a package whose install
# script copies every file and registers an uninstaller, and with makensis
# (Debian's nsis, zlib) into an installer and uninstaller of the same files. In one
# fresh Wine prefix (build/wine/bench), each timed best of BENCH_RUNS (3):
#   - setup.exe /i bench.cfs /qn /norestart   against  nsis-setup.exe /S
#   - for the 3,000-file shape, setup's registered uninstaller /X{product} /qn
#     against the NSIS uninstaller /S
# Prints each time, the ratio setup / NSIS, the time per file and the peak
# memory (maximum resident set, /usr/bin/time -v) of each program.
# BENCH_SHAPES and BENCH_RUNS change the work. A shape is FILESxKIB (each kind
# of file in one folder of its own) or FILESxKIB/N (folders of N files of each
# kind): the default compares 1,000 and 10,000 files of 1 KiB with the same
# number of files in each folder as well as in two folders of 5,000, because
# under Wine every new name costs a read of its whole folder;
# BENCH_SETUP names another setup.exe to measure (an older build, say), and
# BENCH_NAME another work folder and prefix, so that two runs may overlap.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
shapes=${BENCH_SHAPES:-1000x64 3000x4 1000x1 10000x1/500 10000x1}
runs=${BENCH_RUNS:-3}
uninstall_shape=${BENCH_UNINSTALL_SHAPE:-3000x4}
. "$root/scripts/wine-env.sh"

bin=$build/win32/bin
setup_exe=${BENCH_SETUP:-$bin/setup.exe}
for program in "$setup_exe" "$bin/cfsbuild.exe"; do
    if [ ! -f "$program" ]; then
        echo "benchmark.sh: no $program; run scripts/build.sh first" >&2
        exit 2
    fi
done
if ! command -v makensis >/dev/null; then
    echo "benchmark.sh: no makensis; install Debian's nsis (scripts/bootstrap.sh does)" >&2
    exit 2
fi

product='{8E4B2C71-5A93-4D06-B1F8-2C7D9E3A6B15}'
bench_name=${BENCH_NAME:-bench}
work=$build/$bench_name
rm -rf "$work"
mkdir -p "$work"
winpath() { echo "Z:${1//\//\\}"; }

# make_shape DIR FILES KIB PER_FOLDER: the payload under DIR/package/payload, the
# setup document beside it, and DIR/bench.nsi for the same files. PER_FOLDER 0
# puts all text files in one folder and all random ones in another; N puts them
# in folders of N files each.
make_shape() {
    python3 - "$1" "$2" "$3" "$product" "$4" <<'EOF'
import os, random, sys
work, count, kib, product, per_folder = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
size = kib * 1024
rng = random.Random(20240601)
words = "setup package stream folder install copy file registry value script node".split()
payload = os.path.join(work, "package", "payload")
entries = {}  # folder -> file names, in order
for i in range(count):
    kind = "text" if i % 2 == 0 else "random"
    folder = kind if per_folder == 0 else "%s%03d" % (kind, (i // 2) // per_folder)
    name = "f%05d.%s" % (i, "txt" if kind == "text" else "bin")
    if kind == "text":
        data = bytearray()
        while len(data) < size:
            data += (" ".join(rng.choice(words) for _ in range(12)) + "\n").encode()
        data = bytes(data[:size])
    else:
        data = os.urandom(size)
    os.makedirs(os.path.join(payload, folder), exist_ok=True)
    with open(os.path.join(payload, folder, name), "wb") as f:
        f.write(data)
    entries.setdefault(folder, []).append(name)

groups = []
for n, folder in enumerate(entries):
    lines = ['      <File FileName="\\payload\\%s\\%s"/>' % (folder, name) for name in entries[folder]]
    groups.append('    <Group%d DestPath="%%TargetDir%%\\%s">\n%s\n    </Group%d>' % (n, folder, "\n".join(lines), n))
document = """<?xml version="1.0" encoding="utf-8"?>
<Interface>
  <SetupMacroses>
    <TargetDir Pattern="%%TargetDir%%" Value="C:\\bench\\setup"/>
    <TargetDataDir Pattern="%%TargetDataDir%%" Value="C:\\bench\\data"/>
  </SetupMacroses>
  <InstallInfo ProductID="%s" UninstallPath="C:\\bench\\uninst" DisplayName="Bench" DisplayVersion="1.0"/>
  <SetupFiles>
%s
  </SetupFiles>
  <Install><PreFinish><Files/><RegUninstaller/></PreFinish></Install>
  <Uninstall>
    <PreFinish><Files Install="false"/></PreFinish>
    <PostFinish><RemoveFolder FolderName="%%TargetDir%%"/></PostFinish>
  </Uninstall>
  <Localize>
    <Messages>
      <SetupFailed Caption="Setup failed."/>
      <CopyFileError Caption="Copy failed."/>
    </Messages>
  </Localize>
</Interface>
""" % (product, "\n".join(groups))
with open(os.path.join(work, "package", "setup.xml"), "w") as f:
    f.write(document)

# The same files for NSIS: zlib, silent, an uninstaller that deletes them by name.
nsi = ['Unicode true', 'SetCompressor zlib', 'RequestExecutionLevel admin', 'Name "Bench"',
       'OutFile "nsis-setup.exe"', 'InstallDir "C:\\bench\\nsis"', 'SilentInstall silent',
       'SilentUnInstall silent', 'Section']
for folder in entries:
    nsi.append('  SetOutPath "$INSTDIR\\%s"' % folder)
    nsi.append('  File "package\\payload\\%s\\*"' % folder)
nsi += ['  WriteUninstaller "$INSTDIR\\uninst.exe"', 'SectionEnd', 'Section "Uninstall"']
for folder in entries:
    for name in entries[folder]:
        nsi.append('  Delete "$INSTDIR\\%s\\%s"' % (folder, name))
    nsi.append('  RMDir "$INSTDIR\\%s"' % folder)
nsi += ['  Delete "$INSTDIR\\uninst.exe"', '  RMDir "$INSTDIR"', 'SectionEnd']
with open(os.path.join(work, "bench.nsi"), "w") as f:
    f.write("\n".join(nsi) + "\n")
EOF
}

wine_make_template "$build/wine/template"
wine_fresh_prefix "$build/wine/template" "$build/wine/$bench_name"
trap 'wine_stop_server; rm -rf "$WINEPREFIX"' EXIT
drive_c=$WINEPREFIX/drive_c

now() { date +%s%N; }
count_files() { if [ -d "$1" ]; then find "$1" -type f | wc -l; else echo 0; fi; }
# timed NAME PROGRAM ARGS...: runs it under Wine; sets ms, kib (peak resident) and code.
timed() {
    local name=$1 start
    shift
    start=$(now)
    set +e
    /usr/bin/time -v -o "$work/$name.time" wine "$@" </dev/null >"$work/$name.out" 2>&1
    code=$?
    set -e
    ms=$((($(now) - start) / 1000000))
    kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/$name.time")
}
best() { printf '%s\n' "$@" | sort -n | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
per_file() { awk -v t="$1" -v n="$2" 'BEGIN { printf "%.2f", t / n }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }

failed=0
report=()
for shape in $shapes; do
    # FILESxKIB, or FILESxKIB/N for folders of N files of each kind.
    size_part=${shape%/*}
    per_folder=0
    [ "$size_part" != "$shape" ] && per_folder=${shape#*/}
    files=${size_part%x*}
    kib_each=${size_part#*x}
    layout=""
    [ "$per_folder" -gt 0 ] && layout=", $per_folder a folder"
    dir=$work/${shape//\//-}
    mkdir -p "$dir"
    make_shape "$dir" "$files" "$kib_each" "$per_folder"
    wine "$bin/cfsbuild.exe" --pack "$(winpath "$dir/package")" "$(winpath "$dir/bench.cfs")" </dev/null >/dev/null 2>&1
    (cd "$dir" && makensis -V1 bench.nsi >/dev/null)
    largest=$(find "$dir/package/payload" -type f -printf '%s\n' | sort -n | tail -1)
    echo "$shape: $files files of $kib_each KiB$layout; package $(($(stat -c %s "$dir/bench.cfs") / 1024)) KiB, NSIS installer $(($(stat -c %s "$dir/nsis-setup.exe") / 1024)) KiB"

    setup_times=() nsis_times=() setup_un=() nsis_un=() setup_mem=0 nsis_mem=0 setup_un_mem=0 nsis_un_mem=0
    for ((run = 1; run <= runs; run++)); do
        rm -rf "$drive_c/bench"
        mkdir -p "$drive_c/bench"
        timed setup "$setup_exe" /i "$(winpath "$dir/bench.cfs")" /qn /norestart
        setup_times+=("$ms")
        [ "$kib" -gt "$setup_mem" ] && setup_mem=$kib
        got=$(count_files "$drive_c/bench/setup")
        if [ "$code" -ne 0 ] || [ "$got" -ne "$files" ]; then
            echo "  setup run $run: exit code $code, $got of $files files installed" >&2
            failed=1
        fi
        timed nsis "$dir/nsis-setup.exe" /S
        nsis_times+=("$ms")
        [ "$kib" -gt "$nsis_mem" ] && nsis_mem=$kib
        got=$(count_files "$drive_c/bench/nsis")
        if [ "$got" -ne $((files + 1)) ]; then
            echo "  NSIS run $run: $got of $files files installed" >&2
            failed=1
        fi
        if [ "$shape" = "$uninstall_shape" ]; then
            timed setup-uninstall "C:\\bench\\uninst\\$product.exe" "/X$product" /qn /norestart
            setup_un+=("$ms")
            [ "$kib" -gt "$setup_un_mem" ] && setup_un_mem=$kib
            left=$(count_files "$drive_c/bench/setup")
            # _?= keeps the uninstaller in place and waits for it.
            timed nsis-uninstall "C:\\bench\\nsis\\uninst.exe" /S '_?=C:\bench\nsis'
            nsis_un+=("$ms")
            [ "$kib" -gt "$nsis_un_mem" ] && nsis_un_mem=$kib
            nsis_left=$(($(count_files "$drive_c/bench/nsis") - 1))
            if [ "$left" -ne 0 ] || [ "$nsis_left" -ne 0 ]; then
                echo "  uninstall run $run: setup left $left files, NSIS $nsis_left" >&2
                failed=1
            fi
        fi
    done
    s=$(best "${setup_times[@]}") n=$(best "${nsis_times[@]}")
    printf '  install   setup %6d ms  NSIS %6d ms  ratio %s  setup %s ms/file  peak setup %s MiB, NSIS %s MiB\n' \
        "$s" "$n" "$(ratio "$s" "$n")" "$(per_file "$s" "$files")" "$(mib "$setup_mem")" "$(mib "$nsis_mem")"
    report+=("| install $files × $kib_each KiB$layout | $s | $n | $(ratio "$s" "$n") | $(per_file "$s" "$files") | $(mib "$setup_mem") / $(mib "$nsis_mem") | $((largest / 1024)) KiB |")
    if [ ${#setup_un[@]} -gt 0 ]; then
        s=$(best "${setup_un[@]}") n=$(best "${nsis_un[@]}")
        printf '  uninstall setup %6d ms  NSIS %6d ms  ratio %s  setup %s ms/file  peak setup %s MiB, NSIS %s MiB\n' \
            "$s" "$n" "$(ratio "$s" "$n")" "$(per_file "$s" "$files")" "$(mib "$setup_un_mem")" "$(mib "$nsis_un_mem")"
        report+=("| uninstall $files × $kib_each KiB$layout | $s | $n | $(ratio "$s" "$n") | $(per_file "$s" "$files") | $(mib "$setup_un_mem") / $(mib "$nsis_un_mem") | |")
    fi
done

echo
echo "| shape | setup ms | NSIS ms | ratio | setup ms/file | peak MiB setup / NSIS | largest stream |"
echo "|---|---:|---:|---:|---:|---:|---:|"
printf '%s\n' "${report[@]}"
if [ "$failed" -ne 0 ]; then
    echo "benchmark.sh: not every run installed or removed every file; the times do not compare" >&2
    exit 1
fi
