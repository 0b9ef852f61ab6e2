#!/usr/bin/env bash
# Benchmark of the update decision: builds the portable code with the release's optimisation
# (-Os) natively, without sanitizers, and runs tests/bench/decision_bench.cpp, which reads
# upgrade manifests of 500, 5,000 and 50,000 entries with dependencies and decides them, and
# prints the time per run and per entry. Usage: scripts/bench-decision.sh [ROUNDS_SCALE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/configure.sh" native
source "$root/scripts/bench-build.sh"
out="$root/build/bench-decision"
mapfile -t sources < <(portable_sources "$root")
bench_build "$out" decision_bench \
  "-std=c++20 -Os -DNDEBUG -Wall -Wextra -Werror -I$root -I$root/build/native/generated" "" \
  "$root/tests/bench/decision_bench.cpp" "${sources[@]}"
echo "update decision, native, -Os, $(nproc) cores (shared), $(date -u +%Y-%m-%d)"
"$out/decision_bench" "$@"
