#!/usr/bin/env bash
# Benchmark of lint: builds the publisher's tool's code with -O2 natively, without sanitizers,
# and runs tests/bench/lint_bench.cpp, which lints releases whose two upgrade manifests hold 500
# to 4,000 entries each (up to about 1 MiB), and prints the time per run and per KiB.
# Usage: scripts/bench-lint.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/configure.sh" native
out="$root/build/bench-lint"
mkdir -p "$out"
cxx=(g++)
command -v ccache >/dev/null && cxx=(ccache g++)
flags=(-std=c++20 -O2 -DNDEBUG -Wall -Wextra -Werror -I"$root" -I"$root/build/native/generated")
sources=("$root/tests/bench/lint_bench.cpp" "$root/tools/code_page.cpp")
for src in "$root"/tools/publish/*.cpp; do
  case "$src" in */publish_main.cpp) ;; *) sources+=("$src") ;; esac
done
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
printf '%s\n' "${pairs[@]}" | xargs -n2 -P2 sh -c "${cxx[*]} ${flags[*]} -c \"\$0\" -o \"\$1\""
"${cxx[@]}" "${objects[@]}" -lpugixml -lsqlite3 -lcrypto -o "$out/lint_bench"
echo "lint, native, -O2, $(nproc) cores (shared), $(date -u +%Y-%m-%d)"
"$out/lint_bench" "$@"
