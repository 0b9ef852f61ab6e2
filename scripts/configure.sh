#!/usr/bin/env bash
# Configures the build trees below build/: native (portable code and its unit tests under the
# sanitizers), win32 (the release build), win32-test (the release build with every server at a
# loopback address: the tree that runs under Wine in the tests, the demo and the benchmarks),
# win64 (the same for x86_64, run under Wine only where the machine cannot run 32-bit programs:
# see scripts/wine-env.sh) and fuzz (the parsers' fuzz targets, built with clang).
# Usage: scripts/configure.sh [native|win32|win32-test|win64|fuzz ...]
# Without arguments: native, the Wine test tree of this machine, win32 and fuzz.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-machine.sh"
trees=("$@")
[ ${#trees[@]} -eq 0 ] && trees=(native "$(tallix_wine_tree)" win32 fuzz)
toolchain="$root/cmake/toolchain"
for tree in "${trees[@]}"; do
  case "$tree" in
    native) args=(-DCMAKE_BUILD_TYPE=Debug) ;;
    win32) args=(-DCMAKE_BUILD_TYPE=Release
                 -DCMAKE_TOOLCHAIN_FILE="$toolchain-i686-w64-mingw32.cmake") ;;
    # The same compiler, flags and size rules as the release; only the host values differ.
    win32-test) args=(-DCMAKE_BUILD_TYPE=Release -DTALLIX_TEST_HOSTS=ON
                      -DCMAKE_TOOLCHAIN_FILE="$toolchain-i686-w64-mingw32.cmake") ;;
    win64) args=(-DCMAKE_BUILD_TYPE=Release -DTALLIX_TEST_HOSTS=ON
                 -DCMAKE_TOOLCHAIN_FILE="$toolchain-x86_64-w64-mingw32.cmake") ;;
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
