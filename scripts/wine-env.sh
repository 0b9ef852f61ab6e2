# Sourced by the Wine scripts: the environment of every Wine call for one build tree.
# Usage: . scripts/wine-env.sh BUILD_DIR
tallix_build=$(cd "$1" && pwd)
export WINEPREFIX="$tallix_build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export XDG_DATA_HOME="$tallix_build/xdg/data"
export XDG_CONFIG_HOME="$tallix_build/xdg/config"
export XDG_CACHE_HOME="$tallix_build/xdg/cache"
export WINE_BIN=${WINE_BIN:-wine}

# Creates the prefix once per build tree: no crash dialogs, and a CJK font for the UI texts.
tallix_ensure_prefix() {
  [ -f "$WINEPREFIX/.tallix-ready" ] && return 0
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
  (
    flock 9
    [ -f "$WINEPREFIX/.tallix-ready" ] && exit 0
    rm -rf "$WINEPREFIX"
    timeout 180 wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
    reg() { timeout 60 "$WINE_BIN" reg "$@" >/dev/null 2>&1; }
    reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    for face in SimSun NSimSun "Microsoft YaHei" "MS Shell Dlg" "MS Shell Dlg 2" Tahoma; do
      reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "WenQuanYi Zen Hei" /f
    done
    timeout 60 wineserver -w
    touch "$WINEPREFIX/.tallix-ready"
  ) 9>"$tallix_build/wineprefix.lock"
}
