#!/usr/bin/env python3
"""Checks a built tallix.exe without running it: its import table lists only DLLs that every
Windows has, its version resource carries the project version, (with --machine) it is built for
the named processor, and (with --max-size) the file stays within its size budget. Prints the size and the largest sections."""
import argparse
import os
import re
import struct
import subprocess
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "gdiplus.dll", "comctl32.dll", "ole32.dll",
    "oleaut32.dll", "shell32.dll", "shlwapi.dll", "advapi32.dll", "version.dll", "wininet.dll",
    "crypt32.dll", "iphlpapi.dll", "mprapi.dll", "uxtheme.dll", "dwmapi.dll", "msvcrt.dll",
    "ws2_32.dll", "wintrust.dll", "comdlg32.dll", "urlmon.dll",
}
FIXED_SIGNATURE = 0xFEEF04BD


def section_sizes(objdump_headers):
    """(name, size) of every section listed by `objdump -h`, largest first."""
    sections = []
    for line in objdump_headers.splitlines():
        fields = line.split()
        if len(fields) >= 7 and fields[0].isdigit():
            sections.append((fields[1], int(fields[2], 16)))
    return sorted(sections, key=lambda s: -s[1])


def fixed_versions(exe):
    data = open(exe, "rb").read()
    at = data.find(struct.pack("<I", FIXED_SIGNATURE))
    if at < 0:
        return None
    _sig, _struc, file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<6I", data, at)
    fmt = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return fmt(file_ms, file_ls), fmt(prod_ms, prod_ls)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--gui", action="store_true", help="expect the GUI subsystem")
    parser.add_argument("--machine", help="expected processor: i386 or x86-64")
    parser.add_argument("--max-size", type=int, help="size budget of the file in bytes")
    parser.add_argument("exe")
    args = parser.parse_args()
    failures = []
    header = subprocess.run([args.objdump, "-p", args.exe], check=True, capture_output=True,
                            text=True).stdout
    dlls = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", header)})
    print("imports:", ", ".join(dlls))
    if not dlls:
        failures.append("no import table found")
    foreign = [d for d in dlls if d not in SYSTEM_DLLS]
    if foreign:
        failures.append("imports DLLs that Windows does not ship: " + ", ".join(foreign))

    versions = fixed_versions(args.exe)
    print("version resource:", versions)
    if versions != (args.version, args.version):
        failures.append("version resource %s, expected %s" % (versions, args.version))

    machine = re.search(r"file format pei-(\S+)", header)
    print("machine:", machine.group(1) if machine else None)
    if args.machine and (not machine or machine.group(1) != args.machine):
        failures.append("built for %s, expected %s" % (machine and machine.group(1), args.machine))

    if args.gui and not re.search(r"Subsystem\s+00000002", header):
        failures.append("not a GUI-subsystem executable")

    size = os.path.getsize(args.exe)
    budget = " (budget %d, %d left)" % (args.max_size, args.max_size - size) if args.max_size else ""
    print("size: %d bytes%s" % (size, budget))
    headers = subprocess.run([args.objdump, "-h", args.exe], check=True, capture_output=True,
                             text=True).stdout
    sections = section_sizes(headers)
    print("largest sections:", ", ".join("%s %d" % s for s in sections[:5]))
    if not sections:
        failures.append("no section table found")
    if args.max_size and size > args.max_size:
        failures.append("%d bytes, over the budget of %d by %d" %
                        (size, args.max_size, size - args.max_size))

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
