#!/usr/bin/env bash
# The demo: builds the updater (the 32-bit release and the 64-bit build that runs here under
# Wine), serves the bundled sample manifests from a loopback server, and runs a real update check
# the way the suite's main program starts one ("tallix.exe -keldra") in a suite folder whose main
# program is one release behind. The window that offers the update is photographed to
# build/win64/demo/window.png, then the updater is told to close as its caller would.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh || exit 1
scripts/configure.sh win64 win32 || exit 1
ninja -C build/win32 tallix >/dev/null || exit 1
echo "release build: build/win32/tallix.exe"
ninja -C build/win64 >/dev/null || exit 1
# The publisher's decoder of the usage reports, which the demo shows on the report it produces.
scripts/configure.sh native && ninja -C build/native report_decoder >/dev/null || exit 1
exec scripts/wine-session.sh build/win64 bash "$root/scripts/demo-session.sh"
