#!/usr/bin/env bash
# Builds every tree and runs every test: the native unit tests, the Windows tests under Wine (on
# the 32-bit build with the test hosts, or where this machine cannot run 32-bit programs on the
# x86_64 one: scripts/wine-machine.sh), the checks of both Windows executables and the replay of
# every fuzz target's corpus. Ends with one summary line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh || exit 1
. scripts/wine-machine.sh
wine_tree=$(tallix_wine_tree)
if [ "$wine_tree" != win32-test ]; then
  echo "== this machine cannot run 32-bit Windows programs (no 32-bit Wine, or a kernel without"
  echo "   32-bit code): the Wine tests run the $wine_tree build instead of the 32-bit one"
fi
scripts/configure.sh native "$wine_tree" win32 fuzz || exit 1

passed=0
failed=0
status=0
# Runs ctest in one tree (through the given wrapper) and adds its counts to the totals.
run_ctest() {
  local tree=$1
  shift
  local log="build/$tree/ctest.log"
  (cd "build/$tree" && "$@" ctest --output-on-failure --timeout 600) 2>&1 | tee "$log"
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [ -z "$line" ]; then
    echo "== $tree: ctest gave no result"
    failed=$((failed + 1))
    status=1
    return
  fi
  local f t
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + t - f))
  failed=$((failed + f))
  [ "$f" -eq 0 ] || status=1
}

for tree in native "$wine_tree" win32 fuzz; do
  echo "== building $tree"
  if ! ninja -C "build/$tree" >"build/$tree.build.log" 2>&1; then
    tail -n 60 "build/$tree.build.log"
    echo "== $tree: build failed"
    failed=$((failed + 1))
    status=1
    continue
  fi
  case "$tree" in
    "$wine_tree") run_ctest "$tree" "$root/scripts/wine-session.sh" "$root/build/$tree" ;;
    *) run_ctest "$tree" ;;
  esac
done

echo
echo "summary: $passed passed, $failed failed"
exit "$status"
