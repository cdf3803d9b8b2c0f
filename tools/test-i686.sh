#!/usr/bin/env bash
# Runs the suite on the 32-bit build where this machine's Wine can run 32-bit programs.
# Wine's 32-bit half (wine32:i386) could not be installed on this kind of machine; the try is
# made once, and remembered, so that it never fails or slows a run.
set -u
build=${1:-build}
mark=/var/tmp/talmox-wine32-unavailable
have_wine32() { [ -x /usr/lib/wine/wine ] && dpkg -s wine32:i386 >/dev/null 2>&1; }
if ! have_wine32; then
  if [ -f "$mark" ] || [ "$(id -u)" != 0 ]; then
    echo "32-bit suite skipped: wine32:i386 is not installed on this machine"
    exit 0
  fi
  dpkg --add-architecture i386
  apt-get update -qq >/dev/null 2>&1
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>&1; then
    dpkg --remove-architecture i386 2>/dev/null
    apt-get update -qq >/dev/null 2>&1
    touch "$mark"
    echo "32-bit suite skipped: wine32:i386 cannot be installed on this machine"
    exit 0
  fi
fi
cmake -S . -B "$build/i686t" -DCMAKE_TOOLCHAIN_FILE=tools/toolchain-i686.cmake >/dev/null
cmake --build "$build/i686t" -j2 && (cd "$build/i686t" && ctest --output-on-failure)
