// Read-back over the serial line: a file named by the last list is opened read-only and
// its blocks are sent with their CRCs on request.
#include "protocol/readback.h"

#include "connection/settings.h"
#include "protocol/packets.h"
#include "protocol/seriallink.h"
#include "protocol/transferstate.h"
#include "protocol/viewcopy.h"
#include "protocol/xfermap.h"

#include <cstring>

static XferMapping s_readMap;
static uint32_t s_dwReadSize;
static int32_t s_cbReadBlock;
static int32_t s_nReadBlocks;   // bounds the requests even when a receive has reset nXferBlocks

static void CloseReadFile()
{
    UnmapXferFile(&s_readMap);
}

// Read-back starts at block 0 and counts blocks by the serial rule, the same that the
// requests are checked against.
static void OnOpenRead()
{
    uint8_t bIndex;
    if (CommRead(&bIndex, 1) < 1 || bIndex >= g_xfer.nXferFiles)
        return;
    CloseReadFile();
    const XFERFILE& rec = g_xfer.pXferFiles.load()[bIndex];
    g_xfer.iXferFile = bIndex;
    g_xfer.iXferBlock = 0;
    s_cbReadBlock = g_settings.cbBlock;
    s_dwReadSize = rec.dwSize;
    s_nReadBlocks = BlockCount(rec.dwSize, s_cbReadBlock, 1);
    g_xfer.nXferBlocks = s_nReadBlocks;
    char szPath[MAX_PATH];
    if (!SourcePathOfRecord(bIndex, szPath) || !MapSourceFile(szPath, rec.dwSize, &s_readMap)) {
        CommSendCode(XC_CANT_CREATE);
        return;
    }
    CommSendCode(XC_OK);
}

static void OnReadBlock()
{
    int32_t k;
    if (CommRead(&k, 4) < 4 || !s_readMap.hFile || k < 0 || k >= g_xfer.nXferBlocks ||
        k >= s_nReadBlocks)
        return;
    if (k != g_xfer.iXferBlock && k != g_xfer.iXferBlock + 1)
        return;
    g_xfer.iXferBlock = k;
    int32_t len = BlockLength(k, s_dwReadSize, s_cbReadBlock);
    // The bytes are copied out of the view first: a file that shrank since it was opened
    // fails the copy rather than the program.
    const uint8_t* pView = XferBlockBytes(&s_readMap, k, s_cbReadBlock, len);
    uint8_t* pData = g_xfer.pPacketBuf;
    if (len > 0 && (!pView || len > PACKET_BUF_BYTES || !CopyViewBytes(pData, pView, len)))
        return;     // unanswered, as a request the file cannot serve
    uint32_t crc = Crc32Block(pData, len);
    CommWrite(&crc, 4);
    if (len > 0)
        CommWrite(pData, len);
}

// The setting is off: a request is read to its end, so that the line stays in step, and
// gets no reply; nothing is opened, and a file opened before the setting changed is closed.
static void RefuseReadBack(uint8_t code)
{
    uint8_t abOperand[4];
    if (code == XC_OPEN_READ)
        CommRead(abOperand, 1);
    else if (code == XC_READ_BLOCK)
        CommRead(abOperand, 4);
    CloseReadFile();
}

int ServeReadBack(uint8_t code)
{
    if (code != XC_OPEN_READ && code != XC_READ_BLOCK && code != XC_CLOSE_READ)
        return 0;
    if (!g_settings.bAllowReadBack) {
        RefuseReadBack(code);
        return 1;
    }
    switch (code) {
    case XC_OPEN_READ:
        OnOpenRead();
        return 1;
    case XC_READ_BLOCK:
        OnReadBlock();
        return 1;
    case XC_CLOSE_READ:
        CloseReadFile();
        CommSendCode(XC_OK);
        return 1;
    }
    return 0;
}
