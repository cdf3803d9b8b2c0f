// A seeded random peer: framed messages with random fields and unframed garbage, for
// proving that a receiver survives whatever a broken or hostile sender does.
#pragma once
#include "peer_wire.h"

#include <set>
#include <string>

struct RandomPeerResult {
    std::set<std::string> announced;    // every file name the peer put in a list
    int nMessages = 0;
};

// Sends random traffic for about ms milliseconds, reading and dropping the replies.
// pfnReconnect, when given, is called now and then to start a new connection (socket).
RandomPeerResult RunRandomPeer(PeerWire& wire, bool bSerial, size_t cbBlock, uint32_t seed,
                               int ms, void (*pfnReconnect)(void* pCtx), void* pCtx);
