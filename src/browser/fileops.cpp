// File operations on the file pane's selection: delete, new folder, move and copy.
//
// Every operation works on the current folder and the names of the selected rows, counts its
// failures and reports them with one message. At the drives level the rows are drives, whose
// contents must never be removed, moved or copied from here, so the operations only beep.
#include "browser/fileops.h"

#include "browser/filedialogs.h"
#include "browser/listing.h"
#include "browser/uistate.h"
#include "connection/progress.h"
#include "connection/settings.h"
#include "protocol/packets.h"
#include "resource.h"

#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

int JoinPath(char* pszOut, const char* pszDir, const char* pszName)
{
    size_t nDir = strlen(pszDir);
    const char* pszSep = (nDir && pszDir[nDir - 1] == '\\') ? "" : "\\";
    int n = snprintf(pszOut, 256, "%s%s%s", pszDir, pszSep, pszName);
    return n >= 0 && n < 256;
}

void ListItemText(HWND hwndList, int iItem, char* pszText, int cb)
{
    pszText[0] = 0;
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = pszText;
    item.cchTextMax = cb;
    SendMessageA(hwndList, LVM_GETITEMTEXTA, iItem, (LPARAM)&item);
}

int StringBox(HWND hwndOwner, int idText, int idCaption, UINT uType, ...)
{
    char szFormat[256], szCaption[128], szText[512];
    LoadStringA(g_wnd.hInst, idText, szFormat, sizeof szFormat);
    LoadStringA(g_wnd.hInst, idCaption, szCaption, sizeof szCaption);
    va_list args;
    va_start(args, uType);
    vsnprintf(szText, sizeof szText, szFormat, args);
    va_end(args);
    return MessageBoxA(hwndOwner, szText, szCaption, uType);
}

// The selected rows of the file pane, top down; taken before any change so that a relisting
// or a message box in between cannot shift them.
static std::vector<int> SelectedRows()
{
    std::vector<int> rows;
    int i = -1;
    while ((i = (int)SendMessageA(g_wnd.hwndFileList, LVM_GETNEXTITEM, i, LVNI_SELECTED)) >= 0)
        rows.push_back(i);
    return rows;
}

static void RelistFilePane()
{
    FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
}

// Asks the delete question for n selected rows; nonzero when the user answered Yes.
static int ConfirmDelete(const std::vector<int>& rows)
{
    char szText[512], szFormat[256], szCaption[128];
    if (rows.size() != 1) {
        LoadStringA(g_wnd.hInst, IDS_CONFIRM_MULTI, szFormat, sizeof szFormat);
        LoadStringA(g_wnd.hInst, IDS_CONFIRM_MULTI_CAP, szCaption, sizeof szCaption);
        snprintf(szText, sizeof szText, szFormat, (int)rows.size());
        return MessageBoxA(g_wnd.hwndMain, szText, szCaption, MB_YESNO) == IDYES;
    }
    char szName[128], szPath[256];
    ListItemText(g_wnd.hwndFileList, rows[0], szName, sizeof szName);
    DWORD dwAttr = JoinPath(szPath, g_settings.szCurDir, szName) ? GetFileAttributesA(szPath)
                                                                 : INVALID_FILE_ATTRIBUTES;
    int bFolder = dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY);
    return StringBox(g_wnd.hwndMain, bFolder ? IDS_CONFIRM_FOLDER : IDS_CONFIRM_FILE,
                     bFolder ? IDS_CONFIRM_FOLDER_CAP : IDS_DELETE_CAP, MB_YESNO, szName)
           == IDYES;
}

void DeleteSelectedItems()
{
    if (!g_settings.szCurDir[0]) {
        MessageBeep(0);
        return;
    }
    std::vector<int> rows = SelectedRows();
    if (g_settings.bPromptDelete && !ConfirmDelete(rows))
        return;
    size_t nOk = 0;
    for (int iRow : rows) {
        char szName[256], szPath[256];
        ListItemText(g_wnd.hwndFileList, iRow, szName, sizeof szName);
        if (!szName[0] || !JoinPath(szPath, g_settings.szCurDir, szName))
            continue;
        DWORD dwAttr = GetFileAttributesA(szPath);
        if (dwAttr == INVALID_FILE_ATTRIBUTES)
            continue;
        if (dwAttr & FILE_ATTRIBUTE_DIRECTORY ? DeleteFolderTree(szPath) : DeleteFileA(szPath))
            nOk++;
    }
    if (nOk < rows.size())
        StringBox(g_wnd.hwndMain, IDS_DELETE_FAILED, IDS_DELETE_CAP, MB_OK);
    RelistFilePane();
}

