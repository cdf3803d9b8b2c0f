// Socket transport: the listening socket, the connect step with LAN discovery and the
// discovery responder.
#pragma once
#include <winsock2.h>
#include <cstdint>

enum { TALMOX_TCP_PORT = 1756, TALMOX_UDP_PORT = 1755, DISCOVERY_PROBE = 'f' };

SOCKET OpenListenSocket();
void SockConnect();
DWORD WINAPI DiscoveryResponder(void* pParam);
