// Packets of the transfer protocol: code frames, message codes, the file and owner records,
// block arithmetic, the transfer CRC and the two rules for reading a code frame.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint8_t {
    XC_PING = 0x50, XC_PING_REPLY = 0x51, XC_OK = 0x52, XC_LIST_BAD = 0x53,
    XC_BLOCK_OK = 0x54, XC_BLOCK_BAD = 0x55, XC_KEEPALIVE = 0x56, XC_KEEPALIVE_REPLY = 0x57,
    XC_GET_NAME = 0x58, XC_PUT_NAME = 0x59, XC_READ_BLOCK = 0x5B, XC_BLOCK = 0x5C,
    XC_OPEN_READ = 0x5D, XC_CLOSE_READ = 0x5E, XC_OPEN_FILE = 0x5F, XC_CLOSE_FILE = 0x60,
    XC_FILE_LIST = 0x61, XC_LINK = 0x62, XC_ACK = 0x63, XC_ABORT = 0x64,
    XC_NO_SPACE = 0x65, XC_NAME_CONFLICT = 0x66, XC_CANT_CREATE = 0x67
};

enum { XFER_PATH_UNITS = 126, XFER_PATH_CHARS = 125, MAX_BATCH_FILES = 256,
       MAX_RECV_FILES = 99, PACKET_BUF_BYTES = 65536 };

// One file of a batch, the same in memory and on the wire (little-endian).
#pragma pack(push, 1)
struct XFERFILE {
    uint16_t wszPath[XFER_PATH_UNITS];
    uint32_t dwSize;
};
struct OWNERREC {
    char szName[128];
    uint8_t abUnused[128];
};
#pragma pack(pop)
static_assert(sizeof(XFERFILE) == 256, "XFERFILE is 256 bytes on the wire");
static_assert(offsetof(XFERFILE, dwSize) == 252, "dwSize follows the 126 path units");
static_assert(sizeof(OWNERREC) == 256, "OWNERREC is 256 bytes on the wire");

extern uint32_t CrcTable[256];

void MakeCodeFrame(uint8_t* pFrame, uint8_t code);
uint32_t ReflectBits(uint32_t value, int8_t n);
void BuildCrcTable();
uint32_t Crc32Block(const void* pData, int32_t length);

// Byte-wise conversions between the program's narrow paths and the 16-bit record path.
// XferPathFromNarrow writes a path of up to 125 characters whole; a longer one loses its
// leading folders until the rest fits, so that the record still ends in the file name. It
// returns 0 when the file name alone is longer than 125 characters.
int XferPathFromNarrow(XFERFILE* pRec, const char* pszPath);
// Writes at most 256 bytes including the terminator; returns 0 when a unit above 255 was
// met (the text is then still written, each such unit as '?').
int XferPathToNarrow(const XFERFILE* pRec, char* pszPath);

// Block arithmetic. With bTrailingBlock a file has one block more than its full blocks
// (S / B + 1, the serial line's count); without it, as many as hold it (none when empty).
int32_t BlockCount(uint32_t dwSize, int32_t cbBlock, int bTrailingBlock);
// The length of block k, also for an index a peer made up: a full block up to the file's end,
// then what is left of it.
int32_t BlockLength(int32_t k, uint32_t dwSize, int32_t cbBlock);

// Serial frame rule: given the bytes that a 4-byte read returned, the code or 0, and in
// *pbPurge whether the receive buffer must be discarded (the bytes looked like a frame).
uint8_t SerialFrameCode(const uint8_t* pBytes, int nRead, int* pbPurge);

// Socket frame rule: reads through pfnRead (which returns the count it read) and realigns
// a misplaced frame with up to 3 more bytes.
typedef int (*ByteReader)(void* pCtx, uint8_t* pBuf, int n);
uint8_t SocketFrameCode(ByteReader pfnRead, void* pCtx);
