// Memory-mapped source and destination files of a transfer, and the window that moves
// over them with the blocks.
#include "protocol/xfermap.h"

// Large enough that moving the window costs nothing beside the blocks it covers, small
// enough that a 32-bit process always finds the room and its working set stays small.
enum : uint32_t { XFER_WINDOW_BYTES = 4u << 20 };

static uint32_t AllocationGranularity()
{
    static uint32_t s_dwGranularity;
    if (!s_dwGranularity) {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        s_dwGranularity = si.dwAllocationGranularity ? si.dwAllocationGranularity : 65536;
    }
    return s_dwGranularity;
}

// Creates the mapping of the whole announced size; the window is mapped on first use.
static int CreateXferMapping(XferMapping* pMap, DWORD flProtect, DWORD dwAccess)
{
    pMap->dwAccess = dwAccess;
    pMap->hMap = CreateFileMappingA(pMap->hFile, nullptr, flProtect, 0, pMap->dwSize, nullptr);
    return pMap->hMap != nullptr;
}

static void UnmapWindow(XferMapping* pMap)
{
    if (pMap->pView)
        UnmapViewOfFile(pMap->pView);
    pMap->pView = nullptr;
    pMap->dwViewStart = 0;
    pMap->cbView = 0;
}

// Maps the window that starts at the granule holding dwOffset; 1 on success.
static int MoveWindow(XferMapping* pMap, uint32_t dwOffset)
{
    UnmapWindow(pMap);
    uint32_t dwStart = dwOffset & ~(AllocationGranularity() - 1);
    uint32_t cb = pMap->dwSize - dwStart;
    if (cb > XFER_WINDOW_BYTES)
        cb = XFER_WINDOW_BYTES;
    pMap->pView = (uint8_t*)MapViewOfFile(pMap->hMap, pMap->dwAccess, 0, dwStart, cb);
    if (!pMap->pView)
        return 0;
    pMap->dwViewStart = dwStart;
    pMap->cbView = cb;
    return 1;
}

int MapSourceFile(const char* pszPath, uint32_t dwSize, XferMapping* pMap)
{
    *pMap = XferMapping{};
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    // The list carries the size taken when the batch was built; a file that has changed
    // since then would make the receiver expect other blocks than the ones it can be sent.
    LARGE_INTEGER size;
    if (!GetFileSizeEx(hFile, &size) || (uint64_t)size.QuadPart != dwSize) {
        CloseHandle(hFile);
        return 0;
    }
    pMap->hFile = hFile;
    pMap->dwSize = dwSize;
    if (dwSize == 0)
        return 1;
    // The first window is mapped now, so that a source that cannot be read through a
    // mapping is known before the receiver is asked to create the file.
    if (!CreateXferMapping(pMap, PAGE_READONLY, FILE_MAP_READ) || !MoveWindow(pMap, 0)) {
        UnmapXferFile(pMap);
        return 0;
    }
    return 1;
}

int MapDestFile(HANDLE hFile, uint32_t dwSize, XferMapping* pMap)
{
    *pMap = XferMapping{};
    if (hFile == INVALID_HANDLE_VALUE || !hFile)
        return 0;
    pMap->hFile = hFile;
    pMap->dwSize = dwSize;
    if (dwSize == 0)
        return 1;       // nothing to write
    // As for a source, the first window is mapped now: a file that cannot be written
    // through a mapping is refused at its open rather than block by block.
    if (!CreateXferMapping(pMap, PAGE_READWRITE, FILE_MAP_WRITE) || !MoveWindow(pMap, 0)) {
        UnmapXferFile(pMap);
        return 0;
    }
    return 1;
}

uint8_t* XferBlockBytes(XferMapping* pMap, int32_t k, int32_t cbBlock, int32_t len)
{
    uint64_t qwOffset = (uint64_t)(uint32_t)k * (uint32_t)cbBlock;
    if (!pMap->hMap || k < 0 || len <= 0 || qwOffset + (uint32_t)len > pMap->dwSize)
        return nullptr;
    uint32_t dwOffset = (uint32_t)qwOffset;
    uint32_t dwEnd = dwOffset + (uint32_t)len;
    int bInside = pMap->pView && dwOffset >= pMap->dwViewStart &&
                  dwEnd <= pMap->dwViewStart + pMap->cbView;
    if (!bInside && (!MoveWindow(pMap, dwOffset) || dwEnd > pMap->dwViewStart + pMap->cbView))
        return nullptr;
    return pMap->pView + (dwOffset - pMap->dwViewStart);
}

void UnmapXferFile(XferMapping* pMap)
{
    UnmapWindow(pMap);
    if (pMap->hMap)
        CloseHandle(pMap->hMap);
    if (pMap->hFile)
        CloseHandle(pMap->hFile);
    *pMap = XferMapping{};
}
