#!/usr/bin/env python3
"""The far side of a LAN link for the discovery test, written from the wire rules alone.

Listens on UDP 1755 and TCP 1756. The first probe from the sender is not answered: instead
this side probes the sender and expects silence, since a copy that is looking for a peer
does not answer probes itself. A later probe is answered with the same four bytes; the
sender must then connect to port 1756 of this address and send "hello". Once connected,
the sender is in answer mode again and its responder must answer a probe, and only a probe.
Prints one line per check and exits 0 when all hold."""
import select
import socket
import sys
import time

PROBE = b"f\0\0\0"
sender = sys.argv[1]
ok = True


def check(name, cond, detail=""):
    global ok
    ok &= bool(cond)
    print(("ok   " if cond else "FAIL ") + name + (": " + detail if detail else ""), flush=True)


def probe_sender(wait, probe=PROBE):
    """Sends a probe to the sender's responder; returns its reply or None."""
    u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    u.sendto(probe, (sender, 1755))
    r, _, _ = select.select([u], [], [], wait)
    reply = u.recvfrom(16)[0] if r else None
    u.close()
    return reply


udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
udp.bind(("0.0.0.0", 1755))
tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind(("0.0.0.0", 1756))
tcp.listen(1)
print("ready", flush=True)

deadline = time.time() + 30
probes = 0
while time.time() < deadline:
    r, _, _ = select.select([udp], [], [], 1)
    if not r:
        continue
    data, addr = udp.recvfrom(16)
    if addr[0] != sender:
        continue
    probes += 1
    if probes == 1:
        check("probe bytes", data == PROBE, repr(data))
        check("sender silent while connecting", probe_sender(1.5) is None)
        continue
    udp.sendto(data, addr)
    break
check("probe answered", probes >= 2)

tcp.settimeout(5)
try:
    conn, caddr = tcp.accept()
    check("connect to 1756 from the sender", caddr[0] == sender, caddr[0])
    conn.settimeout(5)
    got = b""
    while len(got) < 5:
        piece = conn.recv(5 - len(got))
        if not piece:
            break
        got += piece
    check("data on the link", got == b"hello", repr(got))
except socket.timeout:
    check("connect to 1756 from the sender", False, "no connection")
    conn = None

time.sleep(0.5)
for bad in (b"g\0\0\0", b"f\0\0", PROBE * 150):
    check("no answer to a malformed probe of %d bytes" % len(bad), probe_sender(1.0, bad) is None)
check("sender answers probes once linked", probe_sender(2.0) == PROBE)
if conn:
    conn.close()
sys.exit(0 if ok else 1)
