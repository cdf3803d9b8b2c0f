// Memory-mapped source and destination files of a transfer.
#include "protocol/xfermap.h"

enum : uint32_t { MAX_VIEW_32BIT = 1u << 30 };

int CanMapAtOnce(uint32_t dwSize)
{
    return sizeof(void*) > 4 || dwSize <= MAX_VIEW_32BIT;
}

int MapSourceFile(const char* pszPath, uint32_t dwSize, XferMapping* pMap)
{
    *pMap = XferMapping{nullptr, nullptr, nullptr};
    if (!CanMapAtOnce(dwSize))
        return 0;
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    // The list carries the size taken when the batch was built; a file that has changed
    // since then would make the receiver expect other blocks than the ones it can be sent.
    LARGE_INTEGER size;
    if (!GetFileSizeEx(hFile, &size) || (uint32_t)size.QuadPart != dwSize) {
        CloseHandle(hFile);
        return 0;
    }
    pMap->hFile = hFile;
    if (dwSize == 0)
        return 1;
    pMap->hMap = CreateFileMappingA(hFile, nullptr, PAGE_READONLY, 0, dwSize, nullptr);
    if (pMap->hMap)
        pMap->pView = (uint8_t*)MapViewOfFile(pMap->hMap, FILE_MAP_READ, 0, 0, dwSize);
    if (!pMap->pView) {
        UnmapXferFile(pMap, 0, 0);
        return 0;
    }
    return 1;
}

int MapDestFile(const char* pszPath, uint32_t dwSize, XferMapping* pMap)
{
    *pMap = XferMapping{nullptr, nullptr, nullptr};
    if (!CanMapAtOnce(dwSize))
        return 0;
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    int bCreated = GetLastError() != ERROR_ALREADY_EXISTS;
    pMap->hFile = hFile;
    if (dwSize == 0)
        return 1;       // nothing to write: the close cuts the file to zero bytes
    pMap->hMap = CreateFileMappingA(hFile, nullptr, PAGE_READWRITE, 0, dwSize, nullptr);
    if (pMap->hMap)
        pMap->pView = (uint8_t*)MapViewOfFile(pMap->hMap, FILE_MAP_WRITE, 0, 0, dwSize);
    if (!pMap->pView) {
        UnmapXferFile(pMap, 0, 0);
        if (bCreated)
            DeleteFileA(pszPath);
        return 0;
    }
    return 1;
}

void UnmapXferFile(XferMapping* pMap, int bTrimTo, uint32_t dwSize)
{
    if (pMap->pView)
        UnmapViewOfFile(pMap->pView);
    if (pMap->hMap)
        CloseHandle(pMap->hMap);
    if (pMap->hFile) {
        if (bTrimTo) {
            LARGE_INTEGER pos;
            pos.QuadPart = dwSize;
            if (SetFilePointerEx(pMap->hFile, pos, nullptr, FILE_BEGIN))
                SetEndOfFile(pMap->hFile);
        }
        CloseHandle(pMap->hFile);
    }
    *pMap = XferMapping{nullptr, nullptr, nullptr};
}
