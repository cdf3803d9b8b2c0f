// Listening socket, connect step and discovery responder (placeholders until the socket
// transport lands).
#include "connection/sockets.h"

#include "connection/session.h"

SOCKET OpenListenSocket()
{
    return 0;
}

void SockConnect()
{
    Sleep(20);
}

DWORD WINAPI DiscoveryResponder(void*)
{
    while (g_state.iWorkerState != WS_QUIT)
        Sleep(50);
    return 0;
}
