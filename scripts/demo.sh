#!/usr/bin/env bash
# The demo: builds the updater (the 32-bit release, and the build with loopback hosts that runs
# under Wine: scripts/wine-machine.sh), serves the bundled sample manifests and a package from
# loopback servers, and runs a whole update session the way the suite's tray companion starts one
# ("tallix.exe -pinnace") while that program runs: the offer, a click, the download, the
# replacement of the running program, its restart and the window closing. Pictures of each stage
# go to build/<Wine tree>/demo (window.png is the offer); the versions on disk are printed before
# and after. Last, a check by the main program is closed by its caller, and the usage report that
# the close sends is shown decoded.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh || exit 1
. scripts/wine-machine.sh
tree=$(tallix_wine_tree)
scripts/configure.sh "$tree" win32 || exit 1
ninja -C build/win32 tallix >/dev/null || exit 1
echo "release build: build/win32/tallix.exe"
ninja -C "build/$tree" >/dev/null || exit 1
# The publisher's decoder of the usage reports, which the demo shows on the report it produces.
scripts/configure.sh native && ninja -C build/native report_decoder >/dev/null || exit 1
exec scripts/wine-session.sh "build/$tree" bash "$root/scripts/demo-session.sh" "build/$tree"
