#!/usr/bin/env bash
# Benchmark of the updater's memory: the peak working set, as GetProcessMemoryInfo reports it to
# an observer program (tests/bench/memory_observer.cpp), of a quiet check and of a silent session
# for a caller that downloads a package of SIZE_MB (200 by default) from loopback.
# Usage: scripts/bench-memory.sh [SIZE_MB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-200}
. "$root/scripts/wine-machine.sh"
export TALLIX_WINE_TREE=$(tallix_wine_tree)  # win32-test measures the 32-bit build
tree=$TALLIX_WINE_TREE
build="$root/build/$tree"
bash "$root/scripts/configure.sh" "$tree"
ninja -C "$build" e2e_programs memory_observer >/dev/null
echo "memory, package of ${size_mb} MB, $tree build, Wine $(wineserver --version 2>&1 | sed -n 's/.*Wine \([0-9.]*\).*/\1/p')"
"$root/scripts/wine-session.sh" "$build" python3 "$root/tests/bench/session_bench.py" memory "$size_mb"
