// Read-back, on a link that serves it (the serial line): a file named by the last list is
// opened read-only and its blocks are sent with their CRCs on request.
#include "protocol/readback.h"

#include "connection/settings.h"
#include "protocol/packets.h"
#include "protocol/transferstate.h"
#include "protocol/viewcopy.h"
#include "protocol/xferlink.h"
#include "protocol/xfermap.h"

#include <cstring>

// The file being read back. Owner: the worker. Its size, block size and block count are taken
// when it is opened; the count bounds the requests even when a receive has reset nXferBlocks.
static struct {
    XferMapping map;
    uint32_t dwSize;
    int32_t cbBlock;
    int32_t nBlocks;
} s_read;

static void CloseReadFile()
{
    UnmapXferFile(&s_read.map);
}

// Read-back starts at block 0 and counts blocks by the link's rule, the same that the
// requests are checked against.
static void OnOpenRead(const XferLink& link)
{
    uint8_t bIndex;
    if (link.pfnRecv(&bIndex, 1) < 1 || bIndex >= g_xfer.nXferFiles)
        return;
    CloseReadFile();
    const XFERFILE& rec = g_xfer.pXferFiles.load()[bIndex];
    g_xfer.iXferFile = bIndex;
    g_xfer.iXferBlock = 0;
    s_read.cbBlock = g_settings.cbBlock;
    s_read.dwSize = rec.dwSize;
    s_read.nBlocks = BlockCount(rec.dwSize, s_read.cbBlock, link.bTrailingBlock);
    g_xfer.nXferBlocks = s_read.nBlocks;
    char szPath[MAX_PATH];
    if (!SourcePathOfRecord(bIndex, szPath) || !MapSourceFile(szPath, rec.dwSize, &s_read.map)) {
        link.pfnSendCode(XC_CANT_CREATE);
        return;
    }
    link.pfnSendCode(XC_OK);
}

static void OnReadBlock(const XferLink& link)
{
    int32_t k;
    if (link.pfnRecv(&k, 4) < 4 || !s_read.map.hFile || k < 0 || k >= g_xfer.nXferBlocks ||
        k >= s_read.nBlocks)
        return;
    if (k != g_xfer.iXferBlock && k != g_xfer.iXferBlock + 1)
        return;
    g_xfer.iXferBlock = k;
    int32_t len = BlockLength(k, s_read.dwSize, s_read.cbBlock);
    // The bytes are copied out of the view first: a file that shrank since it was opened
    // fails the copy rather than the program.
    const uint8_t* pView = XferBlockBytes(&s_read.map, k, s_read.cbBlock, len);
    uint8_t* pData = g_xfer.pPacketBuf;
    if (len > 0 && (!pView || len > PACKET_BUF_BYTES || !CopyViewBytes(pData, pView, len)))
        return;     // unanswered, as a request the file cannot serve
    uint32_t crc = Crc32Block(pData, len);
    link.pfnSendRaw(&crc, 4);
    if (len > 0)
        link.pfnSendRaw(pData, len);
}

// The setting is off: a request is read to its end, so that the line stays in step, and
// gets no reply; nothing is opened, and a file opened before the setting changed is closed.
static void RefuseReadBack(const XferLink& link, uint8_t code)
{
    uint8_t abOperand[4];
    if (code == XC_OPEN_READ)
        link.pfnRecv(abOperand, 1);
    else if (code == XC_READ_BLOCK)
        link.pfnRecv(abOperand, 4);
    CloseReadFile();
}

int ServeReadBack(const XferLink& link, uint8_t code)
{
    if (code != XC_OPEN_READ && code != XC_READ_BLOCK && code != XC_CLOSE_READ)
        return 0;
    if (!g_settings.bAllowReadBack) {
        RefuseReadBack(link, code);
        return 1;
    }
    switch (code) {
    case XC_OPEN_READ:
        OnOpenRead(link);
        return 1;
    case XC_READ_BLOCK:
        OnReadBlock(link);
        return 1;
    case XC_CLOSE_READ:
        CloseReadFile();
        link.pfnSendCode(XC_OK);
        return 1;
    }
    return 0;
}
