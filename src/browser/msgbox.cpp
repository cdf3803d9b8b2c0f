// The program's message boxes: a text and a caption from the string table.
#include "browser/msgbox.h"

#include "connection/session.h"

#include <cstdarg>
#include <cstdio>

int StringBox(HWND hwndOwner, int idText, int idCaption, UINT uType, ...)
{
    char szFormat[256], szCaption[128], szText[512];
    LoadStringA(g_state.hInst, idText, szFormat, sizeof szFormat);
    LoadStringA(g_state.hInst, idCaption, szCaption, sizeof szCaption);
    va_list args;
    va_start(args, uType);
    vsnprintf(szText, sizeof szText, szFormat, args);
    va_end(args);
    return MessageBoxA(hwndOwner, szText, szCaption, uType);
}
