// Source and destination files of a transfer, read and written through one memory mapping
// of exactly the size the batch announced.
#pragma once

#include <windows.h>

#include <cstdint>

struct XferMapping {
    HANDLE hFile;
    HANDLE hMap;        // 0 for an empty file, which has nothing to map
    uint8_t* pView;
};

// Nonzero when a view of dwSize bytes can be mapped at once in this process: the 32-bit
// program cannot find gigabytes of contiguous address space.
int CanMapAtOnce(uint32_t dwSize);

// Opens an existing source file, checks that the low 32 bits of its size are still dwSize
// and maps it read-only; 1 on success, 0 with nothing left open.
int MapSourceFile(const char* pszPath, uint32_t dwSize, XferMapping* pMap);

// Opens or creates a destination file and maps dwSize bytes of it for writing; 1 on success.
// On failure nothing is left open, and a file that this call created is deleted again.
int MapDestFile(const char* pszPath, uint32_t dwSize, XferMapping* pMap);

// Unmaps the view and closes the mapping and the file; with bTrimTo set first cuts the file
// to exactly dwSize bytes, so that an overwritten longer file keeps no stale tail.
void UnmapXferFile(XferMapping* pMap, int bTrimTo, uint32_t dwSize);
