// Where every dialog of the program comes up.
#include "winshared/centerdialog.h"

void CenterDialog(HWND hDlg)
{
    RECT rcRef, rcDlg;
    int cxScreen = GetSystemMetrics(SM_CXSCREEN), cyScreen = GetSystemMetrics(SM_CYSCREEN);
    HWND hParent = GetParent(hDlg);
    if (!hParent || !GetWindowRect(hParent, &rcRef))
        SetRect(&rcRef, 0, 0, cxScreen, cyScreen);
    GetWindowRect(hDlg, &rcDlg);
    int w = rcDlg.right - rcDlg.left, h = rcDlg.bottom - rcDlg.top;
    int cxRef = rcRef.right - rcRef.left, cyRef = rcRef.bottom - rcRef.top;
    int x, y;
    if (cxRef > w && cyRef > h) {
        x = (cxRef - w) / 2 + rcRef.left;
        y = (cyRef - h) / 2 + rcRef.top;
    } else {
        x = (cxScreen - w) / 2;
        y = (cyScreen - h) / 2;
    }
    SetWindowPos(hDlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
}
