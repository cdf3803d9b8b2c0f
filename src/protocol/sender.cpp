// Sending a batch (placeholders until the transfer lands).
#include "protocol/transfer.h"

#include "connection/session.h"

void CommSendFiles()
{
}

void SockSendFiles()
{
}
