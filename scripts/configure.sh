#!/usr/bin/env bash
# Configures the three build trees below build/: native (portable code and its unit tests under
# the sanitizers), win64 (runs under Wine in tests, with every server at a loopback address) and
# win32 (the release build), and fuzz (the parsers' fuzz targets, built with clang).
# Usage: scripts/configure.sh [native|win64|win32|fuzz ...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
trees=("$@")
[ ${#trees[@]} -eq 0 ] && trees=(native win64 win32 fuzz)
for tree in "${trees[@]}"; do
  case "$tree" in
    native) args=(-DCMAKE_BUILD_TYPE=Debug) ;;
    win64) args=(-DCMAKE_BUILD_TYPE=Release -DTALLIX_TEST_HOSTS=ON
                 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake") ;;
    win32) args=(-DCMAKE_BUILD_TYPE=Release
                 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake") ;;
    fuzz) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLIX_FUZZ=ON
                -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    *) echo "unknown tree $tree" >&2; exit 2 ;;
  esac
  # A tree made before an option was added gets it on the next run.
  if [ ! -f "$root/build/$tree/build.ninja" ] ||
     { [ "$tree" = win64 ] && ! grep -q '^TALLIX_TEST_HOSTS:BOOL=ON$' "$root/build/$tree/CMakeCache.txt"; }; then
    cmake -S "$root" -B "$root/build/$tree" -G Ninja "${args[@]}" >/dev/null
  fi
done
