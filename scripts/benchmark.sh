#!/usr/bin/env bash
# Measures the install's file copying against a plain copy, on demand (not a test).
#
# A payload of 1,000 files of 64 KiB (half compressible text, half random bytes) is
# packed with "cfsbuild --pack" into a package whose install script copies them
# all. In one fresh Wine prefix (build/wine/bench) and one run each, it times
#   - setup.exe /i bench.cfs /qn /norestart   (unpack and copy every file), and
#   - plaincopy.exe                           (create, write, close the same files
#                                              from the unpacked payload),
# and prints both times and their ratio. BENCH_FILES and BENCH_KIB change the size.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
files=${BENCH_FILES:-1000}
kib=${BENCH_KIB:-64}
. "$root/scripts/wine-env.sh"

bin=$build/win32/bin
for program in setup.exe cfsbuild.exe plaincopy.exe; do
    if [ ! -f "$bin/$program" ]; then
        echo "benchmark.sh: no $program in $bin; run scripts/build.sh first" >&2
        exit 2
    fi
done

work=$build/bench
rm -rf "$work"
mkdir -p "$work/payload/text" "$work/payload/random"
winpath() { echo "Z:${1//\//\\}"; }

# The payload, and the document that copies it entry by entry.
python3 - "$work" "$files" "$kib" <<'EOF'
import os, random, sys
work, count, kib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
size = kib * 1024
rng = random.Random(20240601)
words = "setup package stream folder install copy file registry value script node".split()
entries = {"text": [], "random": []}
for i in range(count):
    kind = "text" if i % 2 == 0 else "random"
    name = "f%04d.%s" % (i, "txt" if kind == "text" else "bin")
    if kind == "text":
        data = bytearray()
        while len(data) < size:
            data += (" ".join(rng.choice(words) for _ in range(12)) + "\n").encode()
        data = bytes(data[:size])
    else:
        data = os.urandom(size)
    with open(os.path.join(work, "payload", kind, name), "wb") as f:
        f.write(data)
    entries[kind].append(name)

groups = []
for kind in ("text", "random"):
    lines = ['      <File FileName="\\payload\\%s\\%s"/>' % (kind, name) for name in entries[kind]]
    groups.append('    <%s DestPath="%%TargetDir%%\\%s">\n%s\n    </%s>' % (kind.capitalize(), kind, "\n".join(lines), kind.capitalize()))
document = """<?xml version="1.0" encoding="utf-8"?>
<Interface>
  <SetupMacroses>
    <TargetDir Pattern="%%TargetDir%%" Value="C:\\bench\\setup"/>
    <TargetDataDir Pattern="%%TargetDataDir%%" Value="C:\\bench\\data"/>
  </SetupMacroses>
  <SetupFiles>
%s
  </SetupFiles>
  <Install><PreFinish><Files/></PreFinish></Install>
  <Localize>
    <Messages>
      <SetupFailed Caption="Setup failed."/>
      <CopyFileError Caption="Copy failed."/>
    </Messages>
  </Localize>
</Interface>
""" % "\n".join(groups)
os.makedirs(os.path.join(work, "package"), exist_ok=True)
with open(os.path.join(work, "package", "setup.xml"), "w") as f:
    f.write(document)
EOF
# The package holds the payload under \payload, beside its document.
mv "$work/payload" "$work/package/payload"

wine_make_template "$build/wine/template"
wine_fresh_prefix "$build/wine/template" "$build/wine/bench"
trap 'wine_stop_server; rm -rf "$WINEPREFIX"' EXIT

run_quiet() { wine "$@" </dev/null >"$work/last.out" 2>/dev/null; }
now() { date +%s%N; }
millis() { echo $((($2 - $1) / 1000000)); }
count_files() { if [ -d "$1" ]; then find "$1" -type f | wc -l; else echo 0; fi; }

run_quiet "$bin/cfsbuild.exe" --pack "$(winpath "$work/package")" "$(winpath "$work/bench.cfs")"
echo "payload: $files files of $kib KiB ($((files / 2)) text, $((files - files / 2)) random); package $(($(stat -c %s "$work/bench.cfs") / 1024)) KiB"

drive_c=$WINEPREFIX/drive_c
mkdir -p "$drive_c/bench"
start=$(now)
set +e
run_quiet "$bin/setup.exe" /i "$(winpath "$work/bench.cfs")" /qn /norestart
setup_code=$?
set -e
setup_ms=$(millis "$start" "$(now)")
setup_files=$(count_files "$drive_c/bench/setup")

start=$(now)
set +e
run_quiet "$bin/plaincopy.exe" "$(winpath "$work/package/payload")" 'C:\bench\plain'
plain_code=$?
set -e
plain_ms=$(millis "$start" "$(now)")
plain_files=$(count_files "$drive_c/bench/plain")

printf 'setup.exe /qn /norestart: %6d ms  (exit code %d, %d files installed)\n' "$setup_ms" "$setup_code" "$setup_files"
printf 'plaincopy:                %6d ms  (exit code %d, %d files copied)\n' "$plain_ms" "$plain_code" "$plain_files"
if [ "$plain_ms" -gt 0 ]; then
    awk -v s="$setup_ms" -v p="$plain_ms" 'BEGIN { printf "ratio setup / plain copy: %.2f\n", s / p }'
fi
if [ "$setup_files" -ne "$files" ] || [ "$plain_files" -ne "$files" ]; then
    echo "benchmark.sh: not every file arrived; the times do not compare" >&2
    exit 1
fi
