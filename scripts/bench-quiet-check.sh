#!/usr/bin/env bash
# Benchmark of a quiet check with nothing to do: runs "tallix.exe -keldra -silent -notice" of the
# Wine build against loopback manifests with a stub caller, alternating with a minimal program
# that only fetches the same three manifests (tests/bench/fetch_three.cpp), RUNS times each
# under the same Wine session, and prints the medians, spreads and ratios.
# Usage: scripts/bench-quiet-check.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
build="$root/build/win64"
bash "$root/scripts/configure.sh" win64
ninja -C "$build" e2e_programs fetch_three >/dev/null
echo "quiet check, $runs runs each, Wine $(wine --version 2>/dev/null | sed 's/wine-//'), $(nproc) cores (shared)"
"$root/scripts/wine-session.sh" "$build" python3 "$root/tests/bench/session_bench.py" quiet "$runs"
