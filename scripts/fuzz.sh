#!/usr/bin/env bash
# Long fuzzing runs: runs each fuzz target (all of them, or those named) for the given number of
# seconds, one after the other at the lowest CPU priority, then merges what the run found into
# the target's corpus in tests/fuzz/corpus, keeping only inputs that add coverage. Prints the
# executions and the coverage reached per target. A crash leaves its input as
# build/fuzz/runs/<target>/crash-* and stops the script with status 1.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default 600 s each)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
"$root/scripts/install-deps.sh"
"$root/scripts/configure.sh" fuzz
ninja -C "$root/build/fuzz" >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$root"/tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
for target in "${targets[@]}"; do
  corpus="$root/tests/fuzz/corpus/$target"
  work="$root/build/fuzz/runs/$target"
  rm -rf "$work"
  mkdir -p "$work/found" "$corpus"
  # Manifests and release indexes need room for a few entries, log lines for a report or two and a
  # line over the reader's limit; every other input is a line, a record or a header.
  max_len=1024
  case "$target" in fuzz_manifest | fuzz_publish_log_line | fuzz_release_index) max_len=4096 ;; esac
  echo "== $target: ${seconds}s"
  # New inputs go to a scratch folder first; the corpus folder is read as seeds.
  if ! (cd "$work" && nice -n 19 "$root/build/fuzz/$target" -max_total_time="$seconds" \
          -max_len="$max_len" -print_final_stats=1 -close_fd_mask=1 found "$corpus" >run.log 2>&1); then
    grep -E 'ERROR|property failed|runtime error|SUMMARY' "$work/run.log" | head -n 5
    echo "== $target: crashed; input kept in $work"
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' "$work/run.log" | tail -n 2
  # The corpus becomes its named seeds and regression inputs plus the fewest other inputs, old
  # or new, that cover what all of them cover.
  mkdir -p "$work/merged"
  find "$corpus" -type f \( -name 'seed-*' -o -name 'regression-*' \) -exec cp {} "$work/merged/" \;
  (cd "$work" && nice -n 19 "$root/build/fuzz/$target" -merge=1 -max_len="$max_len" merged \
     "$corpus" found >merge.log 2>&1)
  rm -rf "$corpus"
  cp -r "$work/merged" "$corpus"
  echo "$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$work/run.log" | tail -n 1)," \
       "corpus $(ls "$corpus" | wc -l) files"
done
