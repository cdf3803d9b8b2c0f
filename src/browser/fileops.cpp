// File operations on the file pane's selection: delete, new folder, move and copy.
//
// Every operation works on the current folder and the names of the selected rows, counts its
// failures and reports them with one message, which tells why the first failure with a cause
// failed where the system gives one (the name exists, access is denied, the file is in use,
// the path is too long). At the drives level the rows are drives, whose contents must never
// be removed, moved or copied from here, so the operations only beep.
#include "browser/fileops.h"

#include "base/folderpath.h"
#include "base/paths.h"
#include "browser/selectdir.h"
#include "browser/listing.h"
#include "connection/settings.h"
#include "protocol/packets.h"
#include "resource.h"
#include "winshared/centerdialog.h"
#include "winshared/listview.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <cstdio>
#include <cstring>
#include <vector>

// The selected rows of the file pane, top down; taken before any change so that a relisting
// or a message box in between cannot shift them.
static std::vector<int> SelectedRows()
{
    std::vector<int> rows;
    int i = -1;
    while ((i = NextSelectedItem(g_wnd.hwndFileList, i)) >= 0)
        rows.push_back(i);
    return rows;
}

UINT FailureCause(DWORD dwError)
{
    switch (dwError) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return IDS_WHY_EXISTS;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
        return IDS_WHY_DENIED;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_DRIVE_LOCKED:
    case ERROR_BUSY:
        return IDS_WHY_IN_USE;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return IDS_WHY_TOO_LONG;
    case ERROR_FILE_NOT_FOUND:
        return IDS_WHY_NOT_FOUND;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
        return IDS_WHY_NO_FOLDER;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return IDS_WHY_BAD_NAME;
    default:
        return 0;
    }
}

void NoteFailure(FileFailure* pWhy, const char* pszName, UINT idCause)
{
    if (!pWhy || pWhy->idCause || (pWhy->szName[0] && !idCause))
        return;
    snprintf(pWhy->szName, sizeof pWhy->szName, "%s", pszName);
    pWhy->idCause = idCause;
}

int ShowFileFailure(HWND hwndOwner, UINT idText, UINT idCaption, UINT uType,
                    const char* pszTextArg, UINT idCause, const char* pszCauseName)
{
    char szText[640], szCause[320], szCaption[128];
    FormatString(g_wnd.hInst, szText, sizeof szText, idText, pszTextArg ? pszTextArg : "");
    if (idCause) {
        FormatString(g_wnd.hInst, szCause, sizeof szCause, idCause, pszCauseName);
        size_t n = strlen(szText);
        snprintf(szText + n, sizeof szText - n, "\n\n%s", szCause);
    }
    if (!LoadStringA(g_wnd.hInst, idCaption, szCaption, sizeof szCaption))
        szCaption[0] = 0;
    return MessageBoxA(hwndOwner, szText, szCaption, uType);
}

static void RelistFilePane()
{
    FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
}

// Asks the delete question for n selected rows; nonzero when the user answered Yes.
static int ConfirmDelete(const std::vector<int>& rows)
{
    if (rows.size() != 1)
        return StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_CONFIRM_MULTI,
                         IDS_CONFIRM_MULTI_CAP, MB_YESNO, (int)rows.size()) == IDYES;
    char szName[128], szPath[256];
    ListItemText(g_wnd.hwndFileList, rows[0], szName, sizeof szName);
    DWORD dwAttr = JoinPath(szPath, sizeof szPath, g_settings.szCurDir, szName)
                       ? GetFileAttributesA(szPath)
                       : INVALID_FILE_ATTRIBUTES;
    int bFolder = dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY);
    return StringBox(g_wnd.hInst, g_wnd.hwndMain,
                     bFolder ? IDS_CONFIRM_FOLDER : IDS_CONFIRM_FILE,
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
    FileFailure why;
    for (int iRow : rows) {
        char szName[256], szPath[256];
        ListItemText(g_wnd.hwndFileList, iRow, szName, sizeof szName);
        if (!szName[0])
            continue;
        if (!JoinPath(szPath, sizeof szPath, g_settings.szCurDir, szName)) {
            NoteFailure(&why, szName, IDS_WHY_TOO_LONG);
            continue;
        }
        DWORD dwAttr = GetFileAttributesA(szPath);
        if (dwAttr == INVALID_FILE_ATTRIBUTES)
            NoteFailure(&why, szName, FailureCause(GetLastError()));
        else if (dwAttr & FILE_ATTRIBUTE_DIRECTORY ? DeleteFolderTree(szPath, &why)
                                                   : DeleteFileA(szPath))
            nOk++;
        else if (!(dwAttr & FILE_ATTRIBUTE_DIRECTORY))
            NoteFailure(&why, szName, FailureCause(GetLastError()));
    }
    if (nOk < rows.size())
        ShowFileFailure(g_wnd.hwndMain, IDS_DELETE_FAILED, IDS_DELETE_CAP, MB_OK, nullptr,
                        why.idCause, why.szName);
    RelistFilePane();
}

