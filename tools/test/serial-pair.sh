#!/usr/bin/env bash
# A serial cable for the tests: a socat pseudo-terminal pair mapped into the test prefix as
# COM1 (the program's end) and COM2 (the test peer's end).
#   serial-pair.sh start|stop <build folder>
# Wine reads its port map when the prefix's wineserver starts, so the wineserver is restarted.
set -u
# In the 32-bit suite the pair and the prefix are made inside the Debian 13 root.
if [ -n "${TALMOX_WINE32ROOT:-}" ] && [ ! -f /.talmox-ready ]; then
  here=$(cd "$(dirname "$0")" && pwd)
  exec "$here/wine32-root.sh" run "$TALMOX_WINE32ROOT" -- "$here/$(basename "$0")" "$@"
fi
cmd=$1
build=$2
dir=$build/serial
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all TALMOX_BUILD=$build
case $cmd in
start)
  mkdir -p "$dir"
  [ -f "$dir/socat.pid" ] && kill "$(cat "$dir/socat.pid")" 2>/dev/null
  rm -f "$dir/ttyA" "$dir/ttyB"
  setsid socat pty,raw,echo=0,link="$dir/ttyA" pty,raw,echo=0,link="$dir/ttyB" </dev/null >/dev/null 2>&1 &
  echo $! > "$dir/socat.pid"
  for _ in $(seq 50); do [ -e "$dir/ttyA" ] && [ -e "$dir/ttyB" ] && break; sleep 0.1; done
  # Make sure the prefix exists (the wrapper creates it once).
  "$(dirname "$0")/../machines/wine-run.sh" cmd /c exit >/dev/null 2>&1
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$(readlink -f "$dir/ttyA")" /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Wine\Ports' /v COM2 /d "$(readlink -f "$dir/ttyB")" /f >/dev/null 2>&1
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  ;;
stop)
  [ -f "$dir/socat.pid" ] && kill "$(cat "$dir/socat.pid")" 2>/dev/null
  rm -f "$dir/socat.pid"
  ;;
esac
exit 0
