// The Select Directory dialog: a folder browser over its own list view, with a path button
// whose popup leads back to any parent, the drive root or the drives level.
#include "browser/filedialogs.h"

#include "browser/listing.h"
#include "browser/uistate.h"
#include "connection/progress.h"
#include "connection/settings.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

enum { IDC_SELDIR_PATHBTN = 1012, IDC_SELDIR_LIST = 4, PATHITEM_BASE = 1024,
       PATHITEM_LAST = PATHITEM_BASE + 200 };

static char* BufferOf(HWND hDlg)
{
    return (char*)GetWindowLongPtrA(hDlg, DWLP_USER);
}

static void ShowFolder(HWND hDlg)
{
    FillFileList(GetDlgItem(hDlg, IDC_SELDIR_LIST), BufferOf(hDlg), 1);
    InvalidateRect(GetDlgItem(hDlg, IDC_SELDIR_PATHBTN), nullptr, TRUE);
}

static void AddColumn(HWND hList, int i, const char* pszText, int cx)
{
    LVCOLUMNA col = {};
    col.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.fmt = LVCFMT_LEFT;
    col.pszText = (char*)pszText;
    col.cx = cx;
    col.iSubItem = i;
    SendMessageA(hList, LVM_INSERTCOLUMNA, i, (LPARAM)&col);
}

// Sets up the list view (one visible column, the system's small icons) and lists the folder.
static INT_PTR OnSelectDirInit(HWND hDlg, LPARAM lParam)
{
    CenterDialog(hDlg);
    SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
    HWND hList = GetDlgItem(hDlg, IDC_SELDIR_LIST);
    SendMessageA(hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    RECT rc;
    GetWindowRect(hList, &rc);
    AddColumn(hList, 0, "Name", rc.right - rc.left - 4);
    AddColumn(hList, 1, "Size", 1);
    AddColumn(hList, 2, "Date", 1);
    SendMessageA(hList, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)hSysImageList);
    ShowFolder(hDlg);
    return TRUE;
}

// Draws the path button: the folder's name in the popup font with the drop-down arrow.
static INT_PTR OnSelectDirDrawItem(HWND hDlg, const DRAWITEMSTRUCT* pDis)
{
    if (pDis->CtlID != IDC_SELDIR_PATHBTN)
        return FALSE;
    HDC hdc = pDis->hDC;
    HGDIOBJ hOld = SelectObject(hdc, g_wnd.hPopupFont);
    SetBkColor(hdc, GetSysColor(COLOR_MENU));
    char szText[256];
    PathButtonText(BufferOf(hDlg), g_settings.bPathMenuOpen, szText);
    int n = (int)strlen(szText);
    ExtTextOutA(hdc, 2, 0, ETO_OPAQUE, &pDis->rcItem, szText, n, nullptr);
    SIZE size = {};
    GetTextExtentPoint32A(hdc, szText, n, &size);
    ImageList_Draw(hDropArrows, 0, hdc, size.cx + 4, 0, ILD_TRANSPARENT);
    if (pDis->itemState & ODS_SELECTED) {
        HGDIOBJ hOldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
        Rectangle(hdc, 0, 0, size.cx + 22, pDis->rcItem.bottom);
        SelectObject(hdc, hOldBrush);
    }
    SelectObject(hdc, hOld);
    return TRUE;
}

// A click on a folder enters it, on a drive opens its root; files are never listed here.
static void OnSelectDirClick(HWND hDlg, const NMITEMACTIVATE* pItem)
{
    HWND hList = GetDlgItem(hDlg, IDC_SELDIR_LIST);
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = pItem->iItem;
    FILEROW* pRows = RowsOfList(hList);
    if (pItem->iItem < 0 || !pRows || !SendMessageA(hList, LVM_GETITEMA, 0, (LPARAM)&item))
        return;
    const FILEROW* pRow = &pRows[item.lParam];
    if (RowIsFile(pRow))
        return;
    char szName[256];
    LVITEMA text = {};
    text.pszText = szName;
    text.cchTextMax = sizeof szName;
    SendMessageA(hList, LVM_GETITEMTEXTA, pItem->iItem, (LPARAM)&text);
    char* pszPath = BufferOf(hDlg);
    char szNew[256];
    if (RowIsDrive(pRow)) {
        snprintf(szNew, sizeof szNew, "%s", szName);
    } else {
        size_t n = strlen(pszPath);
        const char* pszSep = n && pszPath[n - 1] == '\\' ? "" : "\\";
        if (snprintf(szNew, sizeof szNew, "%s%s%s", pszPath, pszSep, szName) >= (int)sizeof szNew) {
            MessageBeep(0);
            return;
        }
    }
    strcpy(pszPath, szNew);
    ShowFolder(hDlg);
}

static INT_PTR OnSelectDirNotify(HWND hDlg, const NMHDR* pHdr)
{
    if (pHdr->idFrom != IDC_SELDIR_LIST)
        return FALSE;
    if (pHdr->code == LVN_ITEMCHANGING)
        SetFocus(pHdr->hwndFrom);
    else if (pHdr->code == NM_CLICK)
        OnSelectDirClick(hDlg, (const NMITEMACTIVATE*)pHdr);
    SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, 0);
    return TRUE;
}

// OK and Cancel take the shared system image list away first, so that destroying the list
// view leaves it alone.
static void OnSelectDirEnd(HWND hDlg, int id)
{
    SendDlgItemMessageA(hDlg, IDC_SELDIR_LIST, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    EndDialog(hDlg, id);
}

UINT ShowPathMenu(HWND hDlg, const char* pszPath)
{
    HWND hBtn = GetDlgItem(hDlg, IDC_SELDIR_PATHBTN);
    g_settings.bPathMenuOpen = 1;
    InvalidateRect(hBtn, nullptr, TRUE);
    UpdateWindow(hBtn);
    HMENU hMenu = BuildPathMenu(pszPath, PATHITEM_BASE);
    RECT rc;
    GetWindowRect(hBtn, &rc);
    UINT id = (UINT)TrackPopupMenu(hMenu, TPM_LEFTALIGN | TPM_RETURNCMD, rc.left, rc.bottom + 1,
                                   0, hDlg, nullptr);
    DestroyMenu(hMenu);
    g_settings.bPathMenuOpen = 0;
    InvalidateRect(hBtn, nullptr, TRUE);
    return id;
}

INT_PTR CALLBACK SelectDirDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg > PATHITEM_BASE + 1 && msg <= PATHITEM_LAST) {
        if (PathOfLevel(BufferOf(hDlg), (int)(msg - PATHITEM_BASE)))
            ShowFolder(hDlg);
        return TRUE;
    }
    switch (msg) {
    case WM_INITDIALOG:
        return OnSelectDirInit(hDlg, lParam);
    case WM_DRAWITEM:
        return OnSelectDirDrawItem(hDlg, (const DRAWITEMSTRUCT*)lParam);
    case WM_NOTIFY:
        return OnSelectDirNotify(hDlg, (const NMHDR*)lParam);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            OnSelectDirEnd(hDlg, LOWORD(wParam));
            return TRUE;
        case IDC_SELDIR_PATHBTN:
            PostMessageA(hDlg, ShowPathMenu(hDlg, BufferOf(hDlg)), 0, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
