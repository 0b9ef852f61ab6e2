#!/usr/bin/env bash
# Runs one Windows program under Wine in the build tree's prefix, with a time-out so that no
# test can hang. Usage: scripts/wine-run.sh BUILD_DIR PROGRAM.exe [ARGS...]
# Without a display of its own it runs under a private Xvfb.
#
# The program's output goes through a file: Wine's background processes (the desktop window,
# services) inherit the descriptors of the process that started them, and a pipe held open by
# them would make the caller wait for ever.
set -uo pipefail
here=$(dirname "$0")
. "$here/wine-env.sh" "$1"
shift
tallix_ensure_prefix || exit 1
limit=${TALLIX_WINE_TIMEOUT:-240}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" timeout --foreground -k 5 "$limit" "$WINE_BIN" "$@" >"$out" 2>&1 </dev/null
else
  timeout --foreground -k 5 "$limit" "$WINE_BIN" "$@" >"$out" 2>&1 </dev/null
fi
rc=$?
cat "$out"
[ "$rc" = 124 ] && echo "wine-run: $* timed out after ${limit}s" >&2
exit "$rc"
