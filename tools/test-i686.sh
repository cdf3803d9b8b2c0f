#!/usr/bin/env bash
# Runs the suite on the 32-bit build where this machine's Wine can run 32-bit programs.
#
# That needs a kernel that executes 32-bit programs and Wine's 32-bit half (wine32:i386).
# The kernel is asked first, with a 96-byte 32-bit program that exits with status 7; where it
# cannot run it, installing wine32 would only replace the working 64-bit loader that the
# `wine` command picks with one that cannot start, so nothing is installed. The install is
# tried once per machine and the outcome remembered, so that it never fails or slows a run.
set -u
build=${1:-build}
mark=/var/tmp/talmox-wine32-unavailable
skip() { echo "32-bit suite skipped: $*"; exit 0; }

probe=$(mktemp)
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x07\x00\x00\x00\xcd\x80' > "$probe"
chmod +x "$probe"
"$probe" 2>/dev/null; rc=$?
rm -f "$probe"
[ "$rc" = 7 ] || skip "this kernel does not run 32-bit programs, so Wine cannot run the i686 build"

wine32_works() { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }
if ! wine32_works; then
  [ -f "$mark" ] && skip "wine32:i386 could not be installed on this machine"
  [ "$(id -u)" = 0 ] || skip "wine32:i386 is not installed (as root: dpkg --add-architecture i386; apt-get install wine32:i386)"
  dpkg --add-architecture i386
  apt-get update -qq >/dev/null 2>&1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>&1
  if ! wine32_works; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq --purge 'wine32:i386' 'libwine:i386' >/dev/null 2>&1
    touch "$mark"
    skip "wine32:i386 cannot be installed or run on this machine"
  fi
fi
cmake -S . -B "$build/i686t" -DCMAKE_TOOLCHAIN_FILE=tools/toolchain-i686.cmake >/dev/null
cmake --build "$build/i686t" -j2 && (cd "$build/i686t" && ctest --output-on-failure)
