#!/usr/bin/env bash
# A display for the tests that open windows: an Xvfb server whose number is kept in the build
# folder, so that tools/machines/wine-run.sh can point DISPLAY at it.
#   xvfb.sh start|stop <build folder>
set -u
cmd=$1
build=$2
state=$build/xdisplay
case $cmd in
start)
  [ -f "$state.pid" ] && kill "$(cat "$state.pid")" 2>/dev/null
  # A free display number: the first whose lock file is absent.
  n=90
  while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
  setsid Xvfb :$n -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  echo $! > "$state.pid"
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  echo ":$n" > "$state"
  ;;
stop)
  [ -f "$state.pid" ] && kill "$(cat "$state.pid")" 2>/dev/null
  rm -f "$state.pid" "$state"
  ;;
esac
exit 0
