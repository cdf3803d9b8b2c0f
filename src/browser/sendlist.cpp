// The Send List: adding files from path lists, drops and the file pane's selection, and
// removing the selected rows, with the running byte total kept in step.
#include "browser/sendlist.h"

#include "base/paths.h"
#include "connection/settings.h"
#include "protocol/packets.h"
#include "resource.h"
#include "winshared/listview.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <vector>

enum { ADD_OK = 1, ADD_UNREADABLE = 0, ADD_DUPLICATE = -1, ADD_TOO_LONG = -2, ADD_TOO_LARGE = -3 };

// A batch record carries a file's size in 32 bits: a file of 4 GiB or more cannot be sent.
static const uint64_t LARGEST_SENDABLE = 0xFFFFFFFFull;

// The files one adding operation left out because they are too large to send or their name
// is already listed; each kind is told in one box once the operation is over (Tell), so that
// a drop of many files does not bring up a box per file.
struct LeftOut {
    std::vector<std::string> tooLarge, sameName;
    void Tell() const;
};

// The paths, one a line; past the first few only how many more there are.
static std::string PathLines(const std::vector<std::string>& paths)
{
    enum { SHOWN = 10 };
    std::string lines;
    for (size_t i = 0; i < paths.size() && i < SHOWN; i++)
        lines += (i ? "\n" : "") + paths[i];
    if (paths.size() > SHOWN) {
        char szMore[64];
        FormatString(g_wnd.hInst, szMore, sizeof szMore, IDS_AND_MORE, (int)(paths.size() - SHOWN));
        lines += std::string("\n") + szMore;
    }
    return lines;
}

void LeftOut::Tell() const
{
    if (tooLarge.empty() && sameName.empty())
        return;
    UpdateSendListStatus();     // the summary shows what did go in while the box is up
    if (!tooLarge.empty())
        StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_TOO_LARGE, IDS_ERROR, MB_ICONHAND,
                  PathLines(tooLarge).c_str());
    if (!sameName.empty())
        StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_SAME_NAME, IDS_SENDLIST_CAP,
                  MB_ICONINFORMATION, PathLines(sameName).c_str());
}

int GetListPath(const char* pszList, int iIndex, char* pszBuf, int cbBuf)
{
    int nCount = 0;
    const char* p = pszList;
    for (; !(p[0] == 0 && p[1] == 0); p++)
        if (p[0] == 0 && p[1] != 0)
            nCount++;
    if (nCount == 0 && pszList[0] != 0)
        nCount = 1;
    if (iIndex == -1)
        return nCount;
    if (iIndex > nCount || iIndex < 0 || cbBuf <= 0)
        return 0;

    // Composed in a buffer large enough for any folder and name, so that the caller learns
    // the whole length and can refuse a path that does not fit instead of cutting it.
    char szPath[1024];
    if (iIndex == 0 && nCount == 1) {
        snprintf(szPath, sizeof szPath, "%s", pszList);
    } else {
        const char* pszName = pszList;
        for (int i = 0; i <= iIndex; i++)
            pszName += strlen(pszName) + 1;
        JoinPath(szPath, sizeof szPath, pszList, pszName);
    }
    size_t len = strlen(szPath);
    size_t cbCopy = len < (size_t)cbBuf - 1 ? len : (size_t)cbBuf - 1;
    memcpy(pszBuf, szPath, cbCopy);
    pszBuf[cbCopy] = 0;
    pszBuf[cbBuf - 1] = 0;
    return (int)len;
}

