#!/usr/bin/env bash
# Benchmark of a quiet check with nothing to do: runs "tallix.exe -keldra -silent -notice" of the
# Wine build against loopback manifests with a stub caller, alternating with a minimal program
# that only fetches the same three manifests (tests/bench/fetch_three.cpp), RUNS times each
# under the same Wine session, and prints the medians, spreads and ratios.
# Usage: scripts/bench-quiet-check.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
. "$root/scripts/wine-machine.sh"
export TALLIX_WINE_TREE=$(tallix_wine_tree)  # win32-test measures the 32-bit build
tree=$TALLIX_WINE_TREE
build="$root/build/$tree"
bash "$root/scripts/configure.sh" "$tree"
ninja -C "$build" e2e_programs fetch_three >/dev/null
echo "quiet check, $runs runs each, $tree build, Wine $(wineserver --version 2>&1 | sed -n 's/.*Wine \([0-9.]*\).*/\1/p'), $(nproc) cores (shared)"
"$root/scripts/wine-session.sh" "$build" python3 "$root/tests/bench/session_bench.py" quiet "$runs"
