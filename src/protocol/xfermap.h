// Source and destination files of a transfer, read and written through a file mapping of
// exactly the size the batch announced, seen through a window of a few MiB at a time.
#pragma once

#include <windows.h>

#include <cstdint>

// The window keeps the address space and the working set that a transfer needs bounded
// whatever the size of the file, so that the 32-bit program moves files of gigabytes too.
struct XferMapping {
    HANDLE hFile = nullptr;
    HANDLE hMap = nullptr;      // 0 for an empty file, which has nothing to map
    uint8_t* pView = nullptr;   // the window now mapped, or 0
    uint32_t dwViewStart = 0;   // file offset of pView
    uint32_t cbView = 0;
    uint32_t dwSize = 0;        // the announced size, which the mapping has
    DWORD dwAccess = 0;         // FILE_MAP_READ or FILE_MAP_WRITE
};

// Opens an existing source file, checks that its size is still dwSize (so a file that has
// grown to 4 GiB or more is refused, never cut short) and maps it read-only; 1 on success,
// 0 with nothing left open.
int MapSourceFile(const char* pszPath, uint32_t dwSize, XferMapping* pMap);

// Maps dwSize bytes of a new destination file, open for reading and writing, into pMap,
// which then owns the handle; 1 on success. On failure the handle is closed.
int MapDestFile(HANDLE hFile, uint32_t dwSize, XferMapping* pMap);

// The len bytes of block k (blocks of cbBlock bytes), moving the window when they lie
// outside it; 0 when they lie past the announced size or the window cannot be mapped.
// The pointer holds until the next call or the unmapping.
uint8_t* XferBlockBytes(XferMapping* pMap, int32_t k, int32_t cbBlock, int32_t len);

// Unmaps the window and closes the mapping and the file.
void UnmapXferFile(XferMapping* pMap);
