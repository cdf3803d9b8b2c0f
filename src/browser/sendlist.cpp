// The Send List: adding files from path lists, drops and the file pane's selection, and
// removing the selected rows, with the running byte total kept in step.
#include "browser/sendlist.h"

#include "base/pathjoin.h"
#include "browser/listview.h"
#include "browser/strtable.h"
#include "browser/uistate.h"
#include "connection/settings.h"
#include "protocol/packets.h"
#include "resource.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>

enum { ADD_OK = 1, ADD_UNREADABLE = 0, ADD_DUPLICATE = -1, ADD_TOO_LONG = -2 };

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
// A path the send could not carry whole (a batch record holds 125 characters) is refused
// with the default beep rather than cut.
static int AddOneFile(const char* pszPath, int iIcon)
{
    if (strlen(pszPath) > XFER_PATH_CHARS || strlen(pszPath) > SENDLIST_PATH_BYTES) {
        MessageBeep(0);
        return ADD_TOO_LONG;
    }
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return ADD_UNREADABLE;
    DWORD dwSize = GetFileSize(hFile, nullptr);
    CloseHandle(hFile);

    char szName[128];
    PathFileName(pszPath, szName);
    HWND hwndList = g_wnd.hwndSendList;
    LVFINDINFOA fi = {};
    fi.flags = LVFI_STRING;
    fi.psz = szName;
    if (SendMessageA(hwndList, LVM_FINDITEMA, (WPARAM)-1, (LPARAM)&fi) >= 0)
        return ADD_DUPLICATE;

    g_wnd.dwSendListBytes += dwSize;
    int iItem = InsertListItem(hwndList, 0, szName, iIcon >= 0 ? iIcon : SysIconOf(pszPath),
                               (LPARAM)dwSize);
    char szSize[32];
    FormatSize((int32_t)dwSize, szSize);
    SetSubItemText(hwndList, iItem, 1, szSize);
    SetSubItemText(hwndList, iItem, 2, pszPath);
    return ADD_OK;
}

void AddPathsToSendList(const char* pszList)
{
    int nCount = GetListPath(pszList, -1, nullptr, 0);
    for (int i = 0; i < nCount; i++) {
        char szPath[256];
        if (GetListPath(pszList, i, szPath, sizeof szPath) >= (int)sizeof szPath) {
            MessageBeep(0);
            continue;
        }
        AddOneFile(szPath, -1);
    }
}

void AddDroppedFilesToSendList(HWND, HDROP hDrop)
{
    UINT nFiles = DragQueryFileA(hDrop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < nFiles; i++) {
        char szPath[256];
        if (DragQueryFileA(hDrop, i, nullptr, 0) > SENDLIST_PATH_BYTES) {
            MessageBeep(0);
            continue;
        }
        DragQueryFileA(hDrop, i, szPath, 255);
        AddOneFile(szPath, -1);
    }
    DragFinish(hDrop);
    UpdateSendListStatus();
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
        if (AddOneFile(szPath, it.iImage) == ADD_UNREADABLE)
            MessageBeep(0);
    }
    UpdateSendListStatus();
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
        g_wnd.dwSendListBytes -= (uint32_t)dwSize;
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

// A command line names one path as it stands, or several when each is in double quotes
// (the way a shell quotes paths with spaces). Each path becomes a one-string path list.
void AddCommandLineToSendList(const char* pszCmdLine)
{
    char szList[600];
    const char* p = pszCmdLine;
    while (*p == ' ')
        p++;
    if (*p != '"') {
        size_t n = strlen(p);
        while (n && (p[n - 1] == ' ' || p[n - 1] == '\r' || p[n - 1] == '\n'))
            n--;
        if (n == 0)
            return;
        if (n > sizeof szList - 2) {
            MessageBeep(0);
            return;
        }
        memcpy(szList, p, n);
        szList[n] = szList[n + 1] = 0;
        AddPathsToSendList(szList);
        return;
    }
    while (*p == '"') {
        const char* pEnd = strchr(p + 1, '"');
        size_t n = pEnd ? (size_t)(pEnd - p - 1) : strlen(p + 1);
        if (n > 0 && n <= sizeof szList - 2) {
            memcpy(szList, p + 1, n);
            szList[n] = szList[n + 1] = 0;
            AddPathsToSendList(szList);
        } else if (n > 0) {
            MessageBeep(0);
        }
        if (!pEnd)
            break;
        p = pEnd + 1;
        while (*p == ' ')
            p++;
    }
}

void UpdateSendListStatus()
{
    if (!g_wnd.hwndStatusText)
        return;
    int n = (int)SendMessageA(g_wnd.hwndSendList, LVM_GETITEMCOUNT, 0, 0);
    char szSize[32], szText[256];
    FormatSize((int32_t)g_wnd.dwSendListBytes, szSize);
    FormatString(g_wnd.hInst, szText, sizeof szText, IDS_SENDLIST_STATUS, n, szSize);
    SetWindowTextA(g_wnd.hwndStatusText, szText);
}
