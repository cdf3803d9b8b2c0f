// The main window: class, creation and single-instance hand-off, layout, the hand-drawn
// buttons and the message dispatch that routes every command and list notification.
#include "mainwindow/mainwindow.h"

#include "browser/listing.h"
#include "browser/pathlevels.h"
#include "browser/sendlist.h"
#include "connection/link.h"
#include "connection/linkui.h"
#include "connection/serialport.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "mainwindow/about.h"
#include "mainwindow/askreceive.h"
#include "mainwindow/filecommands.h"
#include "mainwindow/linkreports.h"
#include "mainwindow/panekeys.h"
#include "mainwindow/panemenus.h"
#include "mainwindow/xfercommands.h"
#include "protocol/packets.h"
#include "resource.h"
#include "winshared/dropbutton.h"
#include "winshared/listview.h"
#include "winshared/uistate.h"

#include <commctrl.h>
#include <shellapi.h>
#include <cstring>
#include <string>


const int ToolButtonIds[NUM_TOOL_BUTTONS] = {IDM_ADDTOSENDLIST, IDM_REMOVE, IDM_SEND,
                                             IDM_SETTINGS, IDM_ABOUT, IDM_HELP, IDM_EXIT};
const char* const SortNames[4] = {"Name", "Date", "Size", "Type"};


ATOM RegisterMainClass(HINSTANCE hInst, const char* pszClassName)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInst;
    wc.hIcon = LoadIconA(hInst, MAKEINTRESOURCEA(IDI_TALMOX));
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = pszClassName;
    return RegisterClassA(&wc);
}

// A second start hands its command line to the running copy through the clipboard, since a
// posted message can carry only two numbers. The paths are made absolute here first: the
// running copy's current folder need not be this one's.
static void HandOffCommandLine(HWND hwndOther, const char* pszGiven)
{
    std::string line = AbsoluteCommandLine(pszGiven);
    const char* lpCmdLine = line.c_str();
    size_t L = line.size();
    if (L > 0 && OpenClipboard(nullptr)) {
        HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, L + 1);
        if (hMem) {
            memcpy(GlobalLock(hMem), lpCmdLine, L + 1);
            GlobalUnlock(hMem);
            EmptyClipboard();
            if (!SetClipboardData(CF_TEXT, hMem))
                GlobalFree(hMem);
        }
        CloseClipboard();
        PostMessageA(hwndOther, WM_PASSCMDLINE, (WPARAM)L, 0);
    }
    SetForegroundWindow(hwndOther);
}

// The drop-down buttons' font: the system's popup-menu font where the registry describes
// one, else bold Tahoma.
static HFONT CreatePopupFont()
{
    LOGFONTA lf = {};
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\GWE\\Menu\\PopFnt", 0, KEY_QUERY_VALUE,
                      &hKey) == ERROR_SUCCESS) {
        DWORD cb = sizeof lf.lfFaceName;
        if (RegQueryValueExA(hKey, "Nm", nullptr, nullptr, (BYTE*)lf.lfFaceName, &cb) !=
            ERROR_SUCCESS)
            lf.lfFaceName[0] = 0;
        lf.lfFaceName[sizeof lf.lfFaceName - 1] = 0;
        DWORD dw = 0;
        cb = sizeof dw;
        if (RegQueryValueExA(hKey, "Ht", nullptr, nullptr, (BYTE*)&dw, &cb) == ERROR_SUCCESS &&
            cb == sizeof dw)
            lf.lfHeight = (LONG)dw;
        dw = 0;
        cb = sizeof dw;
        if (RegQueryValueExA(hKey, "Wt", nullptr, nullptr, (BYTE*)&dw, &cb) == ERROR_SUCCESS &&
            cb == sizeof dw)
            lf.lfWeight = (LONG)dw;
        RegCloseKey(hKey);
    } else {
        strcpy(lf.lfFaceName, "Tahoma");
        lf.lfHeight = -12;
        lf.lfWeight = FW_BOLD;
    }
    return CreateFontIndirectA(&lf);
}

int InitInstance(HINSTANCE hInstance, int nCmdShow, const char* lpCmdLine)
{
    g_wnd.hInst = hInstance;
    char szClass[100], szTitle[100];
    LoadStringA(hInstance, IDS_CLASSNAME, szClass, sizeof szClass);
    LoadStringA(hInstance, IDS_APPNAME, szTitle, sizeof szTitle);

    HWND hwndOther = FindWindowA(szClass, nullptr);
    if (hwndOther) {
        HandOffCommandLine(hwndOther, lpCmdLine ? lpCmdLine : "");
        return 0;
    }
    OpenListener();
    g_wnd.hPopupFont = CreatePopupFont();
    g_wnd.hContextMenu1 = GetSubMenu(LoadMenuA(hInstance, "CONTEXT1"), 0);
    g_wnd.hContextMenu2 = GetSubMenu(LoadMenuA(hInstance, "CONTEXT2"), 0);
    RegisterMainClass(hInstance, szClass);

    HWND hwnd = CreateWindowExA(0, szClass, szTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                hInstance, nullptr);
    if (!hwnd)
        return 0;
    g_wnd.hwndMain = hwnd;
    OpenPortForUser(1);
    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    return 1;
}