// One level of the folder walk: the folder's path and its search.
struct WalkLevel {
    char szDir[256];
    HANDLE hFind;
};

// Opens the search of a folder; INVALID_HANDLE_VALUE when the folder cannot be searched or
// the pattern would not fit.
static HANDLE StartFolderSearch(const char* pszDir, WIN32_FIND_DATAA* pFd)
{
    char szPattern[256];
    if (!JoinPath(szPattern, sizeof szPattern, pszDir, "*.*"))
        return INVALID_HANDLE_VALUE;
    return FindFirstFileA(szPattern, pFd);
}

static int IsDotEntry(const char* pszName)
{
    return !strcmp(pszName, ".") || !strcmp(pszName, "..");
}

// Removes a folder that should be empty by now; what kept it is noted under its name.
static void RemoveEmptiedFolder(const char* pszDir, FileFailure* pWhy)
{
    if (RemoveDirectoryA(pszDir))
        return;
    char szName[128];
    PathFileName(pszDir, szName);
    NoteFailure(pWhy, szName, FailureCause(GetLastError()));
}

// A junction or symbolic link: removed as the link it is, never walked, since what it leads to
// belongs to another folder (or another drive) that the user did not ask to delete.
static int IsLink(DWORD dwAttributes)
{
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes a link to a folder, and only the link; 0 with the cause noted when the system would
// not remove it.
static int RemoveFolderLink(const char* pszPath, const char* pszName, FileFailure* pWhy)
{
    if (RemoveDirectoryA(pszPath))
        return 1;
    NoteFailure(pWhy, pszName, FailureCause(GetLastError()));
    return 0;
}

// Removes the folder with everything in it, depth first. The stack of searches grows with
// the tree, so no level is ever skipped; a file that cannot be deleted keeps its folders, and
// the first such file (or folder) is the one noted. A link to a folder, at the top or
// anywhere below, is removed as a link and never entered.
BOOL DeleteFolderTree(const char* pszPath, FileFailure* pWhy)
{
    std::vector<WalkLevel> stack(1);
    char szTop[128];
    PathFileName(pszPath, szTop);
    if (IsLink(GetFileAttributesA(pszPath)))
        return RemoveFolderLink(pszPath, szTop, pWhy);
    if (snprintf(stack[0].szDir, sizeof stack[0].szDir, "%s", pszPath)
        >= (int)sizeof stack[0].szDir) {
        NoteFailure(pWhy, szTop, IDS_WHY_TOO_LONG);
        return FALSE;
    }

    WIN32_FIND_DATAA fd;
    stack[0].hFind = StartFolderSearch(stack[0].szDir, &fd);
    int bHaveEntry = stack[0].hFind != INVALID_HANDLE_VALUE;
    while (bHaveEntry || stack.size() > 1) {
        WalkLevel& cur = stack.back();
        if (!bHaveEntry) {
            // This folder is done: close it, remove it and go on in its parent.
            FindClose(cur.hFind);
            RemoveEmptiedFolder(cur.szDir, pWhy);
            stack.pop_back();
            bHaveEntry = FindNextFileA(stack.back().hFind, &fd);
            continue;
        }
        WalkLevel next;
        if (!IsDotEntry(fd.cFileName)) {
            if (!JoinPath(next.szDir, sizeof next.szDir, cur.szDir, fd.cFileName)) {
                NoteFailure(pWhy, fd.cFileName, IDS_WHY_TOO_LONG);
            } else if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                       && IsLink(fd.dwFileAttributes)) {
                RemoveFolderLink(next.szDir, fd.cFileName, pWhy);
            } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                next.hFind = StartFolderSearch(next.szDir, &fd);
                if (next.hFind != INVALID_HANDLE_VALUE) {
                    stack.push_back(next);
                    continue;
                }
                RemoveEmptiedFolder(next.szDir, pWhy);
            } else if (!DeleteFileA(next.szDir)) {
                NoteFailure(pWhy, fd.cFileName, FailureCause(GetLastError()));
            }
        }
        bHaveEntry = FindNextFileA(stack.back().hFind, &fd);
    }
    if (stack[0].hFind != INVALID_HANDLE_VALUE)
        FindClose(stack[0].hFind);
    if (RemoveDirectoryA(pszPath))
        return TRUE;
    NoteFailure(pWhy, szTop, FailureCause(GetLastError()));
    return FALSE;
}

