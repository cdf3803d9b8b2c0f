// The drop-down buttons of the main window and Select Directory: a caption with an arrow,
// drawn by hand, and the popup menu shown under the button.
#pragma once
#include <windows.h>

// Draws an owner-drawn drop-down button: the caption in the popup-menu font and the arrow
// after it, or, with bRightAligned, both against the button's right edge; a pressed button
// is outlined around its caption and arrow.
void DrawDropButton(const DRAWITEMSTRUCT* p, const char* pszCaption, int bRightAligned);

// Shows the menu under the button, aligned to its left edge (or its right edge with
// TPM_RIGHTALIGN in uAlign), owned by the button's parent, and destroys it. Returns the
// chosen item's id, or 0.
UINT TrackMenuUnderButton(HWND hwndButton, HMENU hMenu, UINT uAlign);

// The same with the button redrawn with bOpen set while the menu is up, so that its caption
// can say so. The flag is a plain int or an atomic one, as the state that holds it.
template <class Flag>
UINT TrackDropMenu(HWND hwndButton, HMENU hMenu, Flag& bOpen, UINT uAlign)
{
    bOpen = 1;
    InvalidateRect(hwndButton, nullptr, TRUE);
    UpdateWindow(hwndButton);
    UINT id = TrackMenuUnderButton(hwndButton, hMenu, uAlign);
    bOpen = 0;
    InvalidateRect(hwndButton, nullptr, TRUE);
    return id;
}
