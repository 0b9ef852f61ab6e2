#!/usr/bin/env bash
# Builds the updater and runs it under Wine the way the suite's main program starts it.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh || exit 1
scripts/configure.sh win64 win32 || exit 1
ninja -C build/win32 >/dev/null && echo "release build: build/win32/tallix.exe"
ninja -C build/win64 tallix >/dev/null || exit 1
echo "running: tallix.exe -keldra"
scripts/wine-session.sh build/win64 "$root/scripts/wine-run.sh" build/win64 build/win64/tallix.exe -keldra
echo "tallix.exe ended with exit code $?"
