#!/usr/bin/env bash
# Installs the Debian packages that building and testing the updater need, when any is missing.
# As root it runs apt-get itself; otherwise it prints the command to run.
#
# Services are never started by the install: the ClickHouse server (and any other daemon a package
# brings) runs in the tests only as a plain process on loopback ports. /usr/sbin/policy-rc.d says
# "exit 101" (no start) while apt-get runs, and whatever was there before is put back afterwards.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3 libgtest-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686 wine wine64 xvfb xauth osslsigncode fonts-wqy-zenhei
  x11-utils xdotool imagemagick openssl libpugixml-dev libsqlite3-dev libssl-dev
  libcurl4-openssl-dev
  clang libclang-rt-14-dev  # the fuzz tree: clang with libFuzzer and the sanitizers' runtimes
  chromium  # headless, for the test of the statistics page
  clickhouse-server clickhouse-client  # the statistics' column store, started by its tests
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

command="apt-get update && printf '#!/bin/sh\\nexit 101\\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root: $command" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
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
