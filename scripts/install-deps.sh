#!/usr/bin/env bash
# Installs the Debian packages that building and testing the updater need, when any is missing.
# As root it runs apt-get itself; otherwise it prints the commands to run.
#
# 32-bit Wine (wine32:i386) comes through Debian's multiarch: the i386 architecture is added first.
# With it, a 64-bit prefix runs the 32-bit updater under WOW64, as 64-bit Windows does. nginx is
# installed with service starts denied: the tests run it as a plain process on loopback ports,
# never as the system's service.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3 libgtest-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686 wine wine64 wine32:i386 xvfb xauth osslsigncode fonts-wqy-zenhei
  x11-utils xdotool imagemagick openssl libpugixml-dev libsqlite3-dev libssl-dev
  nginx-light
  clang libclang-rt-14-dev  # the fuzz tree: clang with libFuzzer and the sanitizers' runtimes
  chromium  # headless, for the test of the statistics page
  mount  # the tests that fill a disk mount a small one (tests/tools/small_disk.py)
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

need_i386=
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
install="DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root:${need_i386:+ dpkg --add-architecture i386 &&} apt-get update &&" \
       "printf 'exit 101\\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d && $install" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
[ -n "$need_i386" ] && dpkg --add-architecture i386
apt-get update -qq
# No service starts while installing (nginx would start on port 80); a rule that was there
# before is left as it was.
policy=/usr/sbin/policy-rc.d
own_policy=
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod +x "$policy"
  own_policy=1
fi
status=0
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
  >/dev/null || status=$?
[ -n "$own_policy" ] && rm -f "$policy"
exit "$status"
