#!/usr/bin/env bash
# Builds every tree and runs every test: the native unit tests, the Windows tests under Wine (on
# the build with the test hosts that scripts/wine-machine.sh chooses), the checks of the Windows
# executables and the replay of every fuzz target's corpus. Ends with one summary line.
#
# The Wine tests take most of the time and spend much of it waiting (for windows, time-outs and
# paced downloads), so they run beside the rest: the publisher's tool of the native tree (which
# the plan and release scenarios run) and the Wine tree are built first, then the Wine tests
# start, and the rest of the native tree, the release tree and the fuzz tree are built and run
# meanwhile at the lowest priority, so that the sessions under Wine keep the processor when they
# need it.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh || exit 1
. scripts/wine-machine.sh
wine_tree=$(tallix_wine_tree)
if [ "$wine_tree" = win32-test ] && ! tallix_wine32_runs; then
  echo "== this machine cannot run 32-bit Windows programs (no 32-bit Wine, or a kernel without"
  echo "   32-bit code): TALLIX_WINE_TREE=win32-test cannot run here"
  exit 1
fi
echo "== the Wine tests run the $wine_tree build (TALLIX_WINE_TREE=win32-test: the 32-bit one)"
trees=(native "$wine_tree" win32 fuzz)
scripts/configure.sh "${trees[@]}" || exit 1

# Builds one tree, or the given targets of it; its output goes to build/TREE.build.log, the end of
# it to the screen on failure.
build() {
  local tree=$1
  shift
  echo "== building $tree${1:+ ($*)}"
  if ! ninja -C "build/$tree" "$@" >>"build/$tree.build.log" 2>&1; then
    tail -n 60 "build/$tree.build.log"
    echo "== $tree: build failed"
    return 1
  fi
}

# Runs ctest in one tree (through the given wrapper) into build/TREE/ctest.log.
run_ctest() {
  local tree=$1
  shift
  (cd "build/$tree" && "$@" ctest --output-on-failure --timeout 600) >"build/$tree/ctest.log" 2>&1
}

for tree in "${trees[@]}"; do
  rm -f "build/$tree/ctest.log" "build/$tree.build.log"
done
build native tallix-publish
# The Wine tests run in a process group of their own, which is ended with this script when it is
# stopped before they are.
wine_pid=
trap '[ -n "$wine_pid" ] && kill -- "-$wine_pid" 2>/dev/null; exit 130' INT TERM
if build "$wine_tree"; then
  setsid bash -c "$(declare -f run_ctest); run_ctest $(printf '%q ' "$wine_tree" \
    "$root/scripts/wine-session.sh" "$root/build/$wine_tree")" &
  wine_pid=$!
fi
# A tree that does not build runs no tests, so it has no result and counts as failed below.
for tree in native win32 fuzz; do
  if ! nice -n 19 bash -c "$(declare -f build); build $tree"; then
    continue
  fi
  nice -n 19 bash -c "$(declare -f run_ctest); run_ctest $tree"
  cat "build/$tree/ctest.log"
done
if [ -n "$wine_pid" ]; then
  echo "== waiting for the Wine tests ($wine_tree)"
  wait "$wine_pid"
  wine_pid=
  cat "build/$wine_tree/ctest.log"
fi

# The counts of every tree; a tree that built nothing or gave no result counts as one failure.
passed=0
failed=0
for tree in "${trees[@]}"; do
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' \
         "build/$tree/ctest.log" 2>/dev/null | tail -n1)
  if [ -z "$line" ]; then
    echo "== $tree: no test result"
    failed=$((failed + 1))
    continue
  fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + t - f))
  failed=$((failed + f))
done

echo
echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
