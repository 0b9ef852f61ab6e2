#!/usr/bin/env python3
"""How many injected faults the native tests catch.

Faults are injected into the portable code of downloads, installing, reports, the window and the
session: a flipped comparison or condition, an off-by-one bound, a swapped truth value or a dropped
assignment, one at a time, each followed by a build of the native tests and a run of them. The
faults are drawn from every such place in a fixed random order, so a run is repeatable. Each file
is put back after its fault. Prints each fault, whether a test caught it, and the rate.

Usage: scripts/inject_faults.py TREE [COUNT]   (TREE: a checkout whose build/native is made by
scripts/configure.sh; use a checkout of its own, since its files are edited while this runs)
"""
import pathlib
import random
import re
import subprocess
import sys

root = pathlib.Path(sys.argv[1])
count = int(sys.argv[2]) if len(sys.argv) > 2 else 64
files = ["download/download_records.cpp", "download/download_rules.cpp", "download/job_table.cpp",
         "apply/apply_plan.cpp", "apply/finish_rules.cpp", "app/relocation.cpp",
         "report/machine_identity.cpp", "report/os_description.cpp", "report/report_cipher.cpp",
         "report/report_decoder.cpp", "report/usage_report.cpp", "report/des.cpp",
         "ui/frame_picture.cpp", "ui/frame_rules.cpp", "ui/placement.cpp", "ui/skin_geometry.cpp",
         "app/notice_record.cpp", "app/uptime.cpp", "app/session_rules.cpp"]
ops = [(r" == ", " != "), (r" != ", " == "), (r" < ", " <= "), (r" <= ", " < "), (r" > ", " >= "),
       (r" >= ", " > "), (r" && ", " || "), (r" \|\| ", " && "), (r" \+ 1\b", ""), (r" - 1\b", ""),
       (r"\btrue\b", "false"), (r"\bfalse\b", "true")]
sites = []
for f in files:
    lines = (root / f).read_text().split("\n")
    for n, line in enumerate(lines):
        s = line.strip()
        if not s or s.startswith("//") or s.startswith("#") or s.startswith("static_assert"):
            continue
        for pat, rep in ops:
            for m in re.finditer(pat, line):
                sites.append((f, n, "op", m.start(), m.end(), rep))
        if (s.endswith(";") and not s.startswith("return") and "=" in s and not
                re.match(r"^(const |constexpr |static |auto |std::|int |bool |unsigned |double |"
                         r"[A-Z]\w*(<.*>)? \w+ ?[=({])", s)):
            sites.append((f, n, "drop", 0, 0, ""))
random.seed(2026)
random.shuffle(sites)
caught = survived = broken = 0
for f, n, kind, a, b, rep in sites:
    if caught + survived >= count:
        break
    path = root / f
    original = path.read_text()
    lines = original.split("\n")
    before = lines[n]
    lines[n] = before[:a] + rep + before[b:] if kind == "op" else ""
    path.write_text("\n".join(lines))
    try:
        build = subprocess.run(["ninja", "-C", str(root / "build/native"), "tallix_native_tests"],
                               capture_output=True, text=True)
        if build.returncode != 0:
            broken += 1
            continue
        run = subprocess.run([str(root / "build/native/tallix_native_tests")], capture_output=True,
                             text=True, timeout=300)
        ok = run.returncode != 0
    except subprocess.TimeoutExpired:
        ok = True
    finally:
        path.write_text(original)
    caught += ok
    survived += not ok
    print("%s %s:%d %s -> %s" % ("CAUGHT  " if ok else "SURVIVED", f, n + 1, before.strip(),
                                 lines[n].strip() or "(dropped)"), flush=True)
print("caught %d of %d (%.0f%%); %d faults did not compile" %
      (caught, caught + survived, 100.0 * caught / max(1, caught + survived), broken))