int FindEntry(const char* pszPath, WIN32_FIND_DATAA* pFd)
{
    HANDLE h = FindFirstFileA(pszPath, pFd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(h);
    return 1;
}

static int EntryExists(const char* pszPath)
{
    WIN32_FIND_DATAA fd;
    return FindEntry(pszPath, &fd);
}

// The first of New Folder, New Folder(1), New Folder(2)... that names nothing yet; 0 when
// even the first name would not fit a path buffer.
static int FreeNewFolderPath(char* pszPath)
{
    if (!JoinPath(pszPath, 256, g_settings.szCurDir, "New Folder"))
        return 0;
    for (int i = 1; EntryExists(pszPath); i++) {
        char szName[32];
        snprintf(szName, sizeof szName, "New Folder(%d)", i);
        if (!JoinPath(pszPath, 256, g_settings.szCurDir, szName))
            return 0;
    }
    return 1;
}

void CreateNewFolder()
{
    // The row comes first: a folder the pane could not show is not created at all.
    HWND hList = g_wnd.hwndFileList;
    int iRow = (int)SendMessageA(hList, LVM_GETITEMCOUNT, 0, 0);
    FILEROW* pRows = RowsOfListWithRoom(hList, iRow);
    char szPath[256];
    if (!pRows || !g_settings.szCurDir[0]) {
        MessageBeep(0);
        return;
    }
    if (!FreeNewFolderPath(szPath)) {
        ShowFileFailure(g_wnd.hwndMain, IDS_NEWFOLDER_FAILED, IDS_NEWFOLDER_CAP, MB_ICONHAND,
                        "New Folder", IDS_WHY_TOO_LONG, "New Folder");
        return;
    }
    char szName[128];
    PathFileName(szPath, szName);
    if (!CreateDirectoryA(szPath, nullptr)) {
        ShowFileFailure(g_wnd.hwndMain, IDS_NEWFOLDER_FAILED, IDS_NEWFOLDER_CAP, MB_ICONHAND,
                        szName, FailureCause(GetLastError()), szName);
        return;
    }

    pRows[iRow].dwNameKey = NameKey(szName, 1);
    pRows[iRow].dwSizeLow = 0;
    pRows[iRow].dwTimeHigh = 0;
    pRows[iRow].dwExtKey = ExtKey(szName);

    int iItem = InsertListItem(hList, 0, szName, SysIconOf(szPath), iRow);
    SetFocus(hList);
    SendMessageA(hList, LVM_EDITLABELA, iItem, 0);
}

// Moves (bCopy 0) or copies (bCopy 1) every selected row into the destination.
static void TransferSelectedItems(const char* pszDest, HWND hwndOwner, int bCopy)
{
    std::vector<int> rows = SelectedRows();
    size_t nOk = 0;
    FileFailure why;
    for (int iRow : rows) {
        char szName[256], szSource[256], szTarget[256];
        ListItemText(g_wnd.hwndFileList, iRow, szName, sizeof szName);
        if (!g_settings.szCurDir[0] || !szName[0])
            continue;
        if (!JoinPath(szSource, sizeof szSource, g_settings.szCurDir, szName)
            || !JoinPath(szTarget, sizeof szTarget, pszDest, szName)) {
            NoteFailure(&why, szName, IDS_WHY_TOO_LONG);
            continue;
        }
        if (bCopy ? CopyFileA(szSource, szTarget, TRUE) : MoveFileA(szSource, szTarget)) {
            nOk++;
            continue;
        }
        DWORD dwError = GetLastError();
        DWORD dwAttr = GetFileAttributesA(szSource);
        // Only files are copied; what the system says of a folder would not tell that.
        int bFolder = dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY);
        NoteFailure(&why, szName, bCopy && bFolder ? IDS_WHY_FOLDER_COPY : FailureCause(dwError));
    }
    if (nOk < rows.size())
        ShowFileFailure(hwndOwner, bCopy ? IDS_COPY_FAILED : IDS_MOVE_FAILED,
                        bCopy ? IDS_COPY_CAP : IDS_MOVE_CAP, MB_OK, nullptr, why.idCause,
                        why.szName);
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
    SendDlgItemMessageA(hDlg, IDC_COPYTO_DEST, EM_LIMITTEXT, 255, 0);
    SetDlgItemTextA(hDlg, IDC_COPYTO_DEST, g_settings.szDestDir);
    return TRUE;
}

// OK takes only an existing folder given in full, and not the current folder itself; it
// keeps the dialog open on any other. An empty field is what Browse leaves at the drives
// level, which holds no files.
static void OnCopyToOk(HWND hDlg)
{
    char szDest[256];
    GetDlgItemTextA(hDlg, IDC_COPYTO_DEST, szDest, sizeof szDest);
    if (!IsExistingFullFolder(szDest)) {
        StringBox(g_wnd.hInst, hDlg, IDS_NOT_A_FOLDER, IDS_ERROR, MB_ICONHAND,
                  szDest[0] ? szDest : "My Computer");
        return;
    }
    if (!strcmp(szDest, g_settings.szCurDir)) {
        StringBox(g_wnd.hInst, hDlg, IDS_SAME_DIR, IDS_ERROR, MB_ICONHAND);
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
    GetDlgItemTextA(hDlg, IDC_COPYTO_DEST, szDest, sizeof szDest);
    if (SelectDirectory(nullptr, szDest))
        SetDlgItemTextA(hDlg, IDC_COPYTO_DEST, szDest);
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
        case IDC_COPYTO_BROWSE:
            OnCopyToBrowse(hDlg);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
