#!/usr/bin/env bash
# Installs the Debian packages that building and testing the updater need, when any is missing.
# As root it runs apt-get itself; otherwise it prints the commands to run.
#
# 32-bit Wine (wine32:i386) is installed when the Wine tests run the 32-bit build
# (scripts/wine-machine.sh). It comes through Debian's multiarch: the i386 architecture is added
# first. With it, a 64-bit prefix runs the 32-bit updater under WOW64, as 64-bit Windows does.
#
# Services are never started by the install: nginx and the ClickHouse server (and any other daemon
# a package brings) run in the tests only as plain processes on loopback ports.
# /usr/sbin/policy-rc.d says "exit 101" (no start) while apt-get runs, and whatever was there
# before is put back afterwards.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3 libgtest-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686 wine wine64 xvfb xauth osslsigncode fonts-wqy-zenhei
  x11-utils xdotool imagemagick openssl libpugixml-dev libsqlite3-dev libssl-dev
  libcurl4-openssl-dev
  nginx-light
  clang libclang-rt-14-dev  # the fuzz tree: clang with libFuzzer and the sanitizers' runtimes
  chromium  # headless, for the test of the statistics page
  mount  # the tests that fill a disk mount a small one (tests/tools/small_disk.py)
  clickhouse-server clickhouse-client  # the statistics' column store, started by its tests
)
. "$(dirname "${BASH_SOURCE[0]}")/wine-machine.sh"
[ "$(tallix_wine_tree)" = win32-test ] && packages+=(wine32:i386)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

need_i386=
if [[ " ${missing[*]} " == *":i386 "* ]]; then
  dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
fi
install="DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root:${need_i386:+ dpkg --add-architecture i386 &&} apt-get update &&" \
       "printf '#!/bin/sh\\nexit 101\\n' >/usr/sbin/policy-rc.d &&" \
       "chmod +x /usr/sbin/policy-rc.d && $install" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
[ -n "$need_i386" ] && dpkg --add-architecture i386
apt-get update -qq

policy=/usr/sbin/policy-rc.d
saved=$(mktemp)
had_policy=
[ -e "$policy" ] && cp -p "$policy" "$saved" && had_policy=1
restore_policy() {
  if [ -n "$had_policy" ]; then mv -f "$saved" "$policy"; else rm -f "$policy" "$saved"; fi
}
trap restore_policy EXIT
printf '#!/bin/sh\nexit 101\n' >"$policy"
chmod 755 "$policy"
# The packaged service's command line; the tests' servers run with configurations of their own.
service=/etc/clickhouse-server/config.xml
daemons_before=$(pgrep -f -- "--config=$service" || true)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
daemons_after=$(pgrep -f -- "--config=$service" || true)
if [ "$daemons_after" != "$daemons_before" ]; then
  echo "a clickhouse-server was started by the install (PIDs: $daemons_after); stop it" >&2
  exit 1
fi
