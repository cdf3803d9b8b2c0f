// Small helpers over the report-style list views: columns, rows, texts, parameters, icons.
#include "winshared/listview.h"

#include <shellapi.h>

void InsertColumn(HWND hwndList, int i, const char* pszText, int cx)
{
    LVCOLUMNA col = {};
    col.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.fmt = LVCFMT_LEFT;
    col.cx = cx;
    col.pszText = (char*)pszText;
    col.iSubItem = i;
    SendMessageA(hwndList, LVM_INSERTCOLUMNA, (WPARAM)i, (LPARAM)&col);
}

void SetColumnWidth(HWND hwndList, int i, int cx)
{
    SendMessageA(hwndList, LVM_SETCOLUMNWIDTH, (WPARAM)i, MAKELPARAM(cx, 0));
}

int InsertListItem(HWND hwndList, int iPos, const char* pszText, int iIcon, LPARAM lParam)
{
    LVITEMA it = {};
    it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    it.iItem = iPos;
    it.pszText = (char*)pszText;
    it.iImage = iIcon;
    it.lParam = lParam;
    return (int)SendMessageA(hwndList, LVM_INSERTITEMA, 0, (LPARAM)&it);
}

void SetSubItemText(HWND hwndList, int iItem, int iSub, const char* pszText)
{
    LVITEMA it = {};
    it.iSubItem = iSub;
    it.pszText = (char*)pszText;
    SendMessageA(hwndList, LVM_SETITEMTEXTA, (WPARAM)iItem, (LPARAM)&it);
}

void ListItemText(HWND hwndList, int iItem, char* pszText, int cb, int iSub)
{
    pszText[0] = 0;
    LVITEMA it = {};
    it.iSubItem = iSub;
    it.pszText = pszText;
    it.cchTextMax = cb;
    SendMessageA(hwndList, LVM_GETITEMTEXTA, (WPARAM)iItem, (LPARAM)&it);
}

int NextSelectedItem(HWND hwndList, int iAfter)
{
    return (int)SendMessageA(hwndList, LVM_GETNEXTITEM, (WPARAM)iAfter, LVNI_SELECTED);
}

void SelectListItem(HWND hwndList, int iItem, int bSelected)
{
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED;
    it.state = bSelected ? LVIS_SELECTED : 0;
    SendMessageA(hwndList, LVM_SETITEMSTATE, (WPARAM)iItem, (LPARAM)&it);
}

int ListItemParam(HWND hwndList, int iItem, LPARAM* plParam)
{
    LVITEMA it = {};
    it.mask = LVIF_PARAM;
    it.iItem = iItem;
    if (iItem < 0 || !SendMessageA(hwndList, LVM_GETITEMA, 0, (LPARAM)&it))
        return 0;
    *plParam = it.lParam;
    return 1;
}

int SysIconOf(const char* pszPath, DWORD dwAttributes, UINT uFlags)
{
    SHFILEINFOA sfi = {};
    SHGetFileInfoA(pszPath, dwAttributes, &sfi, sizeof sfi,
                   SHGFI_SYSICONINDEX | SHGFI_SMALLICON | uFlags);
    return sfi.iIcon;
}
