#!/usr/bin/env python3
"""A small disk for the tests that fill one: a size-limited tmpfs mounted on a test's folder.

    small_disk.py mount DIR SIZE    mounts a tmpfs of SIZE bytes on DIR (made when missing)
    small_disk.py unmount DIR       unmounts what this script mounted on DIR

Mounting needs root (CI runs the tests as root on a fresh machine). Where it is not allowed the
mount fails with a message that says so and exit status 1: the tests that need the small disk
then fail, they are never skipped. Only a tmpfs whose source is named "tallix-small-disk" is
ever unmounted; one that is busy is detached lazily.
"""
import os
import subprocess
import sys

SOURCE = "tallix-small-disk"


def mounted(path):
    """True when a small disk of this script is mounted on `path`."""
    with open("/proc/self/mounts", encoding="utf-8") as f:
        return any(line.split()[:2] == [SOURCE, os.path.realpath(path)] for line in f)


def mount(path, size):
    """Mounts a tmpfs of `size` bytes (rounded up to whole pages by the kernel) on `path`."""
    os.makedirs(path, exist_ok=True)
    if mounted(path):
        unmount(path)
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d,mode=0755" % size, SOURCE,
                             path], capture_output=True, text=True, timeout=30)
    if result.returncode != 0 or not mounted(path):
        raise RuntimeError("cannot mount a small disk on %s (%s): the tests that fill a disk "
                           "need root and permission to mount a tmpfs"
                           % (path, (result.stderr or result.stdout).strip()))


def unmount(path):
    """Unmounts the small disk on `path`, detaching it when something still uses it."""
    path = os.path.realpath(path)
    while mounted(path):
        if subprocess.run(["umount", path], capture_output=True, timeout=30).returncode != 0:
            subprocess.run(["umount", "-l", path], capture_output=True, timeout=30)
            if mounted(path):
                raise RuntimeError("cannot unmount the small disk on %s" % path)


def main():
    try:
        if len(sys.argv) == 4 and sys.argv[1] == "mount":
            mount(sys.argv[2], int(sys.argv[3]))
        elif len(sys.argv) == 3 and sys.argv[1] == "unmount":
            unmount(sys.argv[2])
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except (RuntimeError, OSError, subprocess.SubprocessError) as error:
        print("small_disk: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
