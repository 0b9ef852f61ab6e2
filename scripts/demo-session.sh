#!/usr/bin/env bash
# The demo's steps inside one Wine session (see demo.sh).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win64"
demo="$build/demo"

rm -rf "$demo"
mkdir -p "$demo/suite" "$demo/state"
# The manifests are UTF-8 with a byte-order mark, as the publisher serves them.
cp -r "$root/demo/manifests" "$demo/root"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
sed -i "s/@TALLIX_VERSION@/$version/" "$demo/root/keldra/upgrade.xml"
cp "$build/tallix.exe" "$demo/suite/"
cp "$build/stubs/keldra-5.9.2.1/keldra.exe" "$demo/suite/"
port=$(sed -n 's/^TALLIX_TEST_PORT_BASE:STRING=//p' "$build/CMakeCache.txt")
python3 "$root/tests/servers/loopback_server.py" start --state-dir "$demo/state" \
  --root "$demo/root" --port "$port" || exit 1
trap 'python3 "$root/tests/servers/loopback_server.py" stop --state-dir "$demo/state"' EXIT
# The sibling product fennick, one release behind (the manifest offers 1.0.0.1): closing the
# window sends its usage report to the statistics host, which listens on the base port + 2.
fennick_key='HKCU\Software\Orvane\Fennick3'
mkdir -p "$demo/fennick" "$demo/statistics"
cp "$build/stubs/fennick-1.0.0.0/fennick.exe" "$demo/fennick/"
"$root/scripts/wine-run.sh" "$build" reg add "$fennick_key" /v Install_Dir \
  /d "Z:$(tr / '\\' <<<"$demo/fennick/")" /f >/dev/null
python3 "$root/tests/servers/loopback_server.py" start --state-dir "$demo/statistics" \
  --root "$demo/root" --port $((port + 2)) >/dev/null || exit 1
trap 'python3 "$root/tests/servers/loopback_server.py" stop --state-dir "$demo/state"
      python3 "$root/tests/servers/loopback_server.py" stop --state-dir "$demo/statistics"
      "$root/scripts/wine-run.sh" "$build" reg delete "$fennick_key" /f >/dev/null' EXIT

echo "running: tallix.exe -keldra (main program 5.9.2.1 installed, 5.9.3.0 offered)"
TALLIX_WINE_TIMEOUT=120 "$root/scripts/wine-run.sh" "$build" "$demo/suite/tallix.exe" -keldra &
updater=$!
window=$("$root/scripts/wine-run.sh" "$build" "$build/e2e-stubs/probe.exe" wait _tallix_orvane 30000 visible)
echo "window: $window"
sleep 1
# The window and its shadow: 7 pixels around the frame's rectangle.
crop=$(python3 -c 'import json,sys; l,t,r,b=json.loads(sys.argv[1])["rect"]; print("%dx%d+%d+%d" % (r-l+14, b-t+14, max(l-7,0), max(t-7,0)))' "$window" 2>/dev/null)
import-im6.q16 -window root "$demo/screen.png" 2>/dev/null &&
  convert-im6.q16 "$demo/screen.png" -crop "${crop:-394x189+0+0}" +repage "$demo/window.png" 2>/dev/null &&
  echo "picture of the window: $demo/window.png"
echo "requests the updater made:"
sed 's/^/  /' "$demo/state/requests.jsonl"
"$root/scripts/wine-run.sh" "$build" "$build/e2e-stubs/probe.exe" notice _tallix_orvane 4 >/dev/null
wait "$updater"
echo "tallix.exe ended with exit code $?"
echo "usage reports the statistics host received, decoded with the publisher's report_decoder:"
"$root/build/native/report_decoder" "$demo/statistics/requests.jsonl" | sed 's/^/  /'
