#!/usr/bin/env bash
# The demo's steps inside one Wine session (see demo.sh): a whole update session. The tray
# companion "pinnace" 2.1.0.0 runs with its window; it starts the updater as "tallix.exe -pinnace";
# the window offers 2.1.0.1, the main button is clicked, the package is downloaded, the running
# program is closed and replaced, started again with "/fromtallix", and the window closes. A
# picture of each stage is saved in BUILD_DIR/demo. Usage: demo-session.sh BUILD_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
demo="$build/demo"
run() { "$root/scripts/wine-run.sh" "$build" "$@"; }
probe() { run "$build/e2e-stubs/probe.exe" "$@"; }
shot() {  # name [crop]
  import-im6.q16 -window root "$demo/screen.png" 2>/dev/null || return 0
  if [ -n "${2:-}" ]; then
    convert-im6.q16 "$demo/screen.png" -crop "$2" +repage "$demo/$1" 2>/dev/null
  else
    cp "$demo/screen.png" "$demo/$1"
  fi
  echo "  picture: $demo/$1"
}
version() {  # the product version of the version resource
  python3 -c 'import struct,sys
d=open(sys.argv[1],"rb").read(); a=d.find(struct.pack("<I",0xFEEF04BD))
ms,ls=struct.unpack_from("<2I",d,a+16); print("%d.%d.%d.%d"%(ms>>16,ms&65535,ls>>16,ls&65535))' "$1"
}
versions() {
  for program in tallix keldra pinnace; do
    printf '  %-12s %s\n' "$program.exe" "$(version "$demo/suite/$program.exe")"
  done
}

rm -rf "$demo"
mkdir -p "$demo/suite" "$demo/state"
# The manifests are UTF-8 with a byte-order mark, as the publisher serves them.
cp -r "$root/demo/manifests" "$demo/root"
tallix_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
sed -i "s/@TALLIX_VERSION@/$tallix_version/" "$demo/root/keldra/upgrade.xml"
cp "$build/stubs/running-pinnace-2.1.0.1/pinnace.exe" "$demo/root/keldra/pinnace.exe"
# The package arrives at a steady pace, in about six seconds (within the test build's wait of
# eight), so that the download picture shows the bar part way.
size=$(stat -c %s "$demo/root/keldra/pinnace.exe")
printf '{"/keldra/pinnace.exe": {"answer": "rate", "bytes_per_second": %d}}\n' \
  $((size / 6 + 1)) >"$demo/root/_rules.json"
cp "$build/tallix.exe" "$demo/suite/"
cp "$build/stubs/keldra-5.9.2.1/keldra.exe" "$demo/suite/"
# The stand-in for the tray companion shows a small window: its product name, version and switches.
cp "$build/stubs/running-pinnace-2.1.0.0/pinnace.exe" "$demo/suite/"
echo _Pinnace >"$demo/suite/pinnace.exe.class"
touch "$demo/suite/pinnace.exe.visible"
port=$(sed -n 's/^TALLIX_TEST_PORT_BASE:STRING=//p' "$build/CMakeCache.txt")
python3 "$root/tests/servers/loopback_server.py" start --state-dir "$demo/state" \
  --root "$demo/root" --port "$port" --port "$((port + 1))" --port "$((port + 2))" || exit 1
# The sibling product fennick, one release behind (the manifest offers 1.0.0.1).
fennick_key='HKCU\Software\Orvane\Fennick3'
mkdir -p "$demo/fennick"
cp "$build/stubs/fennick-1.0.0.0/fennick.exe" "$demo/fennick/"
run reg add "$fennick_key" /v Install_Dir /d "Z:$(tr / '\\' <<<"$demo/fennick/")" /f >/dev/null
trap 'python3 "$root/tests/servers/loopback_server.py" stop --state-dir "$demo/state"
      run reg delete "$fennick_key" /f >/dev/null' EXIT

echo "versions before:"
versions
TALLIX_WINE_TIMEOUT=150 run "$demo/suite/pinnace.exe" &
probe wait _Pinnace 30000 visible >/dev/null

echo "1. the tray companion starts the check: tallix.exe -pinnace"
TALLIX_WINE_TIMEOUT=120 run "$demo/suite/tallix.exe" -pinnace &
updater=$!
window=$(probe wait _tallix_orvane 30000 visible)
echo "  window: $window"
sleep 1
# The window and its shadow: 7 pixels around the frame's rectangle.
crop=$(python3 -c 'import json,sys; l,t,r,b=json.loads(sys.argv[1])["rect"]; print("%dx%d+%d+%d" % (r-l+14, b-t+14, max(l-7,0), max(t-7,0)))' "$window" 2>/dev/null)
shot 1-offer.png
convert-im6.q16 "$demo/1-offer.png" -crop "${crop:-394x189+0+0}" +repage "$demo/window.png" 2>/dev/null

echo "2. a click on the main button starts the download"
button=$(python3 -c 'import json,sys; l,t,r,b=json.loads(sys.argv[1])["rect"]; print(l+190, t+77)' "$window")
probe click $button >/dev/null
# Half way through the transfer (the downloader reads blocks of 8 KiB, so the bar moves on in
# steps of a few seconds).
for _ in $(seq 100); do
  grep -q '"/keldra/pinnace.exe' "$demo/state/requests.jsonl" && break
  sleep 0.1
done
sleep 3.5
shot 2-download.png

echo "3. the package is installed over the running program, which starts again; the window closes"
wait "$updater"
echo "  tallix.exe ended with exit code $?"
sleep 1
probe wait _Pinnace 20000 visible >/dev/null
sleep 2
shot 3-restarted.png

echo "versions after:"
versions
echo "starts of pinnace.exe (its own log):"
iconv -f UTF-16LE -t UTF-8 "$demo/suite/pinnace.exe.log" | tr -d '\r' | sed 's/^/  /'
echo "requests the updater made:"
sed 's/^/  /' "$demo/state/requests.jsonl"

echo "4. the main program's check (tallix.exe -keldra) is closed by its caller; the close sends the"
echo "   sibling report for fennick"
TALLIX_WINE_TIMEOUT=120 run "$demo/suite/tallix.exe" -keldra &
updater=$!
probe wait _tallix_orvane 30000 visible >/dev/null
probe notice _tallix_orvane 4 >/dev/null
wait "$updater"
echo "  tallix.exe ended with exit code $?"
echo "usage reports the statistics host received, decoded with the publisher's report_decoder:"
"$root/build/native/report_decoder" "$demo/state/requests.jsonl" | sed 's/^/  /'
