#!/usr/bin/env bash
# Benchmark of the updater's memory: the peak working set, as GetProcessMemoryInfo reports it to
# an observer program (tests/bench/memory_observer.cpp), of a quiet check and of a silent session
# for a caller that downloads a package of SIZE_MB (200 by default) from loopback.
# Usage: scripts/bench-memory.sh [SIZE_MB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-200}
build="$root/build/win64"
bash "$root/scripts/configure.sh" win64
ninja -C "$build" e2e_programs memory_observer >/dev/null
echo "memory, package of ${size_mb} MB, Wine $(wine --version 2>/dev/null | sed 's/wine-//')"
"$root/scripts/wine-session.sh" "$build" python3 "$root/tests/bench/session_bench.py" memory "$size_mb"