// One level of the folder walk: the folder's path with its trailing backslash and its search.
struct WalkLevel {
    char szDir[256];
    HANDLE hFind;
};

// Opens the search of a folder whose path ends with a backslash; INVALID_HANDLE_VALUE when
// the folder cannot be searched or the pattern would not fit.
static HANDLE StartFolderSearch(const char* pszDir, WIN32_FIND_DATAA* pFd)
{
    char szPattern[256];
    if (snprintf(szPattern, sizeof szPattern, "%s*.*", pszDir) >= (int)sizeof szPattern)
        return INVALID_HANDLE_VALUE;
    return FindFirstFileA(szPattern, pFd);
}

static int IsDotEntry(const char* pszName)
{
    return !strcmp(pszName, ".") || !strcmp(pszName, "..");
}

// Removes the folder with everything in it, depth first. The stack of searches grows with
// the tree, so no level is ever skipped; a file that cannot be deleted keeps its folders.
BOOL DeleteFolderTree(const char* pszPath)
{
    std::vector<WalkLevel> stack(1);
    WalkLevel* pTop = &stack[0];
    size_t n = strlen(pszPath);
    if (n + 2 > sizeof pTop->szDir)
        return FALSE;
    memcpy(pTop->szDir, pszPath, n + 1);
    if (!n || pTop->szDir[n - 1] != '\\')
        strcpy(pTop->szDir + n, "\\");

    WIN32_FIND_DATAA fd;
    stack[0].hFind = StartFolderSearch(stack[0].szDir, &fd);
    int bHaveEntry = stack[0].hFind != INVALID_HANDLE_VALUE;
    while (bHaveEntry || stack.size() > 1) {
        WalkLevel& cur = stack.back();
        if (!bHaveEntry) {
            // This folder is done: close it, remove it and go on in its parent.
            FindClose(cur.hFind);
            RemoveDirectoryA(cur.szDir);
            stack.pop_back();
            bHaveEntry = FindNextFileA(stack.back().hFind, &fd);
            continue;
        }
        char szChild[256];
        int bFits = snprintf(szChild, sizeof szChild, "%s%s", cur.szDir, fd.cFileName)
                    < (int)sizeof szChild - 1;
        if (!IsDotEntry(fd.cFileName) && bFits) {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                WalkLevel next;
                snprintf(next.szDir, sizeof next.szDir, "%s\\", szChild);
                next.hFind = StartFolderSearch(next.szDir, &fd);
                if (next.hFind != INVALID_HANDLE_VALUE) {
                    stack.push_back(next);
                    continue;
                }
                RemoveDirectoryA(szChild);
            } else {
                DeleteFileA(szChild);
            }
        }
        bHaveEntry = FindNextFileA(stack.back().hFind, &fd);
    }
    if (stack[0].hFind != INVALID_HANDLE_VALUE)
        FindClose(stack[0].hFind);
    return RemoveDirectoryA(pszPath);
}

static int EntryExists(const char* pszPath)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pszPath, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(h);
    return 1;
}

// The first of New Folder, New Folder(1), New Folder(2)... that names nothing yet; 0 when
// even the first name would not fit a path buffer.
static int FreeNewFolderPath(char* pszPath)
{
    const char* pszDir = g_settings.szCurDir;
    if (snprintf(pszPath, 256, "%s\\New Folder", pszDir) >= 256)
        return 0;
    for (int i = 1; EntryExists(pszPath); i++)
        if (snprintf(pszPath, 256, "%s\\New Folder(%d)", pszDir, i) >= 256)
            return 0;
    return 1;
}

