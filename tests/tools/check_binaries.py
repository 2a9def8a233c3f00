#!/usr/bin/env python3
"""Checks the three programs: bitness, subsystem, that they import nothing but
the Windows DLLs the loader always takes from the system folder (so each runs from
a bare folder, and a DLL of the same name left beside it is never loaded: every
other DLL is loaded on first use from the system folder), and that setup's entry
point is its version gate, which therefore runs before every static initialiser.
Release programs are stripped, so the entry point's symbol is read from setup's
link map when one is given. setup is also held to a size limit."""
import argparse
import os
import re
import subprocess
import sys

# Known DLLs: mapped from the system folder whatever lies beside the program.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll",
    "ole32.dll", "oleaut32.dll", "msvcrt.dll", "comdlg32.dll", "ntdll.dll", "rpcrt4.dll",
    "psapi.dll",
    # Not a known DLL, but setup's manifest names the side-by-side common controls,
    # and that assembly is taken from the system's store, never from beside setup.
    "comctl32.dll",
}

# Every installed product keeps a copy of setup, which carries both 64-bit helpers.
MAX_SETUP_BYTES = 2 * 1024 * 1024

EXPECTED = {
    "setup.exe": ("pei-i386", "(Windows GUI)", "_SetupStartup"),
    "callbridge.exe": ("pei-x86-64", "(Windows GUI)", None),
    "lockscout.exe": ("pei-x86-64", "(Windows GUI)", None),
}


def entry_symbol(nm, path, headers, map_file):
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    entry = int(re.search(r"^AddressOfEntryPoint\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    if map_file:
        with open(map_file, encoding="utf-8", errors="replace") as f:
            symbols = [(int(m.group(1), 16), m.group(2))
                       for m in re.finditer(r"^\s+0x([0-9a-fA-F]+)\s+(\S+)\s*$", f.read(), re.M)]
    else:
        out = subprocess.run([nm, path], check=True, capture_output=True, text=True).stdout
        symbols = [(int(p[0], 16), p[2]) for p in (line.split() for line in out.splitlines())
                   if len(p) == 3 and p[1] in "Tt"]
    for address, name in symbols:
        if address == base + entry:
            return name
    return None


def check(objdump, nm, path, map_file=None):
    name = path.replace("\\", "/").rsplit("/", 1)[-1].lower()
    fmt, subsystem, entry = EXPECTED[name]
    out = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    errors = []
    if not re.search(r"file format " + re.escape(fmt) + r"\b", out):
        errors.append(f"{name}: not {fmt}")
    if not re.search(r"^Subsystem\s+\S+\s+" + re.escape(subsystem), out, re.M):
        errors.append(f"{name}: subsystem is not {subsystem}")
    dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", out)}
    foreign = sorted(d for d in dlls if d not in SYSTEM_DLLS)
    if foreign:
        errors.append(f"{name}: imports DLLs that may be found beside it {foreign}")
    if not dlls:
        errors.append(f"{name}: no import table found")
    if name == "setup.exe" and os.path.getsize(path) > MAX_SETUP_BYTES:
        errors.append(f"{name}: {os.path.getsize(path)} bytes, more than {MAX_SETUP_BYTES}")
    if entry is not None:
        found = entry_symbol(nm, path, out, map_file)
        # The link map gives C names without the 32-bit leading underscore.
        if found not in (entry, entry[1:]):
            errors.append(f"{name}: entry point is {found}, not {entry}")
    return errors


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", default="objdump")
    parser.add_argument("--nm", default="nm")
    parser.add_argument("--setup-map", help="setup's link map (its entry point's symbol)")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    errors = []
    for path in args.programs:
        is_setup = path.replace("\\", "/").rsplit("/", 1)[-1].lower() == "setup.exe"
        errors += check(args.objdump, args.nm, path, args.setup_map if is_setup else None)
    for error in errors:
        print(error)
    print(f"{len(args.programs) - len({e.split(':')[0] for e in errors})} passed, "
          f"{len({e.split(':')[0] for e in errors})} failed")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
