// The serial link's connect handshake and keep-alive.
#pragma once

// Pings the peer until it answers, links, and exchanges owner names with it.
void CommConnect();
// Probes the linked peer until it stops answering, then drops the link.
void CommKeepAlive();
