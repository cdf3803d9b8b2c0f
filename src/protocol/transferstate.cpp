// The one transfer of the program.
#include "protocol/transfer.h"

#include <cstring>

TransferState g_xfer;

void BeginSendBatch(int nFiles, uint32_t dwTotal)
{
    g_xfer.nFilesOk = 0;
    memset(g_xfer.abFileSent, 0, sizeof g_xfer.abFileSent);
    g_xfer.iSendResult = 0;
    g_xfer.iUnreadableFile = -1;
    g_xfer.nXferFiles = nFiles;
    g_xfer.dwXferTotal = dwTotal;
}
