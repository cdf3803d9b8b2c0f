#!/usr/bin/env bash
# A Debian 13 root with Wine 10, where the shipped 32-bit program runs: Wine 10 runs 32-bit
# Windows code inside a 64-bit process (its "new WoW64" mode), and this kernel runs no 32-bit
# Linux programs, so the host's Wine cannot.
#
#   tools/test/wine32-root.sh ensure BUILD
#       Makes BUILD/wine32root when it is missing: Debian 13 (debootstrap, minbase), Wine 10's
#       64-bit half, the 32-bit PE libraries of libwine:i386 (never its 32-bit loader, whose
#       absence is what selects the WoW64 mode), Xvfb, the X tools and socat; the PE libraries'
#       debug info is stripped. About two minutes and 1.5 GB the first time; at once when the
#       root is there. The host's own Wine is never touched. Status 0 when the root is ready,
#       1 (the reason on stderr) when it cannot be made.
#   tools/test/wine32-root.sh run BUILD [--netns NS] [--display N] [--] CMD [ARGS...]
#       Runs CMD as root inside BUILD/wine32root (which must exist: see ensure), with /proc,
#       /sys, the host's /dev (its /dev/pts and /dev/shm with it, so pseudo-terminals made on
#       either side open on both), /tmp/.X11-unix, this worktree and BUILD mounted at the same
#       paths as on the host. The environment passes through, with PATH and HOME=/root set and
#       WINEDEBUG=-all unless given. --netns NS runs it in network namespace NS; --display N
#       sets DISPLAY=:N. CMD starts in the current folder when the root shows it, else in /.
#       The status is CMD's.
#       The mounts are made in a mount namespace of CMD's own: they are never seen on the host,
#       and go when CMD and whatever it left running (a wineserver, socat) end. Removing BUILD
#       therefore never reaches the host's /dev, /proc or X sockets.
#   tools/test/wine32-root.sh path BUILD
#       Prints the root's folder.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
self=$here/$(basename "${BASH_SOURCE[0]}")
top=$(cd "$here/../.." && pwd)
suite=trixie
mirror=${TALMOX_DEBIAN_MIRROR:-http://deb.debian.org/debian}

die() { echo "wine32-root: $*" >&2; exit 1; }
absdir() { mkdir -p "$1" && (cd "$1" && pwd); }

# Inside a fresh mount namespace: mounts the root's file systems, then becomes CMD.
inside() {
  local root=$1 build=$2; shift 2
  mount -t proc proc "$root/proc" || die "cannot mount /proc"
  mount --rbind /sys "$root/sys" || die "cannot mount /sys"
  mount --rbind /dev "$root/dev" || die "cannot mount /dev"
  if [ -d /tmp/.X11-unix ]; then
    mkdir -p "$root/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
  fi
  local d
  for d in "$top" "$build"; do
    mkdir -p "$root$d"
    mountpoint -q "$root$d" || mount --bind "$d" "$root$d" || die "cannot mount $d"
  done
  local cwd=/
  [ -d "$root$PWD" ] && cwd=$PWD
  exec chroot "$root" /usr/bin/env -C "$cwd" PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LC_ALL=C.UTF-8 WINEDEBUG="${WINEDEBUG:--all}" "$@"
}

# Runs CMD in ROOT (ready or being made) in a mount namespace of its own, in NETNS if given.
enter() {
  local root=$1 build=$2 netns=$3; shift 3
  local pre=()
  [ -n "$netns" ] && pre=(ip netns exec "$netns")
  "${pre[@]}" unshare --mount --propagation private "$self" _inside "$root" "$build" "$@"
}

ensure() {
  local build root
  build=$(absdir "$1") || die "cannot make $1"
  root=$build/wine32root
  [ -f "$root/.talmox-ready" ] && return 0
  exec 9>"$build/.wine32root.lock"
  flock 9
  [ -f "$root/.talmox-ready" ] && return 0
  [ "$(id -u)" = 0 ] || die "making the Debian 13 root needs root"
  if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap \
      >/dev/null 2>&1 || die "cannot install debootstrap"
  fi
  local tmp=$root.partial
  # A partial root holds no mounts on the host (they live in the namespaces of enter).
  rm -rf "$tmp" "$root"
  echo "wine32-root: making the Debian 13 root with Wine 10 in $root (about two minutes)" >&2
  debootstrap --variant=minbase "$suite" "$tmp" "$mirror" >"$build/wine32root.log" 2>&1 ||
    die "debootstrap failed: see $build/wine32root.log"
  cp /etc/resolv.conf "$tmp/etc/resolv.conf" 2>/dev/null
  enter "$tmp" "$build" "" sh -ec '
    export DEBIAN_FRONTEND=noninteractive
    dpkg --add-architecture i386
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends wine64 libwine wine xvfb x11-apps x11-utils socat
    cd /tmp && apt-get download -qq libwine:i386
    dpkg-deb --fsys-tarfile libwine_*_i386.deb | tar -x -C /tmp ./usr/lib/i386-linux-gnu/wine/i386-windows
    cp -an /tmp/usr/lib/i386-linux-gnu/wine/i386-windows/. /usr/lib/x86_64-linux-gnu/wine/i386-windows/
    rm -rf /tmp/usr /tmp/libwine_*_i386.deb
    apt-get clean' >>"$build/wine32root.log" 2>&1 || die "installing Wine 10 failed: see $build/wine32root.log"
  [ -f "$tmp/usr/lib/x86_64-linux-gnu/wine/i386-windows/ntdll.dll" ] ||
    die "the 32-bit PE libraries are missing: see $build/wine32root.log"
  # Debug info is half the root's size and never read.
  local arch
  for arch in i686:i386 x86_64:x86_64; do
    find "$tmp/usr/lib/x86_64-linux-gnu/wine/${arch#*:}-windows" -type f \
      \( -name '*.dll' -o -name '*.exe' -o -name '*.drv' -o -name '*.sys' -o -name '*.ocx' \
         -o -name '*.acm' -o -name '*.cpl' -o -name '*.ax' -o -name '*.tlb' -o -name '*.ds' \) \
      -exec "${arch%%:*}-w64-mingw32-strip" --strip-debug {} + 2>/dev/null
  done
  touch "$tmp/.talmox-ready"
  mv "$tmp" "$root"
}

run() {
  local build netns="" display=""
  build=$(absdir "$1") || die "cannot find $1"; shift
  while [ $# -gt 0 ]; do
    case $1 in
      --netns) netns=$2; shift 2 ;;
      --display) display=$2; shift 2 ;;
      --) shift; break ;;
      *) break ;;
    esac
  done
  [ $# -gt 0 ] || die "run: no command"
  [ -f "$build/wine32root/.talmox-ready" ] || die "no root in $build (tools/test/wine32-root.sh ensure $build)"
  [ -n "$display" ] && export DISPLAY=:$display
  enter "$build/wine32root" "$build" "$netns" "$@"
}

cmd=${1:-}; shift || true
case $cmd in
  ensure) [ $# -ge 1 ] || die "ensure BUILD"; ensure "$1" ;;
  run) [ $# -ge 1 ] || die "run BUILD [--netns NS] [--display N] -- CMD..."; run "$@" ;;
  path) [ $# -ge 1 ] || die "path BUILD"; echo "$(absdir "$1")/wine32root" ;;
  _inside) inside "$@" ;;
  *) die "usage: $0 ensure BUILD | run BUILD [--netns NS] [--display N] -- CMD... | path BUILD" ;;
esac
