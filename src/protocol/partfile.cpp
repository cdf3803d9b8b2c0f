// Part files of a receive: made hidden under a name that no peer's record can produce,
// renamed to the real name when whole, and cleared away after a receive that never ended.
#include "protocol/partfile.h"

#include "base/paths.h"
#include "protocol/destname.h"

#include <cwchar>

// Every part file's name starts with a character outside any ANSI code page. A record's name
// is read byte by byte into this code page (a unit above 255 is refused), so no peer can name
// a part file, open it, or have its file land on one; and a part file is never taken for a
// received file, since no received file has this character.
static const wchar_t PART_PREFIX[] = L"\x29D6talmox-";

// pszPath in this code page, as the file system calls take it; 0 when it does not fit.
static int WidePath(const char* pszPath, wchar_t* pwsz, int cch)
{
    return MultiByteToWideChar(CP_ACP, 0, pszPath, -1, pwsz, cch) > 0;
}

// The folder's part-file pattern or name: the folder, a backslash and pwszName.
static int PartPath(const char* pszDir, const wchar_t* pwszName, wchar_t* pwszPath)
{
    wchar_t wszDir[PART_PATH_CHARS];
    if (!WidePath(pszDir, wszDir, PART_PATH_CHARS))
        return 0;
    size_t n = wcslen(wszDir);
    const wchar_t* pwszSep = n > 0 && wszDir[n - 1] == L'\\' ? L"" : L"\\";
    int cch = _snwprintf(pwszPath, PART_PATH_CHARS, L"%ls%ls%ls", wszDir, pwszSep, pwszName);
    return cch > 0 && cch < PART_PATH_CHARS;
}

HANDLE CreatePartFile(const char* pszDir, wchar_t* pwszPath)
{
    static LONG s_nMade;
    wchar_t wszName[64];
    _snwprintf(wszName, 64, L"%ls%lu-%ld.part", PART_PREFIX, GetCurrentProcessId(),
               InterlockedIncrement(&s_nMade));
    wszName[63] = 0;
    if (!PartPath(pszDir, wszName, pwszPath))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(pwszPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_HIDDEN, nullptr);
}

// Whether the rename to pwszTo failed only because something already has that name.
static int NameTaken(const wchar_t* pwszTo)
{
    DWORD dwErr = GetLastError();
    return dwErr == ERROR_ALREADY_EXISTS || dwErr == ERROR_FILE_EXISTS ||
           (dwErr == ERROR_ACCESS_DENIED && GetFileAttributesW(pwszTo) != INVALID_FILE_ATTRIBUTES);
}

int KeepPartFile(const wchar_t* pwszPart, const char* pszDir, const char* pszName, int bReplace)
{
    // The received file is an ordinary one; a crash between the two steps leaves a visible
    // part file, which the next start still clears away by its name.
    SetFileAttributesW(pwszPart, FILE_ATTRIBUTE_NORMAL);
    enum { MAX_NUMBER = 9999 };
    for (int n = 1; n <= MAX_NUMBER; n++) {
        char szName[MAX_PATH], szPath[MAX_PATH];
        wchar_t wszPath[PART_PATH_CHARS];
        if (!NumberedFileName(pszName, n, szName, sizeof szName) ||
            !JoinPath(szPath, sizeof szPath, pszDir, szName) ||
            !WidePath(szPath, wszPath, PART_PATH_CHARS))
            return 0;
        // Without MOVEFILE_REPLACE_EXISTING the rename fails on a name that is taken, also
        // on one taken a moment ago: nothing is ever replaced that was not meant to be.
        if (MoveFileExW(pwszPart, wszPath, n == 1 && bReplace ? MOVEFILE_REPLACE_EXISTING : 0))
            return 1;
        if (!NameTaken(wszPath))
            return 0;
    }
    return 0;
}

void RemoveStaleReceiveFiles(const char* pszDir)
{
    wchar_t wszPattern[PART_PATH_CHARS], wszPath[PART_PATH_CHARS];
    wchar_t wszName[64];
    _snwprintf(wszName, 64, L"%ls*", PART_PREFIX);
    wszName[63] = 0;
    if (!PartPath(pszDir, wszName, wszPattern))
        return;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(wszPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        // A part file of a receive going on now is open and shared with nobody: it stays.
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            wcsncmp(fd.cFileName, PART_PREFIX, wcslen(PART_PREFIX)) == 0 &&
            PartPath(pszDir, fd.cFileName, wszPath))
            DeleteFileW(wszPath);
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
}
