#!/usr/bin/env bash
# Benchmark of the downloader: serves a 200 MB file from the loopback server and runs
# download_bench.exe under Wine, which downloads it with a bare WinINet 8 KiB loop and with
# PLDownloader (its status object without a window, then sending progress messages to one) and
# prints the three throughputs and their ratios. Usage: scripts/bench-download.sh [SIZE_MB] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-200}
rounds=${2:-2}
build="$root/build/win64"
bash "$root/scripts/configure.sh" win64
ninja -j2 -C "$build" download_bench >/dev/null

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
"$root/scripts/wine-session.sh" "$build" "$root/scripts/wine-run.sh" "$build" \
  "$build/download_bench.exe" "http://127.0.0.1:$port/bench.bin" "$rounds"
