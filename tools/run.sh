#!/usr/bin/env bash
# Starts Talmox under Wine: on the user's display when there is one, else on a virtual one.
set -u
build=${1:-build}
exe=$build/x64/talmox.exe
export WINEPREFIX=${WINEPREFIX:-$PWD/$build/run-prefix} WINEDEBUG=-all
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :71 -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null' EXIT
  export DISPLAY=:71
  sleep 1
fi
[ -d "$WINEPREFIX" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
wine "$exe"
