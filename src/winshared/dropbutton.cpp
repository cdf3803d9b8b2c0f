// The drop-down buttons: drawing the caption and arrow, and the menu shown under a button.
#include "winshared/dropbutton.h"

#include "winshared/uistate.h"

#include <commctrl.h>
#include <cstring>

void DrawDropButton(const DRAWITEMSTRUCT* p, const char* pszCaption, int bRightAligned)
{
    HDC hdc = p->hDC;
    HGDIOBJ hOldFont = SelectObject(hdc, g_wnd.hPopupFont);
    SetBkColor(hdc, GetSysColor(COLOR_MENU));
    int len = (int)strlen(pszCaption);
    SIZE sz = {};
    GetTextExtentPoint32A(hdc, pszCaption, len, &sz);
    if (bRightAligned) {
        ExtTextOutA(hdc, p->rcItem.right - sz.cx - 21, 0, ETO_OPAQUE, &p->rcItem, pszCaption, len,
                    nullptr);
        ImageList_Draw(g_wnd.hDropArrows, 0, hdc, p->rcItem.right - 17, 0, ILD_TRANSPARENT);
    } else {
        ExtTextOutA(hdc, 2, 0, ETO_OPAQUE, &p->rcItem, pszCaption, len, nullptr);
        ImageList_Draw(g_wnd.hDropArrows, 0, hdc, sz.cx + 4, 0, ILD_TRANSPARENT);
    }
    if (p->itemState & ODS_SELECTED) {
        HGDIOBJ hOldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
        Rectangle(hdc, 0, 0, sz.cx + 22, p->rcItem.bottom);
        SelectObject(hdc, hOldBrush);
    }
    SelectObject(hdc, hOldFont);
}

UINT TrackMenuUnderButton(HWND hwndButton, HMENU hMenu, UINT uAlign)
{
    RECT rc;
    GetWindowRect(hwndButton, &rc);
    int x = (uAlign & TPM_RIGHTALIGN) ? rc.right : rc.left;
    UINT id = (UINT)TrackPopupMenu(hMenu, uAlign | TPM_RETURNCMD, x, rc.bottom, 0,
                                   GetParent(hwndButton), nullptr);
    DestroyMenu(hMenu);
    return id;
}
