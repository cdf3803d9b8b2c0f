// The Run dialog and the File Properties dialog of the file pane's selected row.
#include "browser/filedialogs.h"

#include "base/paths.h"
#include "browser/fileops.h"
#include "connection/settings.h"
#include "resource.h"
#include "winshared/centerdialog.h"
#include "winshared/listview.h"
#include "winshared/uistate.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

// Run: shows the program's name; OK and Cancel both hand the argument text back.
static void OnRunEnd(HWND hDlg, int id)
{
    char* pszBuf = (char*)GetWindowLongPtrA(hDlg, DWLP_USER);
    GetDlgItemTextA(hDlg, IDC_RUN_ARGS, pszBuf, 256);
    EndDialog(hDlg, id);
}

INT_PTR CALLBACK RunDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        CenterDialog(hDlg);
        SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
        SetDlgItemTextA(hDlg, IDC_RUN_PROGRAM, (const char*)lParam);
        SendDlgItemMessageA(hDlg, IDC_RUN_ARGS, EM_LIMITTEXT, 255, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            OnRunEnd(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// What the open File Properties dialog holds: the path, the attribute word read and the icon.
struct PROPSTATE {
    char szPath[256];
    DWORD dwAttr;
    HICON hIcon;
};
static PROPSTATE s_props;

enum { ATTR_EDITABLE = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                       | FILE_ATTRIBUTE_ARCHIVE };

static const struct { int id; DWORD dwBit; } kAttrBoxes[] = {
    {IDC_PROP_READONLY, FILE_ATTRIBUTE_READONLY}, {IDC_PROP_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
    {IDC_PROP_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE}, {IDC_PROP_SYSTEM, FILE_ATTRIBUTE_SYSTEM},
};

static void ShowFileTime(HWND hDlg, int id, const FILETIME* pft)
{
    FILETIME ftLocal;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(pft, &ftLocal);
    FileTimeToSystemTime(&ftLocal, &st);
    char sz[64];
    snprintf(sz, sizeof sz, "%02d/%02d/%04d %02d:%02d:%02d", st.wMonth, st.wDay, st.wYear,
             st.wHour, st.wMinute, st.wSecond);
    SetDlgItemTextA(hDlg, id, sz);
}

// The first selected row of the file pane as a file or folder on disk; 0 when there is no
// selected row, the row is a drive or the entry is gone.
static int FindSelectedEntry(char* pszName, WIN32_FIND_DATAA* pFd)
{
    HWND hList = g_wnd.hwndFileList;
    int iItem = NextSelectedItem(hList);
    if (iItem < 0 || !g_settings.szCurDir[0])
        return 0;
    ListItemText(hList, iItem, pszName, 256);
    if (!pszName[0] || !JoinPath(s_props.szPath, sizeof s_props.szPath, g_settings.szCurDir, pszName))
        return 0;
    return FindEntry(s_props.szPath, pFd);
}

// Fills the dialog from the entry; with nothing to show it beeps and closes unseen.
static INT_PTR OnPropertiesInit(HWND hDlg)
{
    char szName[256];
    WIN32_FIND_DATAA fd;
    if (!FindSelectedEntry(szName, &fd)) {
        MessageBeep(0);
        EndDialog(hDlg, IDCANCEL);
        return TRUE;
    }
    CenterDialog(hDlg);
    SetWindowPos(GetDlgItem(hDlg, IDC_PROP_ICON), nullptr, 0, 0, 32, 32, SWP_NOMOVE | SWP_NOZORDER);
    SetDlgItemTextA(hDlg, IDC_PROP_NAME, szName);
    SHFILEINFOA sfi = {};
    SHGetFileInfoA(s_props.szPath, 0, &sfi, sizeof sfi, SHGFI_ICON);
    s_props.hIcon = sfi.hIcon;
    InvalidateRect(GetDlgItem(hDlg, IDC_PROP_ICON), nullptr, TRUE);
    s_props.dwAttr = fd.dwFileAttributes;
    for (const auto& box : kAttrBoxes)
        CheckDlgButton(hDlg, box.id,
                       (fd.dwFileAttributes & box.dwBit) ? BST_CHECKED : BST_UNCHECKED);
    char sz[64];
    snprintf(sz, sizeof sz, "%llu Bytes",
             (unsigned long long)fd.nFileSizeHigh << 32 | fd.nFileSizeLow);
    SetDlgItemTextA(hDlg, IDC_PROP_SIZE, sz);
    ShowFileTime(hDlg, IDC_PROP_CREATED, &fd.ftCreationTime);
    ShowFileTime(hDlg, IDC_PROP_MODIFIED, &fd.ftLastWriteTime);
    ShowFileTime(hDlg, IDC_PROP_ACCESSED, &fd.ftLastAccessTime);
    return TRUE;
}

// The icon is painted straight onto its static, over a square of the menu colour.
static void OnPropertiesPaint(HWND hDlg)
{
    HWND hIconWnd = GetDlgItem(hDlg, IDC_PROP_ICON);
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hIconWnd, &ps);
    RECT rc = {0, 0, 36, 36};
    HBRUSH hBrush = CreateSolidBrush(GetSysColor(COLOR_MENU));
    FillRect(hdc, &rc, hBrush);
    DeleteObject(hBrush);
    if (s_props.hIcon)
        DrawIcon(hdc, 0, 0, s_props.hIcon);
    EndPaint(hIconWnd, &ps);
}

// OK writes back the word as it was read, with only the four editable bits from the boxes.
static void OnPropertiesEnd(HWND hDlg, int id)
{
    if (id == IDOK) {
        DWORD dwAttr = s_props.dwAttr & ~(DWORD)ATTR_EDITABLE;
        for (const auto& box : kAttrBoxes)
            if (IsDlgButtonChecked(hDlg, box.id) == BST_CHECKED)
                dwAttr |= box.dwBit;
        SetFileAttributesA(s_props.szPath, dwAttr);
    }
    if (s_props.hIcon)
        DestroyIcon(s_props.hIcon);
    s_props.hIcon = nullptr;
    EndDialog(hDlg, id == IDOK ? 1 : 2);
}

INT_PTR CALLBACK PropertiesDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnPropertiesInit(hDlg);
    case WM_PAINT:
        OnPropertiesPaint(hDlg);
        return FALSE;
    case WM_SETFOCUS:
        InvalidateRect(GetDlgItem(hDlg, IDC_PROP_ICON), nullptr, TRUE);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            OnPropertiesEnd(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}
