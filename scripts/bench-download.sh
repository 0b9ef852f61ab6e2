#!/usr/bin/env bash
# Benchmark of the downloader: serves a 200 MB file from the loopback server and runs
# download_bench.exe under Wine, which downloads it with a bare WinINet 8 KiB loop and with
# PLDownloader (its status object without a window, then sending progress messages to one) and
# prints the three throughputs and their ratios; then the same size through the real tallix.exe,
# with its window shown and in a silent run for a caller, timed from the first request of the
# package to its rename (tests/bench/session_bench.py), with their ratios to the bare loop.
# The Wine build gives up on a package after 8 seconds (TALLIX_DOWNLOAD_WAIT_MS), so the real
# program gets a smaller package, REAL_MB (48 by default).
# Usage: scripts/bench-download.sh [SIZE_MB] [ROUNDS] [REAL_MB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-200}
rounds=${2:-2}
real_mb=${3:-48}
. "$root/scripts/wine-machine.sh"
export TALLIX_WINE_TREE=$(tallix_wine_tree)  # win32-test measures the 32-bit build
tree=$TALLIX_WINE_TREE
build="$root/build/$tree"
bash "$root/scripts/configure.sh" "$tree"
ninja -j2 -C "$build" download_bench e2e_programs >/dev/null

work="$build/bench"
mkdir -p "$work/root"
file="$work/root/bench.bin"
if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -ne $((size_mb * 1048576)) ]; then
  head -c $((size_mb * 1048576)) /dev/urandom >"$file"
fi
# A port of this tree's range that the tests leave free (base + 5).
port=$(sed -n 's/^TALLIX_TEST_PORT_BASE:STRING=//p' "$build/CMakeCache.txt")
port=$((port + 5))
server="$root/tests/servers/loopback_server.py"
python3 "$server" start --state-dir "$work/state" --root "$work/root" --port "$port" >/dev/null
trap 'python3 "$server" stop --state-dir "$work/state" >/dev/null' EXIT
echo "file: ${size_mb} MB from http://127.0.0.1:$port/bench.bin, $rounds rounds"
out="$work/download_bench.out"
"$root/scripts/wine-session.sh" "$build" "$root/scripts/wine-run.sh" "$build" \
  "$build/download_bench.exe" "http://127.0.0.1:$port/bench.bin" "$rounds" | tee "$out"
bare=$(sed -n 's/^bare WinINet 8 KiB loop: \([0-9.]*\) MB\/s.*/\1/p' "$out")
"$root/scripts/wine-session.sh" "$build" python3 "$root/tests/bench/session_bench.py" download \
  "$real_mb" "$rounds" "${bare:-0}"
