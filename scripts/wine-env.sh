# Sourced by the Wine scripts: the environment of every Wine call for one build tree.
# Usage: . scripts/wine-env.sh BUILD_DIR
#
# The tree's prefix is a 64-bit one with its 32-bit side (syswow64), as 64-bit Windows is: the
# 32-bit programs run there under WOW64. With TALLIX_WINEARCH=win32 the tree's second prefix is
# used instead, a plain 32-bit system without WOW64.

. "$(dirname "${BASH_SOURCE[0]}")/wine-machine.sh"

tallix_build=$(cd "$1" && pwd)
if [ "${TALLIX_WINEARCH:-win64}" = win32 ]; then
  export WINEPREFIX="$tallix_build/wineprefix-win32"
  export WINEARCH=win32
else
  export WINEPREFIX="$tallix_build/wineprefix"
  export WINEARCH=win64
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export XDG_DATA_HOME="$tallix_build/xdg/data"
export XDG_CONFIG_HOME="$tallix_build/xdg/config"
export XDG_CACHE_HOME="$tallix_build/xdg/cache"
# Whether the tree's programs are 32-bit ones, which need the prefix's 32-bit side.
tallix_tree_is_32bit() {
  [ "$(basename "$tallix_build")" = win32-test ] || [ "$WINEARCH" = win32 ]
}
# Debian's "wine" starts the 32-bit loader whenever it is installed, which then hands 64-bit
# programs to the 64-bit one. A tree of 64-bit programs, and a machine where the 32-bit loader
# cannot run, call the 64-bit loader directly, and it starts the processes that the programs
# start too; so the x86_64 tree runs the same way whether or not 32-bit Wine is installed.
if [ -z "${WINE_BIN:-}" ]; then
  if [ -x "$tallix_wine64_loader" ] && { ! tallix_tree_is_32bit || ! tallix_wine32_runs; }; then
    export WINE_BIN="$tallix_wine64_loader" WINELOADER="$tallix_wine64_loader"
  else
    export WINE_BIN=wine
  fi
fi

# True when the prefix is whole: made by this script, and, for 32-bit programs on a machine that
# runs them, with the 32-bit side that a 64-bit prefix lacks when it was made before 32-bit Wine
# was installed.
tallix_prefix_ready() {
  [ -f "$WINEPREFIX/.tallix-ready" ] &&
    { [ "$WINEARCH" = win32 ] || ! tallix_tree_is_32bit || ! tallix_wine32_runs ||
      [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; }
}

# Creates the prefix once per build tree: no crash dialogs, and a CJK font for the UI texts.
tallix_ensure_prefix() {
  tallix_prefix_ready && return 0
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
  (
    flock 9
    tallix_prefix_ready && exit 0
    rm -rf "$WINEPREFIX"
    timeout 180 "$WINE_BIN" wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
    reg() { timeout 60 "$WINE_BIN" reg "$@" >/dev/null 2>&1; }
    reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    for face in SimSun NSimSun "Microsoft YaHei" "MS Shell Dlg" "MS Shell Dlg 2" Tahoma; do
      reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "WenQuanYi Zen Hei" /f
    done
    timeout 60 wineserver -w
    touch "$WINEPREFIX/.tallix-ready"
  ) 9>"$WINEPREFIX.lock"
}
