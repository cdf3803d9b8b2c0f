#!/usr/bin/env bash
# Installs the packages the build and the tests need, when any is missing.
set -u
need=()
have() { command -v "$1" >/dev/null 2>&1; }
have x86_64-w64-mingw32-g++-posix && have i686-w64-mingw32-g++-posix || need+=(mingw-w64)
have wine || need+=(wine wine64)
have Xvfb || need+=(xvfb xauth)
have xwd || need+=(x11-apps)
# Some machines carry a small stand-in called convert; the screenshots need ImageMagick's own.
[ -x /usr/bin/convert ] || need+=(imagemagick)
have socat || need+=(socat)
have ip || need+=(iproute2)
have chmcmd || need+=(fp-utils)
# The help file's test reads it with 7-Zip.
have 7zz || have 7z || need+=(7zip)
have wixl || need+=(wixl)
have python3 || need+=(python3)
have cmake || need+=(cmake)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ ${#need[@]} -eq 0 ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "Missing packages. As root, run:"
  echo "  apt-get update && apt-get install -y --no-install-recommends ${need[*]}"
  exit 1
fi
echo "Installing: ${need[*]}"
# An index that is out of step must not stop the install of the packages that are there.
apt-get update -qq || echo "apt-get update reported errors; installing from what it has"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
