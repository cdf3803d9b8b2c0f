// Directory listing: the two list views of the main window, filling one from a folder or the
// drives, the per-row record behind each item and the order the rows are sorted in.
#include "browser/listing.h"

#include "base/paths.h"
#include "connection/settings.h"
#include "resource.h"
#include "winshared/listview.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <shellapi.h>
#include <cstdio>
#include <cstring>


// Every list view that is filled from the disk has a row table of its own, so that listing
// into another dialog never changes what the file pane's lParam values mean. The file pane's
// table starts as the one allocated at start-up; a table grows when a folder has more
// entries than it holds.
struct ROWTABLE {
    HWND hwndList;
    FILEROW* pRows;
    int nCapacity;
};
enum { MAX_ROW_TABLES = 8 };
static ROWTABLE s_tables[MAX_ROW_TABLES];

// The table a sort compares in; CompareFileRows has only the two lParams and the order.
static FILEROW* s_pSortRows;

// Rows the start-up table (g_wnd.FileRows) holds; it follows the table when it grows.
static int s_nStartupCapacity = FILEROWS_INITIAL;

static FILEROW* AllocRows(int nRows)
{
    return (FILEROW*)VirtualAlloc(nullptr, (SIZE_T)nRows * sizeof(FILEROW), MEM_COMMIT,
                                  PAGE_READWRITE);
}

// The table of a list view, created on first use. A slot whose list view has been destroyed
// is taken over by the next new list view; its memory goes unless it is the start-up table,
// which only ever serves the file pane.
static ROWTABLE* TableOfList(HWND hwndList)
{
    ROWTABLE* pFree = nullptr;
    for (ROWTABLE& t : s_tables) {
        if (t.hwndList == hwndList && t.pRows)
            return &t;
        if (!pFree && (!t.hwndList || !IsWindow(t.hwndList)))
            pFree = &t;
    }
    if (!pFree)
        return nullptr;
    if (pFree->pRows && pFree->pRows != g_wnd.FileRows)
        VirtualFree(pFree->pRows, 0, MEM_RELEASE);
    if (hwndList == g_wnd.hwndFileList && g_wnd.FileRows) {
        pFree->pRows = g_wnd.FileRows;
        pFree->nCapacity = s_nStartupCapacity;
    } else {
        pFree->pRows = AllocRows(FILEROWS_INITIAL);
        pFree->nCapacity = FILEROWS_INITIAL;
    }
    pFree->hwndList = pFree->pRows ? hwndList : nullptr;
    return pFree->pRows ? pFree : nullptr;
}

FILEROW* RowsOfList(HWND hwndList)
{
    ROWTABLE* t = TableOfList(hwndList);
    return t ? t->pRows : nullptr;
}

// Makes room for row r; returns 0 when the memory for a larger table is not there, in which
// case the listing stops at the rows it has.
static int EnsureRow(ROWTABLE* t, int r)
{
    if (r < t->nCapacity)
        return 1;
    int nNew = t->nCapacity * 2;
    FILEROW* pNew = AllocRows(nNew);
    if (!pNew)
        return 0;
    memcpy(pNew, t->pRows, (size_t)t->nCapacity * sizeof(FILEROW));
    if (t->pRows == g_wnd.FileRows) {
        g_wnd.FileRows = pNew;
        s_nStartupCapacity = nNew;
    }
    VirtualFree(t->pRows, 0, MEM_RELEASE);
    t->pRows = pNew;
    t->nCapacity = nNew;
    return 1;
}

FILEROW* RowsOfListWithRoom(HWND hwndList, int r)
{
    ROWTABLE* t = TableOfList(hwndList);
    return t && EnsureRow(t, r) ? t->pRows : nullptr;
}

// A byte of a name widened as a signed 8-bit value, as the keys are defined.
static uint32_t SignedByte(char c)
{
    return (uint32_t)(int32_t)(int8_t)c;
}

