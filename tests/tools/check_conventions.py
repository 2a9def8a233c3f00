#!/usr/bin/env python3
"""Checks that the programs and libraries do each thing one way: platform handles
are closed only by the holder template (common/tools/UniqueHandle.h), errors are
raised only through common/tools/ComError.h, and the interface document's XPath
queries are written out once, in common/config/DocumentPaths.h. The framework keeps
its own owners (it may not include the common library) and the tests are left out."""
import pathlib
import re
import sys

FOLDERS = ("common", "dllcall", "callbridge", "lockscout", "setup", "tools")

# Calls that give a platform resource back; only the holders may make them. A call
# without arguments is a member of a framework class (CDC::DeleteDC), not the API.
RELEASES = (
    "CloseHandle|RegCloseKey|FreeLibrary|GlobalFree|GlobalUnlock|LocalFree|FreeSid|CloseServiceHandle|DeleteDC|"
    "ReleaseDC|DeleteObject|FindClose|CloseThemeData|CoTaskMemFree|ClosePrinter|UnmapViewOfFile"
)
RELEASE_CALL = re.compile(r"(?<![\w.>])(?:::)?(" + RELEASES + r")\s*\((?!\s*\))")

# The compiler's support routines of common/tools/ComSupport.cpp are the only place
# that reports through _com_issue_error; ComError.h is the only one that throws.
ISSUE_CALL = re.compile(r"\b_com_issue_error(ex)?\s*\(")
ISSUE_ALLOWED = {"common/tools/ComSupport.cpp"}
THROW = re.compile(r"\bthrow\s+_com_error\b")
THROW_ALLOWED = {"common/tools/ComError.h"}
# A helper of its own that checks an HRESULT (Check(hr, ...), CheckDom(hr, ...)).
OWN_CHECK = re.compile(r"\b\w*Check\w*\s*\(\s*HRESULT\b")

PATHS_HEADER = "common/config/DocumentPaths.h"
XPATH = re.compile(r'L?"((?://)?Interface/(?:[^"\\]|\\.)*)"')
STRING = re.compile(r'"(?:[^"\\]|\\.)*"')


def code_lines(text):
    """The lines with comments blanked, strings kept."""
    result = []
    in_block = False
    for line in text.splitlines():
        out = []
        i = 0
        while i < len(line):
            if in_block:
                end = line.find("*/", i)
                if end < 0:
                    i = len(line)
                    continue
                in_block = False
                i = end + 2
                continue
            if line.startswith("//", i):
                break
            if line.startswith("/*", i):
                in_block = True
                i += 2
                continue
            if line[i] == '"':
                match = STRING.match(line, i)
                if match:
                    out.append(match.group(0))
                    i = match.end()
                    continue
            out.append(line[i])
            i += 1
        result.append("".join(out))
    return result


def sources(root):
    for folder in FOLDERS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in (".cpp", ".h"):
                yield path.relative_to(root).as_posix(), code_lines(path.read_text(encoding="utf-8", errors="replace"))


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    wrong = []
    header_paths = set(XPATH.findall("\n".join(code_lines((root / PATHS_HEADER).read_text(encoding="utf-8")))))
    xpaths = {}
    for name, lines in sources(root):
        for number, line in enumerate(lines, 1):
            where = f"{name}:{number}"
            bare = STRING.sub('""', line)
            for match in RELEASE_CALL.finditer(bare):
                wrong.append(f"{where}: {match.group(1)} outside a holder (common/tools/UniqueHandle.h)")
            if ISSUE_CALL.search(bare) and name not in ISSUE_ALLOWED:
                wrong.append(f"{where}: _com_issue_error beside ThrowIfFailed (common/tools/ComError.h)")
            if THROW.search(bare) and name not in THROW_ALLOWED:
                wrong.append(f"{where}: throws _com_error itself instead of through common/tools/ComError.h")
            if OWN_CHECK.search(bare):
                wrong.append(f"{where}: a check of its own beside ThrowIfFailed")
            if name == PATHS_HEADER:
                continue
            for xpath in XPATH.findall(line):
                xpaths.setdefault(xpath, []).append(where)
                # What the header holds, or a query below one of its paths.
                for known in header_paths:
                    if xpath == known or xpath.startswith(known.rstrip("/*") + "/"):
                        wrong.append(f'{where}: "{xpath}" spelled out; {PATHS_HEADER} holds "{known}"')
    for xpath, places in sorted(xpaths.items()):
        if len(places) > 1:
            wrong.append(f'"{xpath}" written in {len(places)} places ({", ".join(places)}): a constant of {PATHS_HEADER}')
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
