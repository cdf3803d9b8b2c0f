#!/usr/bin/env bash
# Shows Talmox. With a display: starts the program under Wine on it. Without one: runs the
# demonstration of two copies on two simulated machines (each with a virtual display of its
# own) joined by a simulated serial cable, sending three files from A to B, and prints what
# each copy's result box said and where the screenshots are.
#   run.sh [BUILD]     (BUILD defaults to build; the program is BUILD/x64/talmox.exe)
set -u
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
exe=$build/x64/talmox.exe
[ -f "$exe" ] || { echo "no $exe: build first (make build)"; exit 1; }

if [ -n "${DISPLAY:-}" ]; then
  export WINEPREFIX=${WINEPREFIX:-$build/run-prefix} WINEDEBUG=-all
  [ -d "$WINEPREFIX" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
  exec wine "$exe"
fi

echo "No DISPLAY: a demonstration on virtual displays instead."
echo "Machine A sends big.bin, one.bin and block.bin to machine B over a simulated serial cable."
said=$build/x64/e2e/demo-said.txt
rm -f "$said"
E2E_SAID_FILE=$said "$here/../machines/e2e-scenario.sh" serial_send_three "$build/x64" |
  sed -n -e 's/^== /  step: /p' -e 's/^the three files/  the three files/p'
rc=${PIPESTATUS[0]}
echo
if [ -s "$said" ]; then
  while IFS=$'\t' read -r m text; do
    echo "Machine $m's result box: $text"
  done < <(sort "$said")
fi
shots=$build/x64/e2e/shots
echo "Screenshots:"
for f in main-wide-serial xfer-status-serial main-after-serial; do
  [ -f "$shots/$f.png" ] && echo "  $shots/$f.png"
done
if [ "$rc" -eq 0 ]; then
  echo "The demonstration passed: B holds byte-identical copies of A's three files."
else
  echo "The demonstration failed (exit $rc); the screens at the failure are under $shots."
fi
exit "$rc"
