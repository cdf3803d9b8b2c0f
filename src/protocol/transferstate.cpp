// The one transfer of the program.
#include "protocol/transferstate.h"

#include "protocol/packets.h"

#include <cstring>

TransferState g_xfer;

void BeginSendBatch(int nFiles, uint64_t qwTotal)
{
    g_xfer.nFilesOk = 0;
    memset(g_xfer.abFileSent, 0, sizeof g_xfer.abFileSent);
    g_xfer.iUnreadableFile = -1;
    g_xfer.nXferFiles = nFiles;
    g_xfer.dwXferTotal = qwTotal;
}

static_assert(sizeof g_xfer.aszSourcePath / sizeof g_xfer.aszSourcePath[0] == MAX_BATCH_FILES,
              "every record of the batch table has its full path");

int SetBatchRecordPath(int iFile, const char* pszPath)
{
    XFERFILE* pRec = &g_xfer.pXferFiles.load()[iFile];
    char* pszKept = g_xfer.aszSourcePath[iFile];
    pszKept[0] = 0;
    if (!XferPathFromNarrow(pRec, pszPath) || strlen(pszPath) >= MAX_PATH)
        return 0;
    strcpy(pszKept, pszPath);
    return 1;
}

// 1 when the record's path is what SetBatchRecordPath makes of pszPath.
static int RecordMadeFrom(const XFERFILE* pRec, const char* pszPath)
{
    XFERFILE made;
    XferPathFromNarrow(&made, pszPath);
    for (int i = 0; i < XFER_PATH_UNITS; i++) {
        if (made.wszPath[i] != pRec->wszPath[i])
            return 0;
        if (made.wszPath[i] == 0)
            return 1;
    }
    return 1;
}

int SourcePathOfRecord(int iFile, char* pszPath)
{
    const XFERFILE* pRec = &g_xfer.pXferFiles.load()[iFile];
    // The receiver writes a peer's records into the same table, and a read-back may name a
    // record that no send of ours filled: a kept path counts only while its record is the
    // one made from it.
    if (iFile >= 0 && iFile < MAX_BATCH_FILES) {
        const char* pszKept = g_xfer.aszSourcePath[iFile];
        if (pszKept[0] && RecordMadeFrom(pRec, pszKept)) {
            strcpy(pszPath, pszKept);
            return 1;
        }
    }
    return XferPathToNarrow(pRec, pszPath);
}
