#!/usr/bin/env python3
"""Checks that each folder of the source tree includes only from the folders below
it: the framework from itself, the common library from the framework, the DLL call
library and the 64-bit helpers from both; setup sits on top and no program includes
the tests."""
import pathlib
import re
import sys

# Each folder and the folders its sources may include from.
ALLOWED = {
    "framework": {"framework"},
    "common": {"framework", "common"},
    "dllcall": {"framework", "common", "dllcall"},
    "callbridge": {"framework", "common", "dllcall", "callbridge"},
    "lockscout": {"framework", "common", "lockscout"},
    "setup": {"framework", "common", "dllcall", "setup"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    wrong = []
    for folder, allowed in ALLOWED.items():
        for source in sorted((root / folder).rglob("*")):
            if source.suffix not in (".cpp", ".h"):
                continue
            for number, line in enumerate(source.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if match and match.group(1) not in allowed:
                    wrong.append(f"{source.relative_to(root)}:{number}: includes from {match.group(1)}/")
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
