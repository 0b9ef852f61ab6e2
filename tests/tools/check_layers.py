#!/usr/bin/env python3
"""Checks that the program's folders include only from the folders below them.

The folders, top to bottom: app, ui, apply, report, download, manifest, trust, base. A file may
include headers of its own folder and of any folder further down; an include of a folder higher
up is reported with its file and line, and the check fails.
"""
import argparse
import pathlib
import re
import sys

LAYERS = ["app", "ui", "apply", "report", "download", "manifest", "trust", "base"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"')


def upward_includes(root):
    """Yields (file, line number, included folder) for every include that points up."""
    rank = {name: i for i, name in enumerate(LAYERS)}
    for folder in LAYERS:
        for path in sorted((root / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                match = INCLUDE.match(line)
                if match and match.group(1) in rank and rank[match.group(1)] < rank[folder]:
                    yield path.relative_to(root), number, match.group(1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", type=pathlib.Path, help="the source tree")
    args = parser.parse_args()
    found = list(upward_includes(args.root))
    for path, number, folder in found:
        print("%s:%d: includes %s/, a folder above it" % (path, number, folder))
    if found:
        return 1
    print("layers: %s, no include points up" % " > ".join(LAYERS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
