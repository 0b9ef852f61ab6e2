#!/usr/bin/env python3
"""Checks that every test SECURITY.md names exists, so that the table never claims a test that
was renamed or never written.

Names are written in backticks as `Suite.Case`: a TEST or TEST_F of the native tests
(tests/native), of the Windows tests (tests/win) or of the publisher's tool (tests/publish), or, for a case named test_..., a method of
that class in a scenario file (tests/e2e/scenarios*.py).
"""
import argparse
import pathlib
import re
import sys

NAME = re.compile(r"`([A-Z][A-Za-z0-9_]*)\.([A-Za-z][A-Za-z0-9_]*)`")


def scenario_methods(root):
    """(class, method) of every scenario."""
    found = set()
    for path in (root / "tests" / "e2e").glob("scenarios*.py"):
        current = None
        for line in path.read_text(encoding="utf-8").splitlines():
            cls = re.match(r"class (\w+)\(", line)
            if cls:
                current = cls.group(1)
            method = re.match(r"    def (test_\w+)\(", line)
            if method and current:
                found.add((current, method.group(1)))
    return found


def gtest_cases(root):
    """(suite, case) of every native, Windows and publisher's tool test."""
    found = set()
    for folder in ("native", "win", "publish"):
        for path in (root / "tests" / folder).glob("*.cpp"):
            text = path.read_text(encoding="utf-8")
            found.update(re.findall(r"TEST(?:_F)?\(\s*(\w+),\s*(\w+)\s*\)", text))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", type=pathlib.Path, help="the repository's top folder")
    root = parser.parse_args().root
    rows = [line for line in (root / "SECURITY.md").read_text(encoding="utf-8").splitlines()
            if line.startswith("|")]
    # The columns headed "Tests" name the tests (one for each build the table describes).
    cells = [[c.strip() for c in line.strip().strip("|").split("|")] for line in rows]
    columns = [i for i, heading in enumerate(cells[0]) if heading == "Tests"] if cells else []
    names = [n for row in cells[2:] for i in columns if i < len(row) for n in NAME.findall(row[i])]
    known = scenario_methods(root) | gtest_cases(root)
    missing = [n for n in names if n not in known]
    for suite, case in missing:
        print("SECURITY.md names a test that does not exist: %s.%s" % (suite, case))
    print("%d test name(s) in SECURITY.md, %d missing" % (len(names), len(missing)))
    return 1 if missing or not names else 0


if __name__ == "__main__":
    sys.exit(main())