static void PlaceChild(HWND hwndChild, int x, int y, int cx, int cy)
{
    SetWindowPos(hwndChild, HWND_TOP, x, y, cx, cy, SWP_SHOWWINDOW);
}

// WM_SIZE: side by side above 320 pixels of width, stacked at 320 and below.
static void OnSize(int W, int H)
{
    if (W > 320) {
        PlaceChild(g_wnd.hwndFileList, 0, 21, W / 2 - 20, H - 21);
        PlaceChild(g_wnd.hwndSendList, W / 2 + 20, 21, W / 2 - 20, H - 21);
        PlaceChild(g_wnd.hwndPathBtn, 0, 0, W / 2 - 90, 21);
        PlaceChild(g_wnd.hwndSortBtn, W / 2 - 90, 0, 70, 21);
        for (int i = 0; i < NUM_TOOL_BUTTONS; i++)
            PlaceChild(g_wnd.hwndToolBtns[i], W / 2 - 16, 2 + 36 * i, 32, 32);
        PlaceChild(g_wnd.hwndStatusText, W / 2 + 20, 0, W / 2 - 20, 21);
    } else {
        int T = H / 2 - GetSystemMetrics(SM_CYMENU);
        int S = (W - 224) / 8 + 32;
        PlaceChild(g_wnd.hwndFileList, 0, 21, W, T - 2);
        PlaceChild(g_wnd.hwndPathBtn, 0, 0, W - 70, 21);
        PlaceChild(g_wnd.hwndSortBtn, W - 70, 0, 70, 21);
        for (int i = 0; i < NUM_TOOL_BUTTONS; i++)
            PlaceChild(g_wnd.hwndToolBtns[i], i * S, T + 21, 32, 32);
        PlaceChild(g_wnd.hwndStatusText, 0, T + 53, W, 16);
        PlaceChild(g_wnd.hwndSendList, 0, T + 69, W, H - T - 69);
    }
    int V = W - 40;
    SetColumnWidth(g_wnd.hwndFileList, 0, V / 4 + 26);
    SetColumnWidth(g_wnd.hwndFileList, 1, V / 8 - 22);
    SetColumnWidth(g_wnd.hwndFileList, 2, V / 8 - 9);
    SetColumnWidth(g_wnd.hwndSendList, 0, V / 3);
    SetColumnWidth(g_wnd.hwndSendList, 1, V / 6 - 4);
}

static int ToolButtonIndex(UINT id)
{
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++)
        if ((UINT)ToolButtonIds[i] == id)
            return i;
    return -1;
}

// WM_DRAWITEM: a tool button is its face and its icon (the grey icon when disabled); the
// path and sort buttons are a caption with a drop-down arrow.
static void OnDrawItem(const DRAWITEMSTRUCT* p)
{
    int bPressed = (p->itemState & ODS_SELECTED) != 0;
    int bDisabled = (p->itemState & ODS_DISABLED) != 0;
    int i = ToolButtonIndex(p->CtlID);
    if (i >= 0) {
        ImageList_Draw(g_wnd.hButtonFaces, bPressed && !bDisabled ? 1 : 0, p->hDC, 0, 0, ILD_NORMAL);
        ImageList_Draw(g_wnd.hToolIcons, bDisabled ? 7 : i, p->hDC, 8, 8, ILD_NORMAL);
    } else if (p->CtlID == IDM_PATHMENU) {
        char szCaption[256];
        PathButtonText(g_settings.szCurDir, g_settings.bPathMenuOpen, szCaption);
        DrawDropButton(p, szCaption, 0);
    } else if (p->CtlID == IDM_SORTMENU) {
        DrawDropButton(p, g_wnd.bSortMenuOpen ? "Sort By" : SortNames[g_settings.iSortOrder & 3],
                       1);
    }
}

// A single click in the file pane opens the drive or folder it lands on; on a file it only
// selects. A path that would not fit the current-folder field is refused with a beep.
static void OnFileClick(const NMITEMACTIVATE* pItem)
{
    if (g_wnd.bSuppressClick) {
        g_wnd.bSuppressClick = 0;
        return;
    }
    EnterFolderRow(pItem->iItem);
}

