// A seeded random peer: framed messages with random fields and unframed garbage, for
// proving that a receiver survives whatever a broken or hostile sender does.
#pragma once
#include "peer_wire.h"

#include <string>

// Sends random traffic for about ms milliseconds, reading and dropping the replies; returns
// how many messages it sent. pfnReconnect, when given, is called now and then to start a new
// connection (socket).
int RunRandomPeer(PeerWire& wire, bool bSerial, size_t cbBlock, uint32_t seed, int ms,
                  void (*pfnReconnect)(void* pCtx), void* pCtx);
