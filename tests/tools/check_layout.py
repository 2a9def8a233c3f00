#!/usr/bin/env python3
"""Checks what the README's "Layout" section promises: its table names every folder
of the tree and every source file of the programs and libraries, every name it puts
in backticks exists, and each source and build file opens with a line that says
what it holds."""
import fnmatch
import pathlib
import re
import subprocess
import sys

# Source and build files, by ending or by name; manifests and documents are data.
SOURCE = re.compile(r"\.(cpp|h|c|py|sh|cmake|def|rc|in)$")
SOURCE_NAMES = {"CMakeLists.txt", "run"}
# What counts as an opening comment, by the kind of file.
COMMENT = re.compile(r'^(//|;|"""|#(?!\s*(include|define|if|pragma|undef)\b))')
# A folder of the table: its first column, or a `name/` in a row below a folder.
TABLE_ROW = re.compile(r"^\|\s*(.*?)\s*\|\s*(.*?)\s*\|\s*$")
NAME = re.compile(r"`([^`]+)`")


def tracked_files(root):
    listed = subprocess.run(["git", "-C", str(root), "ls-files"], capture_output=True, text=True)
    if listed.returncode == 0:
        return [line for line in listed.stdout.splitlines() if line]
    # Outside a checkout: every file but the build trees'.
    return sorted(path.relative_to(root).as_posix() for path in root.rglob("*")
                  if path.is_file() and path.relative_to(root).parts[0] not in ("build", ".git"))


def layout_rows(readme):
    """The (folders, text) rows of the table under "## Layout"."""
    text = readme.read_text(encoding="utf-8")
    section = text.split("\n## Layout\n", 1)[1].split("\n## ", 1)[0]
    rows = []
    for line in section.splitlines():
        match = TABLE_ROW.match(line)
        if not match or set(match.group(1)) <= set("- ") or match.group(1) == "folder":
            continue
        rows.append((NAME.findall(match.group(1)), match.group(2)))
    return rows


def folders_named(rows):
    named = set()
    for folders, text in rows:
        for folder in folders:
            folder = folder.rstrip("/")
            named.add(folder)
            # A row names its subfolders as `name/` (tests/: `e2e/`, sample/: `package/`).
            for sub in NAME.findall(text):
                if sub.endswith("/") and "/" not in sub.rstrip("/"):
                    named.add(folder + "/" + sub.rstrip("/"))
    return named


def check_table(root, files):
    rows = layout_rows(root / "README.md")
    wrong = []
    named = folders_named(rows)
    # Every folder that holds a tracked file, down to two levels (sample/package, not
    # its language folders), is in the table.
    folders = set()
    for path in files:
        parts = pathlib.PurePosixPath(path).parts[:-1]
        for depth in range(1, min(len(parts), 2) + 1):
            folders.add("/".join(parts[:depth]))
    for folder in sorted(folders):
        top = folder.split("/")[0]
        # A top folder is named by its own row or by the rows of its subfolders.
        if folder in named or (folder == top and any(name.startswith(top + "/") for name in named)):
            continue
        wrong.append(f"README.md: the layout table does not name {folder}/")
    # Every backticked name is a folder, a file or a file's stem in the tree (a
    # wildcard matches one), a program built from a folder (`setup.exe`), or a name
    # that a source defines (`CUniqueHandle`).
    stems = set()
    for path in files:
        pure = pathlib.PurePosixPath(path)
        stems.update({pure.name, pure.stem, path})
        stems.update("/".join(pure.parts[:depth]) for depth in range(1, len(pure.parts)))
    sources = "\n".join(
        (root / path).read_text(encoding="utf-8", errors="replace") for path in files if path.endswith((".h", ".cpp")))
    all_names = [name for folders, text in rows for name in folders + NAME.findall(text)]
    for folders, text in rows:
        for name in folders + NAME.findall(text):
            plain = name.rstrip("/")
            if plain in stems or any(fnmatch.fnmatchcase(stem, plain) for stem in stems if "*" in plain):
                continue
            # A name inside a folder's row may be given relative to it (`package/`).
            if any(f"{folder.rstrip('/')}/{plain}" in stems for folder in folders):
                continue
            if plain.endswith(".exe") and plain[:-4] in stems:
                continue
            if re.fullmatch(r"\w+", plain) and re.search(r"\b" + plain + r"\b", sources):
                continue
            wrong.append(f"README.md: the layout table names `{name}`, which is not in the tree")
    # Every source file of the programs and libraries is named (tests and the sample
    # have their own rows).
    for path in files:
        pure = pathlib.PurePosixPath(path)
        if pure.suffix not in (".h", ".cpp") or pure.parts[0] in ("tests", "sample"):
            continue
        # `OSVersionGate.cpp` names its header too.
        if not any(fnmatch.fnmatchcase(pure.stem, pathlib.PurePosixPath(name).stem) for name in all_names):
            wrong.append(f"README.md: the layout table does not name {path}")
    return wrong


def check_opening_lines(root, files):
    wrong = []
    for path in files:
        name = pathlib.PurePosixPath(path).name
        if not (SOURCE.search(name) or name in SOURCE_NAMES):
            continue
        lines = (root / path).read_text(encoding="utf-8", errors="replace").splitlines()
        first = 1 if lines and lines[0].startswith("#!") else 0
        if first >= len(lines) or not COMMENT.match(lines[first]):
            wrong.append(f"{path}:{first + 1}: does not open with a line that says what it holds")
    return wrong


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    files = tracked_files(root)
    wrong = check_table(root, files) + check_opening_lines(root, files)
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
