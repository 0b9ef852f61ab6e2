#!/usr/bin/env bash
# Benchmark of lint: builds the publisher's tool's code with -O2 natively, without sanitizers,
# and runs tests/bench/lint_bench.cpp, which lints releases whose two upgrade manifests hold 500
# to 4,000 entries each (up to about 1 MiB), and prints the time per run and per KiB.
# Usage: scripts/bench-lint.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/bench-build.sh"
bash "$root/scripts/configure.sh" native
out="$root/build/bench-lint"
flags="-std=c++20 -O2 -DNDEBUG -Wall -Wextra -Werror -I$root -I$root/build/native/generated"
sources=("$root/tests/bench/lint_bench.cpp" "$root/tools/code_page.cpp")
for src in "$root"/tools/publish/*.cpp; do
  case "$src" in */publish_main.cpp) ;; *) sources+=("$src") ;; esac
done
mapfile -t -O ${#sources[@]} sources < <(portable_sources "$root")
bench_build "$out" lint_bench "$flags" "-lpugixml -lsqlite3 -lcrypto" "${sources[@]}"
echo "lint, native, -O2, $(nproc) cores (shared), $(date -u +%Y-%m-%d)"
"$out/lint_bench" "$@"