uint32_t NameKey(const char* pszName, int bFolder)
{
    uint32_t b[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && pszName[i]; i++)
        b[i] = SignedByte(pszName[i]);
    uint32_t v = (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
    return bFolder ? ((v & 0xDF5F5F5Fu) | 0x80000000u) : (v & 0x5F5F5F5Fu);
}

uint32_t ExtKey(const char* pszName)
{
    const char* pDot = strrchr(pszName, '.');
    if (!pDot)
        return 0;
    uint32_t p1 = SignedByte(pDot[1]);
    uint32_t p2 = pDot[1] ? SignedByte(pDot[2]) : 0;
    return (SignedByte('.') << 16) + (p1 << 8) + p2;
}

int CALLBACK CompareFileRows(LPARAM lRowA, LPARAM lRowB, LPARAM lSortOrder)
{
    const FILEROW* pRows = s_pSortRows ? s_pSortRows : RowsOfList(g_wnd.hwndFileList);
    if (!pRows)
        return 0;
    const FILEROW& a = pRows[lRowA];
    const FILEROW& b = pRows[lRowB];
    switch (lSortOrder) {
    case 0:
        return (int32_t)a.dwNameKey < (int32_t)b.dwNameKey ? -1
             : (int32_t)a.dwNameKey > (int32_t)b.dwNameKey ? 1 : 0;
    case 1:
        return a.dwTimeHigh < b.dwTimeHigh ? -1 : a.dwTimeHigh > b.dwTimeHigh ? 1 : 0;
    case 2:
        return a.dwSizeLow < b.dwSizeLow ? -1 : a.dwSizeLow > b.dwSizeLow ? 1 : 0;
    case 3:
        return a.dwExtKey < b.dwExtKey ? -1 : a.dwExtKey > b.dwExtKey ? 1 : 0;
    default:
        return 0;
    }
}

// Types whose icon is stored in each file itself, so that the file must be asked.
static int IconIsInFile(const char* pszExt)
{
    static const char* const kOwnIcon[] = {".exe", ".ico", ".lnk", ".cur", ".ani", ".dll"};
    for (const char* psz : kOwnIcon)
        if (_stricmp(pszExt, psz) == 0)
            return 1;
    return 0;
}

// The icon of a folder entry. Asking the shell about each file opens it, which costs seconds
// per thousand files under Wine; most icons depend on the type alone, so those are asked by
// name and attributes only (SHGFI_USEFILEATTRIBUTES) and kept per extension for the listing.
struct ICONCACHE {
    char szExt[64][16];
    int iIcon[64];
    int nUsed;
    int iFolder;
};

static int EntryIcon(ICONCACHE* c, const char* pszPath, const char* pszName, int bDir)
{
    if (bDir) {
        if (c->iFolder < 0)
            c->iFolder = SysIconOf(pszName, FILE_ATTRIBUTE_DIRECTORY, SHGFI_USEFILEATTRIBUTES);
        return c->iFolder;
    }
    const char* pszExt = strrchr(pszName, '.');
    if (!pszExt || strlen(pszExt) >= sizeof c->szExt[0])
        pszExt = "";
    if (IconIsInFile(pszExt))
        return SysIconOf(pszPath);
    for (int i = 0; i < c->nUsed; i++)
        if (_stricmp(c->szExt[i], pszExt) == 0)
            return c->iIcon[i];
    int iIcon = SysIconOf(pszName, FILE_ATTRIBUTE_NORMAL, SHGFI_USEFILEATTRIBUTES);
    if (c->nUsed < 64) {
        strcpy(c->szExt[c->nUsed], pszExt);
        c->iIcon[c->nUsed++] = iIcon;
    }
    return iIcon;
}

// Cursor and redrawing around a long fill: the wait cursor shows, the list draws once.
static HCURSOR BeginFill(HWND hwndList)
{
    HCURSOR hOld = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    SendMessageA(hwndList, WM_SETREDRAW, FALSE, 0);
    return hOld;
}

static void EndFill(HWND hwndList, FILEROW* pRows, HCURSOR hOld)
{
    s_pSortRows = pRows;
    SendMessageA(hwndList, LVM_SORTITEMS, (WPARAM)g_settings.iSortOrder.load(),
                 (LPARAM)CompareFileRows);
    s_pSortRows = nullptr;
    SendMessageA(hwndList, WM_SETREDRAW, TRUE, 0);
    SetCursor(hOld);
}

static int ListDrives(HWND hwndList, ROWTABLE* t)
{
    int r = 0;
    for (int d = 0; d < 26; d++) {
        if (!(g_wnd.DriveMask & (1u << d)) || !EnsureRow(t, r))
            continue;
        char szRoot[8];
        snprintf(szRoot, sizeof szRoot, "%c:\\", 'A' + d);
        t->pRows[r] = {0x80000000u | (uint32_t)d, (uint32_t)d, (uint32_t)d, (uint32_t)d};
        InsertListItem(hwndList, r, szRoot, SysIconOf(szRoot), r);
        r++;
    }
    return r;
}

// One pass over the folder: folders (bFiles 0) or files (bFiles 1). Returns the next row.
static int ListPass(HWND hwndList, ROWTABLE* t, const char* pszDir, int bFiles, int r,
                    HANDLE hFind, WIN32_FIND_DATAA* pFd)
{
    int iPos = 0;
    ICONCACHE icons = {};
    icons.iFolder = -1;
    do {
        int bDir = (pFd->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (bFiles == bDir || (bDir && pFd->cFileName[0] == '.'))
            continue;
        if (!EnsureRow(t, r))
            break;
        char szPath[MAX_PATH * 2];
        JoinPath(szPath, sizeof szPath, pszDir, pFd->cFileName);
        FILEROW& row = t->pRows[r];
        row.dwNameKey = NameKey(pFd->cFileName, bDir);
        row.dwSizeLow = pFd->nFileSizeLow;
        row.dwTimeHigh = bDir ? 0 : pFd->ftLastWriteTime.dwHighDateTime;
        row.dwExtKey = ExtKey(pFd->cFileName);
        int iItem = InsertListItem(hwndList, iPos++, pFd->cFileName,
                                   EntryIcon(&icons, szPath, pFd->cFileName, bDir), r);
        r++;
        if (bDir || iItem < 0)
            continue;
        char szText[32];
        FormatSize((uint64_t)pFd->nFileSizeHigh << 32 | pFd->nFileSizeLow, szText);
        SetSubItemText(hwndList, iItem, 1, szText);
        SYSTEMTIME st;
        FileTimeToSystemTime(&pFd->ftLastWriteTime, &st);
        snprintf(szText, sizeof szText, "%02d/%02d/%02d", st.wMonth, st.wDay, st.wYear % 100);
        SetSubItemText(hwndList, iItem, 2, szText);
    } while (FindNextFileA(hFind, pFd));
    FindClose(hFind);
    return r;
}

void FillFileList(HWND hwndList, const char* pszPath, int bFoldersOnly)
{
    SendMessageA(hwndList, LVM_DELETEALLITEMS, 0, 0);
    ROWTABLE* t = TableOfList(hwndList);
    if (!t)
        return;
    if (!pszPath[0]) {
        HCURSOR hOld = BeginFill(hwndList);
        ListDrives(hwndList, t);
        EndFill(hwndList, t->pRows, hOld);
        return;
    }
    char szPattern[MAX_PATH * 2];
    JoinPath(szPattern, sizeof szPattern, pszPath, "*.*");
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    HCURSOR hOld = BeginFill(hwndList);
    int r = ListPass(hwndList, t, pszPath, 0, 0, hFind, &fd);
    if (!bFoldersOnly) {
        hFind = FindFirstFileA(szPattern, &fd);
        if (hFind != INVALID_HANDLE_VALUE)
            ListPass(hwndList, t, pszPath, 1, r, hFind, &fd);
    }
    EndFill(hwndList, t->pRows, hOld);
}

void SetUpListingView(HWND hwndList)
{
    SendMessageA(hwndList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                 LVS_EX_FULLROWSELECT);
    SendMessageA(hwndList, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)g_wnd.hSysImageList);
}

void ReleaseListingIcons(HWND hwndList)
{
    SendMessageA(hwndList, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
}

// A report-style list view child of the main window, placed later by the layout.
static HWND CreateListView(HWND hwndMain, int id)
{
    HWND hwnd = CreateWindowExA(0, "SysListView32", "",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT |
                                    LVS_SHOWSELALWAYS | LVS_EDITLABELS,
                                0, 0, 0, 0, hwndMain, (HMENU)(INT_PTR)id, g_wnd.hInst, nullptr);
    SetUpListingView(hwnd);
    return hwnd;
}

// The six column widths for a client width W, in the order file pane Name, Size, Date, Send
// List Name, Size, Pathname.
static void InitialColumnWidths(int W, int cx[6])
{
    if (W <= 240) {
        int v[6] = {W - W / 3 - 3, W / 4, 1, W - W / 4 - 4, W / 4 - 12, 1};
        memcpy(cx, v, sizeof v);
    } else if (W <= 320) {
        int v[6] = {W / 2, W / 4 - 8, W / 4 - 8, W - W / 4 - 4, W / 4 - 12, 1};
        memcpy(cx, v, sizeof v);
    } else {
        int V = W - 40;
        int v[6] = {V / 4 + 26, V / 8 - 22, V / 8 - 9, V / 3, V / 6 - 4, 1};
        memcpy(cx, v, sizeof v);
    }
}

void CreateFilePanes(HWND hwndMain)
{
    char szDir[MAX_PATH], szSys[256];
    GetSystemDirectoryA(szDir, sizeof szDir);
    JoinPath(szSys, sizeof szSys, szDir, "winsock.dll");
    SHFILEINFOA sfi = {};
    g_wnd.hSysImageList = (HIMAGELIST)SHGetFileInfoA(szSys, 0, &sfi, sizeof sfi,
                                               SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    // A 64-bit system has no winsock.dll, and the shell returns no list for a file that is
    // not there unless asked by name and attributes alone; the list is the same either way.
    if (!g_wnd.hSysImageList)
        g_wnd.hSysImageList = (HIMAGELIST)SHGetFileInfoA(szSys, FILE_ATTRIBUTE_NORMAL, &sfi, sizeof sfi,
                                                   SHGFI_SYSICONINDEX | SHGFI_SMALLICON |
                                                       SHGFI_USEFILEATTRIBUTES);

    g_wnd.hToolIcons = ImageList_LoadImageA(g_wnd.hInst, "ILIST2_BMP1", 16, 8, CLR_NONE, IMAGE_BITMAP, 0);
    g_wnd.hButtonFaces
        = ImageList_LoadImageA(g_wnd.hInst, "ILIST3_BMP", 32, 8, CLR_NONE, IMAGE_BITMAP, 0);
    g_wnd.hDropArrows = ImageList_LoadImageA(g_wnd.hInst, "ILIST4_BMP", 16, 8, 0xFFFFFF, IMAGE_BITMAP, 0);

    g_wnd.hwndFileList = CreateListView(hwndMain, IDC_FILELIST);
    g_wnd.hwndSendList = CreateListView(hwndMain, IDC_SENDLIST);
    g_wnd.hwndStatusText = CreateWindowExA(0, "static", "", WS_CHILD | WS_VISIBLE | SS_CENTER, 0, 0,
                                       0, 0, hwndMain, (HMENU)(INT_PTR)IDC_STATUSTEXT, g_wnd.hInst,
                                       nullptr);

    RECT rc;
    GetClientRect(hwndMain, &rc);
    int cx[6];
    InitialColumnWidths(rc.right, cx);
    InsertColumn(g_wnd.hwndFileList, 0, "Name", cx[0]);
    InsertColumn(g_wnd.hwndFileList, 1, "Size", cx[1]);
    InsertColumn(g_wnd.hwndFileList, 2, "Date", cx[2]);
    InsertColumn(g_wnd.hwndSendList, 0, "Name", cx[3]);
    InsertColumn(g_wnd.hwndSendList, 1, "Size", cx[4]);
    InsertColumn(g_wnd.hwndSendList, 2, "Pathname", cx[5]);

    FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
}

int EnterListedFolder(HWND hwndList, int iItem, char* pszPath)
{
    LPARAM r;
    const FILEROW* pRows = RowsOfList(hwndList);
    if (!pRows || !ListItemParam(hwndList, iItem, &r) || RowIsFile(&pRows[r]))
        return 0;
    char szName[256];
    ListItemText(hwndList, iItem, szName, sizeof szName);
    char szNew[256];
    if (RowIsDrive(&pRows[r])) {
        strcpy(szNew, szName);
    } else if (!JoinPath(szNew, sizeof szNew, pszPath, szName)) {
        MessageBeep(0);
        return 0;
    }
    strcpy(pszPath, szNew);
    return 1;
}