void CreateNewFolder()
{
    // The row comes first: a folder the pane could not show is not created at all.
    HWND hList = g_wnd.hwndFileList;
    int iRow = (int)SendMessageA(hList, LVM_GETITEMCOUNT, 0, 0);
    FILEROW* pRows = RowsOfListWithRoom(hList, iRow);
    char szPath[256];
    if (!pRows || !g_settings.szCurDir[0] || !FreeNewFolderPath(szPath) ||
        !CreateDirectoryA(szPath, nullptr)) {
        MessageBeep(0);
        return;
    }
    SHFILEINFOA sfi = {};
    SHGetFileInfoA(szPath, 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    char szName[128];
    PathFileName(szPath, szName);

    pRows[iRow].dwNameKey = NameKey(szName, 1);
    pRows[iRow].dwSizeLow = 0;
    pRows[iRow].dwTimeHigh = 0;
    pRows[iRow].dwExtKey = ExtKey(szName);

    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = 0;
    item.pszText = szName;
    item.iImage = sfi.iIcon;
    item.lParam = iRow;
    int iItem = (int)SendMessageA(hList, LVM_INSERTITEMA, 0, (LPARAM)&item);
    SetFocus(hList);
    SendMessageA(hList, LVM_EDITLABELA, iItem, 0);
}

// Moves (bCopy 0) or copies (bCopy 1) every selected row into the destination.
static void TransferSelectedItems(const char* pszDest, HWND hwndOwner, int bCopy)
{
    std::vector<int> rows = SelectedRows();
    size_t nOk = 0;
    for (int iRow : rows) {
        char szName[256], szSource[256], szTarget[256];
        ListItemText(g_wnd.hwndFileList, iRow, szName, sizeof szName);
        if (!g_settings.szCurDir[0] || !szName[0]
            || !JoinPath(szSource, g_settings.szCurDir, szName)
            || !JoinPath(szTarget, pszDest, szName))
            continue;
        if (bCopy ? CopyFileA(szSource, szTarget, TRUE) : MoveFileA(szSource, szTarget))
            nOk++;
    }
    if (nOk < rows.size())
        StringBox(hwndOwner, bCopy ? IDS_COPY_FAILED : IDS_MOVE_FAILED,
                  bCopy ? IDS_COPY_CAP : IDS_MOVE_CAP, MB_OK);
    RelistFilePane();
}

void MoveSelectedItems(const char* pszDest, HWND hwndOwner)
{
    TransferSelectedItems(pszDest, hwndOwner, 0);
}

void CopySelectedItems(const char* pszDest, HWND hwndOwner)
{
    TransferSelectedItems(pszDest, hwndOwner, 1);
}

// The dialog's mode (0 move, 1 copy) lives in its user data for the life of the dialog.
static INT_PTR OnCopyToInit(HWND hDlg, LPARAM lParam)
{
    CenterDialog(hDlg);
    SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
    char szTitle[128];
    LoadStringA(g_wnd.hInst, lParam ? IDS_COPY_CAP : IDS_MOVE_CAP, szTitle, sizeof szTitle);
    SetWindowTextA(hDlg, szTitle);
    SendDlgItemMessageA(hDlg, 1001, EM_LIMITTEXT, 255, 0);
    SetDlgItemTextA(hDlg, 1001, g_settings.szDestDir);
    return TRUE;
}

// OK refuses the current folder itself as destination and keeps the dialog open then.
static void OnCopyToOk(HWND hDlg)
{
    char szDest[256];
    GetDlgItemTextA(hDlg, 1001, szDest, sizeof szDest);
    if (!strcmp(szDest, g_settings.szCurDir)) {
        StringBox(hDlg, IDS_SAME_DIR, IDS_ERROR, MB_ICONHAND);
        return;
    }
    if (GetWindowLongPtrA(hDlg, DWLP_USER))
        CopySelectedItems(szDest, hDlg);
    else
        MoveSelectedItems(szDest, hDlg);
    EndDialog(hDlg, 1);
}

// Browse opens Select Directory on the typed folder; only its OK changes the field.
static void OnCopyToBrowse(HWND hDlg)
{
    char szDest[256];
    GetDlgItemTextA(hDlg, 1001, szDest, sizeof szDest);
    if (DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(IDD_SELECTDIR), nullptr, SelectDirDlgProc,
                        (LPARAM)szDest) == 1)
        SetDlgItemTextA(hDlg, 1001, szDest);
}

INT_PTR CALLBACK CopyToDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnCopyToInit(hDlg, lParam);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnCopyToOk(hDlg);
            return TRUE;
        case IDCANCEL:
            EndDialog(hDlg, 0);
            return TRUE;
        case 1012:
            OnCopyToBrowse(hDlg);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