// The steps every way of adding shares. iIcon < 0 asks the shell for the path's icon.
// A batch record carries 125 characters of a path and the receiver keeps only the file name,
// so a file in deep folders is sent by what fits and opened by its full path; only a name
// that does not fit a record by itself, or a path longer than the system's paths, is
// refused, with a message that says which. A file too large to send, or whose name is already
// listed, is noted in *pLeftOut.
static int AddOneFile(const char* pszPath, int iIcon, LeftOut* pLeftOut)
{
    if (strlen(pszPath) > SENDLIST_PATH_BYTES) {
        StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_PATH_TOO_LONG, IDS_ERROR, MB_ICONHAND,
                  pszPath);
        return ADD_TOO_LONG;
    }
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return ADD_UNREADABLE;
    LARGE_INTEGER size;
    BOOL bSized = GetFileSizeEx(hFile, &size);
    CloseHandle(hFile);
    if (!bSized)
        return ADD_UNREADABLE;
    if ((uint64_t)size.QuadPart > LARGEST_SENDABLE) {
        pLeftOut->tooLarge.push_back(pszPath);
        return ADD_TOO_LARGE;
    }
    DWORD dwSize = (DWORD)size.QuadPart;
    const char* pszBase = strrchr(pszPath, '\\');
    pszBase = pszBase ? pszBase + 1 : pszPath;
    if (strlen(pszBase) > XFER_PATH_CHARS) {
        StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_NAME_TOO_LONG, IDS_ERROR, MB_ICONHAND,
                  pszBase);
        return ADD_TOO_LONG;
    }

    char szName[128];
    PathFileName(pszPath, szName);
    HWND hwndList = g_wnd.hwndSendList;
    LVFINDINFOA fi = {};
    fi.flags = LVFI_STRING;
    fi.psz = szName;
    if (SendMessageA(hwndList, LVM_FINDITEMA, (WPARAM)-1, (LPARAM)&fi) >= 0) {
        pLeftOut->sameName.push_back(pszPath);
        return ADD_DUPLICATE;
    }

    g_wnd.qwSendListBytes += dwSize;
    int iItem = InsertListItem(hwndList, 0, szName, iIcon >= 0 ? iIcon : SysIconOf(pszPath),
                               (LPARAM)dwSize);
    char szSize[32];
    FormatSize(dwSize, szSize);
    SetSubItemText(hwndList, iItem, 1, szSize);
    SetSubItemText(hwndList, iItem, 2, pszPath);
    return ADD_OK;
}

void AddPathsToSendList(const char* pszList)
{
    int nCount = GetListPath(pszList, -1, nullptr, 0);
    LeftOut leftOut;
    for (int i = 0; i < nCount; i++) {
        // Longer than any path a row may carry, so that a path cut here is still refused.
        char szPath[1024];
        GetListPath(pszList, i, szPath, sizeof szPath);
        AddOneFile(szPath, -1, &leftOut);
    }
    leftOut.Tell();
}

void AddDroppedFilesToSendList(HWND, HDROP hDrop)
{
    UINT nFiles = DragQueryFileA(hDrop, 0xFFFFFFFF, nullptr, 0);
    LeftOut leftOut;
    for (UINT i = 0; i < nFiles; i++) {
        std::vector<char> path(DragQueryFileA(hDrop, i, nullptr, 0) + 1, '\0');
        DragQueryFileA(hDrop, i, path.data(), (UINT)path.size());
        AddOneFile(path.data(), -1, &leftOut);
    }
    DragFinish(hDrop);
    UpdateSendListStatus();
    leftOut.Tell();
}

// The 100-file check of the Add command: rows listed plus rows selected, folders included.
static int TooManyForSendList()
{
    int nListed = (int)SendMessageA(g_wnd.hwndSendList, LVM_GETITEMCOUNT, 0, 0);
    int nSelected = (int)SendMessageA(g_wnd.hwndFileList, LVM_GETSELECTEDCOUNT, 0, 0);
    if (nListed + nSelected <= MAX_SEND_FILES)
        return 0;
    StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_TOO_MANY_FILES, IDS_ERROR, MB_ICONHAND);
    return 1;
}

void AddSelectedToSendList()
{
    if (TooManyForSendList())
        return;
    HWND hwndFiles = g_wnd.hwndFileList;
    LeftOut leftOut;
    int i = -1;
    while ((i = NextSelectedItem(hwndFiles, i)) >= 0) {
        char szText[256] = "";
        LVITEMA it = {};
        it.mask = LVIF_TEXT | LVIF_IMAGE;
        it.iItem = i;
        it.pszText = szText;
        it.cchTextMax = sizeof szText;
        SendMessageA(hwndFiles, LVM_GETITEMA, 0, (LPARAM)&it);
        char szPath[600];
        JoinPath(szPath, sizeof szPath, g_settings.szCurDir, szText);
        if (AddOneFile(szPath, it.iImage, &leftOut) == ADD_UNREADABLE)
            MessageBeep(0);
    }
    UpdateSendListStatus();
    leftOut.Tell();
}

