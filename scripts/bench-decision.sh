#!/usr/bin/env bash
# Benchmark of the update decision: builds the portable code with the release's optimisation
# (-Os) natively, without sanitizers, and runs tests/bench/decision_bench.cpp, which reads
# upgrade manifests of 500, 5,000 and 50,000 entries with dependencies and decides them, and
# prints the time per run and per entry. Usage: scripts/bench-decision.sh [ROUNDS_SCALE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/configure.sh" native
out="$root/build/bench-decision"
mkdir -p "$out"
cxx=(g++)
command -v ccache >/dev/null && cxx=(ccache g++)
flags=(-std=c++20 -Os -DNDEBUG -Wall -Wextra -Werror -I"$root" -I"$root/build/native/generated")
sources=("$root/tests/bench/decision_bench.cpp")
for dir in base app ui manifest download trust apply report; do
  for src in "$root/$dir"/*.cpp; do
    case "$src" in *_win.cpp) ;; *) sources+=("$src") ;; esac
  done
done
objects=()
pairs=()
for src in "${sources[@]}"; do
  obj="$out/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
  objects+=("$obj")
  pairs+=("$src" "$obj")
done
# Every source is compiled each time (ccache makes a repeat cheap), so a changed header counts.
printf '%s\n' "${pairs[@]}" | xargs -n2 -P2 sh -c "${cxx[*]} ${flags[*]} -c \"\$0\" -o \"\$1\""
"${cxx[@]}" "${objects[@]}" -o "$out/decision_bench"
echo "update decision, native, -Os, $(nproc) cores (shared), $(date -u +%Y-%m-%d)"
"$out/decision_bench" "$@"