// A right-click, or a click with Alt, opens the context menu where it landed.
static void OnFileMenuClick(const NMITEMACTIVATE* pItem)
{
    POINT pt = pItem->ptAction;
    ClientToScreen(g_wnd.hwndMain, &pt);
    ShowFileContextMenu(pt);
}

// WM_NOTIFY from either list view. Returns 1 when the window procedure must return 1
// (a rename that succeeded) instead of the default result.
static int OnNotify(HWND hwnd, const NMHDR* pHdr)
{
    int bFilePane = pHdr->hwndFrom == g_wnd.hwndFileList;
    switch (pHdr->code) {
    case LVN_KEYDOWN:
        OnListKeyDown(pHdr->hwndFrom, ((const NMLVKEYDOWN*)pHdr)->wVKey);
        break;
    case NM_RETURN:
        if (bFilePane)
            OnFilePaneEnter();
        break;
    case LVN_ENDLABELEDITA:
        if (bFilePane)
            return OnEndLabelEdit((const NMLVDISPINFOA*)pHdr) == 1;
        break;
    case LVN_ITEMCHANGING:
        SetFocus(g_wnd.hwndFileList);
        break;
    case NM_RCLICK:
        if (bFilePane)
            OnFileMenuClick((const NMITEMACTIVATE*)pHdr);
        break;
    case NM_DBLCLK:
        PostMessageA(hwnd, WM_COMMAND, bFilePane ? IDM_ADDTOSENDLIST : IDM_REMOVE, 0);
        break;
    case NM_CLICK:
        if (!bFilePane)
            g_wnd.bSuppressClick = 0;
        else if (GetKeyState(VK_MENU) & 0x8000)
            OnFileMenuClick((const NMITEMACTIVATE*)pHdr);
        else
            OnFileClick((const NMITEMACTIVATE*)pHdr);
        break;
    default:
        break;
    }
    return 0;
}

// Rename: edit the first selected row's name in place; the rename itself happens when the
// edit ends (LVN_ENDLABELEDITA).
static void CmdRename()
{
    HWND hwndList = g_wnd.hwndFileList;
    int i = NextSelectedItem(hwndList);
    if (i < 0)
        return;
    SetFocus(hwndList);
    SendMessageA(hwndList, LVM_EDITLABELA, (WPARAM)i, 0);
}

static void CmdAbout()
{
    int idDlg = g_wnd.bLandscape ? IDD_ABOUT : IDD_ABOUT_TALL;
    DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(idDlg), g_wnd.hwndMain, AboutDlgProc, 0);
}

// A choice of the sort menu (i the sort order): the file pane re-sorted in the new order
// without listing it again.
static void OnSortChoice(int i)
{
    g_settings.iSortOrder = i;
    SendMessageA(g_wnd.hwndFileList, LVM_SORTITEMS, (WPARAM)i, (LPARAM)CompareFileRows);
    InvalidateRect(g_wnd.hwndSortBtn, nullptr, TRUE);
}

// WM_COMMAND, by the command id alone.
static void OnCommand(UINT id)
{
    switch (id) {
    case IDM_ABOUT:         CmdAbout(); break;
    case IDM_SETTINGS:      CmdSettings(); break;
    case IDM_EXIT:          PostQuitMessage(0); break;
    case IDM_SEND:          CmdSend(); break;
    case IDM_RECEIVE:       CmdReceive(); break;
    case IDM_DEST_FOLDER_GONE: ShowDestFolderGone(); break;
    case IDM_PATHMENU:      CmdPathMenu(); break;
    case IDM_REMOVE:        RemoveSelectedFromSendList(); break;
    case IDM_DELETE:        CmdDelete(); break;
    case IDM_ADDTOSENDLIST: AddSelectedToSendList(); break;
    case IDM_PROPERTIES:    CmdProperties(); break;
    case IDM_RENAME:        CmdRename(); break;
    case IDM_OPEN:          CmdOpen(); break;
    case IDM_MOVE:          CmdMoveOrCopy(0); break;
    case IDM_HELP:          CmdHelp(); break;
    case IDM_COPYTO:        CmdMoveOrCopy(1); break;
    case IDM_NEWFOLDER:     CmdNewFolder(); break;
    case IDM_SELECTALL:     CmdSelectAll(); break;
    case IDM_DESELECTALL:   CmdDeselectAll(); break;
    case IDM_RUN:           CmdRun(); break;
    case IDM_SORTMENU:      CmdSortMenu(); break;
    case IDM_SORTBYNAME:
    case IDM_SORTBYDATE:
    case IDM_SORTBYSIZE:
    case IDM_SORTBYTYPE:    OnSortChoice((int)(id - IDM_SORTBYNAME)); break;
    default:
        if (id >= IDM_PATHLEVEL && id <= IDM_PATHLEVEL_LAST)
            OnPathLevel((int)(id - IDM_PATHLEVEL));
        break;
    }
}