void RemoveSelectedFromSendList()
{
    HWND hwndList = g_wnd.hwndSendList;
    int nSelected = (int)SendMessageA(hwndList, LVM_GETSELECTEDCOUNT, 0, 0);
    if (nSelected <= 0) {
        MessageBeep(0);
        return;
    }
    int nRows = (int)SendMessageA(hwndList, LVM_GETITEMCOUNT, 0, 0);
    int* pIndexes = new int[nRows > 0 ? nRows : 1];
    int n = 0;
    int i = -1;
    while (n < nRows && (i = NextSelectedItem(hwndList, i)) >= 0) {
        LPARAM dwSize = 0;
        ListItemParam(hwndList, i, &dwSize);
        g_wnd.qwSendListBytes -= (uint32_t)dwSize;
        pIndexes[n++] = i;
    }
    // From the highest index down, so that the indexes still to go stay valid. The list is
    // drawn once, after the last row has gone, not after each row.
    SendMessageA(hwndList, WM_SETREDRAW, FALSE, 0);
    while (n > 0)
        SendMessageA(hwndList, LVM_DELETEITEM, (WPARAM)pIndexes[--n], 0);
    SendMessageA(hwndList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwndList, nullptr, TRUE);
    delete[] pIndexes;
    UpdateSendListStatus();
}

std::vector<std::string> CommandLinePaths(const char* pszCmdLine)
{
    std::vector<std::string> paths;
    // The system's splitter takes the first word for the program's name, which has rules of
    // its own; a stand-in name goes first, so that every path is split by the same rules.
    std::string line = std::string("x ") + pszCmdLine;
    // A line break that ends a command line typed or pasted is no part of its last path.
    while (line.back() == '\r' || line.back() == '\n')
        line.pop_back();
    int cch = MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(cch > 0 ? cch : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, wide.data(), (int)wide.size());
    int nArgs = 0;
    LPWSTR* ppszArgs = CommandLineToArgvW(wide.data(), &nArgs);
    if (!ppszArgs)
        return paths;
    for (int i = 1; i < nArgs; i++) {
        int cb = WideCharToMultiByte(CP_ACP, 0, ppszArgs[i], -1, nullptr, 0, nullptr, nullptr);
        if (cb <= 1)
            continue;       // an empty argument ("") names nothing
        std::vector<char> arg(cb, '\0');
        WideCharToMultiByte(CP_ACP, 0, ppszArgs[i], -1, arg.data(), cb, nullptr, nullptr);
        // Made absolute against this process's current folder. A result too long for the
        // buffer is kept as given, to be refused as too long when it is added.
        char szFull[1024];
        DWORD n = GetFullPathNameA(arg.data(), sizeof szFull, szFull, nullptr);
        paths.push_back(n > 0 && n < sizeof szFull ? szFull : arg.data());
    }
    LocalFree(ppszArgs);
    return paths;
}

std::string AbsoluteCommandLine(const char* pszCmdLine)
{
    std::string line;
    for (const std::string& path : CommandLinePaths(pszCmdLine)) {
        if (!line.empty())
            line += ' ';
        // Each path in quotes; backslashes are doubled only where they stand before a quote
        // (the closing one included), and a quote within is escaped.
        line += '"';
        size_t nSlashes = 0;
        for (char c : path) {
            if (c == '\\') {
                nSlashes++;
                continue;
            }
            line.append(c == '"' ? 2 * nSlashes + 1 : nSlashes, '\\');
            nSlashes = 0;
            line += c;
        }
        line.append(2 * nSlashes, '\\');
        line += '"';
    }
    return line;
}

void AddCommandLineToSendList(const char* pszCmdLine)
{
    LeftOut leftOut;
    for (const std::string& path : CommandLinePaths(pszCmdLine))
        if (AddOneFile(path.c_str(), -1, &leftOut) == ADD_UNREADABLE)
            StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_NOT_A_FILE, IDS_ERROR, MB_ICONHAND,
                      path.c_str());
    leftOut.Tell();
}

void UpdateSendListStatus()
{
    if (!g_wnd.hwndStatusText)
        return;
    int n = (int)SendMessageA(g_wnd.hwndSendList, LVM_GETITEMCOUNT, 0, 0);
    char szSize[32], szText[256];
    FormatSize(g_wnd.qwSendListBytes, szSize);
    FormatString(g_wnd.hInst, szText, sizeof szText, IDS_SENDLIST_STATUS, n, szSize);
    SetWindowTextA(g_wnd.hwndStatusText, szText);
}
