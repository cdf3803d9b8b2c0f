#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix of the build folder.
# The prefix is made once with wineboot and reused; the user's ~/.wine is never touched.
set -u
# The 32-bit suite's programs run under Wine 10 in the Debian 13 root (tools/test/test-i686.sh).
if [ -n "${TALMOX_WINE32ROOT:-}" ] && [ ! -f /.talmox-ready ]; then
  here=$(cd "$(dirname "$0")" && pwd)
  exec "$here/../test/wine32-root.sh" run "$TALMOX_WINE32ROOT" -- "$here/$(basename "$0")" "$@"
fi
build=${TALMOX_BUILD:-$(cd "$(dirname "$1")" && pwd)}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Tests that open windows run on the display the xvfb.sh fixture started, unless one is given.
if [ -z "${DISPLAY:-}" ] && [ -f "$build/xdisplay" ]; then
  export DISPLAY=$(cat "$build/xdisplay")
fi
if [ ! -f "$WINEPREFIX/.talmox-ready" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.talmox-ready" ]; then
      rm -rf "$WINEPREFIX"
      wineboot -i >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.talmox-ready"
    fi
  ) 9>"$build/.wineprefix.lock"
fi
exec wine "$@"