static HWND CreateOwnerDrawButton(HWND hwndMain, const char* pszText, int id)
{
    return CreateWindowExA(0, "button", pszText, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0,
                           hwndMain, (HMENU)(INT_PTR)id, g_wnd.hInst, nullptr);
}

// The seven tool buttons, and the drop buttons of the path and the sort order.
static void CreateButtons(HWND hwnd)
{
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++)
        g_wnd.hwndToolBtns[i] = CreateOwnerDrawButton(hwnd, "", ToolButtonIds[i]);
    g_wnd.hwndSendBtn = g_wnd.hwndToolBtns[2];
    g_wnd.hwndPathBtn = CreateOwnerDrawButton(hwnd, "Go", IDM_PATHMENU);
    g_wnd.hwndSortBtn = CreateOwnerDrawButton(hwnd, "Go", IDM_SORTMENU);
}

// A tip over each tool button with its name. The tip control watches the mouse through the
// buttons themselves (TTF_SUBCLASS), so the message loop relays nothing to it; its class is
// asked for here, whatever start-up asked of the common controls.
static void CreateToolTips(HWND hwnd)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    g_wnd.hwndToolTips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                   g_wnd.hInst, nullptr);
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++) {
        char szTip[80] = "";
        LoadStringA(g_wnd.hInst, IDS_TOOLTIP_BASE + i, szTip, sizeof szTip);
        TOOLINFOA ti = {};
        ti.cbSize = TTTOOLINFOA_V2_SIZE;   // understood by every version of the control
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = hwnd;
        ti.uId = (UINT_PTR)g_wnd.hwndToolBtns[i];
        ti.lpszText = szTip;
        SendMessageA(g_wnd.hwndToolTips, TTM_ADDTOOLA, 0, (LPARAM)&ti);
    }
}

// WM_CREATE: the children, then the one-second poll that refreshes transfers.
static void OnCreate(HWND hwnd)
{
    g_wnd.hwndMain = hwnd;
    SetLinkUi(&WindowLinkUi);
    CreateFilePanes(hwnd);
    CreateButtons(hwnd);
    CreateToolTips(hwnd);
    SetTimer(hwnd, IDT_POLL, 1000, nullptr);
}

// WM_DESTROY: the list views give back the system's image list before they are destroyed,
// so that destroying them leaves it alone.
static void OnDestroy()
{
    ReleaseListingIcons(g_wnd.hwndFileList);
    ReleaseListingIcons(g_wnd.hwndSendList);
    PostQuitMessage(0);
}

// WM_PASSCMDLINE: a second start left its command line on the clipboard.
static void OnPassCmdLine(HWND hwnd)
{
    if (!OpenClipboard(hwnd))
        return;
    HANDLE hData = GetClipboardData(CF_TEXT);
    const char* pszText = hData ? (const char*)GlobalLock(hData) : nullptr;
    std::string line = pszText ? pszText : "";
    if (pszText)
        GlobalUnlock(hData);
    // The clipboard is let go before a path that names no file is reported.
    CloseClipboard();
    AddCommandLineToSendList(line.c_str());
    UpdateSendListStatus();
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (HoldUntilTransferEnds(msg, wParam, lParam))
        return 0;
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd);
        break;
    case WM_DESTROY:
        OnDestroy();
        break;
    case WM_SIZE:
        OnSize((short)LOWORD(lParam), (short)HIWORD(lParam));
        break;
    case WM_DRAWITEM:
        OnDrawItem((const DRAWITEMSTRUCT*)lParam);
        break;
    case WM_NOTIFY:
        if (OnNotify(hwnd, (const NMHDR*)lParam))
            return 1;
        break;
    case WM_KEYDOWN:
        if ((wParam & 0xFF) == VK_ADD_SELECTED)
            PostMessageA(hwnd, WM_COMMAND, IDM_ADDTOSENDLIST, 0);
        break;
    case WM_CONTEXTMENU:
        if (OnContextMenuKey((HWND)wParam, lParam))
            return 0;
        break;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        break;
    case WM_TIMER:
        OnPollTimer();
        break;
    case WM_DROPFILES:
        AddDroppedFilesToSendList(hwnd, (HDROP)wParam);
        return 1;
    case WM_PASSCMDLINE:
        OnPassCmdLine(hwnd);
        break;
    case WM_ASKRECEIVE: {
        ReceiveQuestion* pQuestion = (ReceiveQuestion*)lParam;
        OnAskReceive(pQuestion);
        delete pQuestion;
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
