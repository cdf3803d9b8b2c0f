// Receiving a batch (placeholders until the transfer lands).
#include "protocol/transfer.h"

#include "connection/session.h"
#include "protocol/seriallink.h"

void CommServePeer()
{
    CommRecvCode();
}

void SockServePeer()
{
    Sleep(10);
}

int AnyNameConflict()
{
    return 0;
}
