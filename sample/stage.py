#!/usr/bin/env python3
"""Lays out the sample product for building: the install package folder (1.0), the
update package folder (1.1), each with the theme pictures and the product's program,
and the files that stand beside setup.exe (licence texts, splash picture).

Usage: stage.py --program SampleEditor.exe --out FOLDER
Makes FOLDER/package, FOLDER/update and FOLDER/dist; cfsbuild (scripts/try.sh) or
the package builder (the end-to-end test) turns the first two into packages.
"""
import argparse
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True
import draw_theme  # noqa: E402


def stage_package(name, out, theme, program):
    target = os.path.join(out, name)
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(os.path.join(HERE, name), target)
    # The splash picture stands beside setup.exe, not in the package.
    shutil.copytree(theme, os.path.join(target, "theme"), ignore=shutil.ignore_patterns("splash.png"))
    shutil.copyfile(program, os.path.join(target, "files", "app", "SampleEditor.exe"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True, help="the built SampleEditor.exe")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    theme = os.path.join(args.out, "theme")
    draw_theme.main(theme)
    for name in ("package", "update"):
        stage_package(name, args.out, theme, args.program)
    dist = os.path.join(args.out, "dist")
    shutil.rmtree(dist, ignore_errors=True)
    shutil.copytree(os.path.join(HERE, "dist"), dist)
    shutil.copyfile(os.path.join(theme, "splash.png"), os.path.join(dist, "setup.png"))


if __name__ == "__main__":
    main()
