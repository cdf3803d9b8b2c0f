// Serial connect handshake and keep-alive (placeholders until the serial link lands).
#include "protocol/seriallink.h"

#include "connection/session.h"

void CommConnect()
{
    Sleep(20);
}

void CommKeepAlive()
{
}
