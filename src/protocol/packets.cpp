// Packets and CRC: the byte layouts and arithmetic that both links share.
#include "protocol/packets.h"

#include "protocol/crcfold.h"

#include <cstring>

uint32_t CrcTable[256];

// Seven more tables for the same CRC taken eight bytes at a step: entry [j][i] is the
// register after byte i is followed by j zero bytes. The result is bit for bit that of the
// one-byte loop; it only takes fewer dependent steps per byte.
static uint32_t CrcSlices[8][256];

// Chosen once by BuildCrcTable: the carry-less fold where the processor has it.
static int s_bCrcFold;

void MakeCodeFrame(uint8_t* pFrame, uint8_t code)
{
    pFrame[0] = code;
    pFrame[1] = 0xFF;
    pFrame[2] = code;
    pFrame[3] = 0x11;
}

uint32_t ReflectBits(uint32_t value, int8_t n)
{
    uint32_t r = 0;
    for (int i = 0; i < n; i++)
        if (value & (1u << i))
            r |= 1u << (n - 1 - i);
    return r;
}

void BuildCrcTable()
{
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t v = ReflectBits(i, 8) << 24;
        for (int j = 0; j < 8; j++)
            v = (v & 0x80000000u) ? (v << 1) ^ 0x04C11DB7u : v << 1;
        CrcTable[i] = ReflectBits(v, 32);
    }
    for (int i = 0; i < 256; i++) {
        CrcSlices[0][i] = CrcTable[i];
        for (int j = 1; j < 8; j++)
            CrcSlices[j][i] = (CrcSlices[j - 1][i] >> 8) ^ CrcTable[CrcSlices[j - 1][i] & 0xFF];
    }
    s_bCrcFold = CrcFoldAvailable();
}

// Reflected CRC-32 with the register starting at 0 and no final inversion: not the CRC of
// file formats, but the variant both ends of this protocol compute.
uint32_t Crc32Block(const void* pData, int32_t length)
{
    const uint8_t* p = (const uint8_t*)pData;
    uint32_t r = 0;
    int32_t i = 0;
    if (s_bCrcFold && length >= 64) {
        i = length & ~15;
        r = Crc32Fold(0, p, i);
    }
    for (; i + 8 <= length; i += 8) {
        uint32_t lo = r ^ ((uint32_t)p[i] | (uint32_t)p[i + 1] << 8 | (uint32_t)p[i + 2] << 16
                           | (uint32_t)p[i + 3] << 24);
        uint32_t hi = (uint32_t)p[i + 4] | (uint32_t)p[i + 5] << 8 | (uint32_t)p[i + 6] << 16
                      | (uint32_t)p[i + 7] << 24;
        r = CrcSlices[7][lo & 0xFF] ^ CrcSlices[6][(lo >> 8) & 0xFF]
            ^ CrcSlices[5][(lo >> 16) & 0xFF] ^ CrcSlices[4][lo >> 24]
            ^ CrcSlices[3][hi & 0xFF] ^ CrcSlices[2][(hi >> 8) & 0xFF]
            ^ CrcSlices[1][(hi >> 16) & 0xFF] ^ CrcSlices[0][hi >> 24];
    }
    for (; i < length; i++)
        r = (r >> 8) ^ CrcTable[(r ^ p[i]) & 0xFF];
    return r;
}

int XferPathFromNarrow(XFERFILE* pRec, const char* pszPath)
{
    // The receiver keeps only the file name, so a path too long for the record sheds its
    // leading folders, one whole folder at a time, and still ends in the name.
    const char* p = pszPath;
    size_t n = strlen(p);
    while (n > XFER_PATH_CHARS) {
        const char* pSep = strchr(p, '\\');
        if (!pSep)
            break;
        n -= (size_t)(pSep + 1 - p);
        p = pSep + 1;
    }
    int bFits = n <= XFER_PATH_CHARS;
    if (!bFits)
        n = XFER_PATH_CHARS;
    memset(pRec->wszPath, 0, sizeof pRec->wszPath);
    for (size_t i = 0; i < n; i++)
        pRec->wszPath[i] = (uint8_t)p[i];
    return bFits;
}

int XferPathToNarrow(const XFERFILE* pRec, char* pszPath)
{
    int bClean = 1, i = 0;
    for (; i < XFER_PATH_UNITS && i < 255 && pRec->wszPath[i]; i++) {
        uint16_t u = pRec->wszPath[i];
        if (u > 255) {
            bClean = 0;
            u = '?';
        }
        pszPath[i] = (char)u;
    }
    pszPath[i] = 0;
    return bClean;
}

int32_t BlockCount(uint32_t dwSize, int32_t cbBlock, int bTrailingBlock)
{
    if (bTrailingBlock)
        return (int32_t)(dwSize / (uint32_t)cbBlock + 1);
    return (int32_t)(((uint64_t)dwSize + (uint32_t)cbBlock - 1) / (uint32_t)cbBlock);
}

int32_t BlockLength(int32_t k, uint32_t dwSize, int32_t cbBlock)
{
    if (cbBlock <= 0)
        return 0;
    if (((int64_t)k + 1) * cbBlock <= (int64_t)dwSize)
        return cbBlock;
    return (int32_t)(dwSize & (uint32_t)(cbBlock - 1));
}

uint8_t SerialFrameCode(const uint8_t* b, int nRead, int* pbPurge)
{
    *pbPurge = 0;
    if (nRead < 4)
        return 0;
    if (b[1] == 0xFF && b[3] == 0x11 && b[0] == b[2])
        return b[0];
    for (int i = 0; i < 4; i++)
        if (b[i] == 0xFF || b[i] == 0x11)
            *pbPurge = 1;
    return 0;
}

uint8_t SocketFrameCode(ByteReader pfnRead, void* pCtx)
{
    uint8_t b[4];
    uint8_t r = 0;
    if (pfnRead(pCtx, b, 4) < 4)
        return 0;
    if (b[1] == 0xFF && b[3] == 0x11 && b[0] == b[2])
        r = b[0];
    if (b[2] == 0xFF && b[1] == b[3]) {          // x, code, FF, code: one byte late
        pfnRead(pCtx, b, 1);
        r = b[1];
    }
    if (b[0] == 0xFF && b[2] == 0x11) {          // FF, code, 11, next: first byte lost
        pfnRead(pCtx, b, 3);
        r = b[1];
    }
    if (b[1] == 0x11 && b[3] == 0xFF) {          // code, 11, code2, FF: tail and head
        pfnRead(pCtx, b, 2);
        return b[2];
    }
    return r;
}
