#!/usr/bin/env bash
# Installs the Debian packages that building and testing the updater need, when any is missing.
# As root it runs apt-get itself; otherwise it prints the command to run.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3 libgtest-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686 wine wine64 xvfb xauth osslsigncode fonts-wqy-zenhei
  x11-utils xdotool imagemagick openssl libpugixml-dev libsqlite3-dev libssl-dev
  clang libclang-rt-14-dev  # the fuzz tree: clang with libFuzzer and the sanitizers' runtimes
  mount  # the tests that fill a disk mount a small one (tests/tools/small_disk.py)
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

command="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root: $command" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
