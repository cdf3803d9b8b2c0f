#!/usr/bin/env bash
# LAN discovery between two network namespaces: lanconnect.exe (the program's link routines)
# on machine A, tools/test/lan-discovery-peer.py on the B side, joined by a veth pair.
#   lan-discovery.sh BUILD
set -u
export E2E_BUILD=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../machines/machine-lib.sh"
work=$E2E_BUILD/e2e/lan_discovery
nsA=tmxdA$$ nsB=tmxdB$$
A=$work/A
cleanup() {
  machine_destroy "$A"
  [ -n "${peer:-}" ] && kill "$peer" 2>/dev/null
  lan_down "$nsA" "$nsB"
}
trap cleanup EXIT
rm -rf "$work"; mkdir -p "$work"
if ! lan_up "$nsA" "$nsB" "ld$$" 2>"$work/netns.err"; then
  skip_case "network namespaces cannot be made here: $(head -1 "$work/netns.err")"
fi
machine_create "$A" "$nsA" || { echo "cannot create machine A"; exit 1; }
cp "$E2E_BUILD/lanconnect.exe" "$A/pfx/drive_c/talmox/"
machine_start "$A" 640x480 || { echo "cannot start machine A"; exit 1; }
ip netns exec "$nsB" python3 "$here/lan-discovery-peer.py" 10.99.0.1 >"$work/peer.log" 2>&1 &
peer=$!
for _ in $(seq 50); do grep -q ready "$work/peer.log" && break; sleep 0.1; done
machine_wine "$A" 'C:\talmox\lanconnect.exe' 2>"$work/lanconnect.err" | tr -d '\r' | tee "$work/lanconnect.log"
wait "$peer"; rc=$?
peer=
cat "$work/peer.log"
grep -qx "connected 10.99.0.2" "$work/lanconnect.log" || { echo "FAIL: A did not connect to the address that answered"; exit 1; }
exit $rc
