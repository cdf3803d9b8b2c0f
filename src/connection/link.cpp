// The one link of the program, and its opening and closing as the type changes.
#include "connection/link.h"

#include "connection/settings.h"
#include "connection/sockets.h"

#include <initializer_list>

LinkState g_link;

void OpenListener()
{
    if (IsSocketType(g_settings.iCommType))
        g_link.hListenSock = OpenListenSocket();
}

void CloseLink()
{
    if (IsSocketType(g_settings.iCommType)) {
        for (std::atomic<SOCKET>* p : {&g_link.hListenSock, &g_link.hUdpSock}) {
            SOCKET h = p->exchange(0);
            if (h && h != INVALID_SOCKET)
                closesocket(h);
        }
    } else {
        HANDLE h = g_link.hComm.exchange(nullptr);
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
}
