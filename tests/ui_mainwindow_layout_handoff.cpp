// The main window made in-process: both layouts at their exact geometry and column widths,
// the single-instance hand-off through the clipboard and message 2024, the About box.
#include <gtest/gtest.h>

#include "browser/sendlist.h"
#include "connection/progress.h"
#include "connection/startup.h"
#include "resource.h"
#include "ui_support.h"

#include <cstdio>

namespace {

struct MainWindow : ::testing::Test {
    static ScratchDir* s_pDir;
    static void SetUpTestSuite()
    {
        s_pDir = new ScratchDir;
        WriteWholeFile(s_pDir->File("a.txt"), "alpha");
        ASSERT_NE(nullptr, MakeMainWindow(s_pDir->Path()));
    }
    static void TearDownTestSuite() { delete s_pDir; }

    // A child's rectangle in the main window's client coordinates.
    static RECT ChildRect(HWND hwndChild)
    {
        RECT rc;
        GetWindowRect(hwndChild, &rc);
        MapWindowPoints(nullptr, g_state.hwndMain, (POINT*)&rc, 2);
        return rc;
    }
    static void ExpectAt(HWND hwndChild, int x, int y, int cx, int cy, const char* pszWhat)
    {
        RECT rc = ChildRect(hwndChild);
        EXPECT_EQ(x, rc.left) << pszWhat;
        EXPECT_EQ(y, rc.top) << pszWhat;
        EXPECT_EQ(cx, rc.right - rc.left) << pszWhat;
        EXPECT_EQ(cy, rc.bottom - rc.top) << pszWhat;
    }
    static int ColumnWidth(HWND hwndList, int i)
    {
        return (int)SendMessageA(hwndList, LVM_GETCOLUMNWIDTH, (WPARAM)i, 0);
    }
    static void Resize(int W, int H)
    {
        SendMessageA(g_state.hwndMain, WM_SIZE, SIZE_RESTORED, MAKELPARAM(W, H));
    }
};
ScratchDir* MainWindow::s_pDir;

TEST_F(MainWindow, ClassTitleAndChildrenAreThoseOfTheProgram)
{
    char szClass[64];
    GetClassNameA(g_state.hwndMain, szClass, sizeof szClass);
    EXPECT_STREQ("TALMOX", szClass);
    // The LAN type's title is written when the link opens.
    EXPECT_EQ(0u, WindowText(g_state.hwndMain).find("Talmox"));
    EXPECT_EQ(g_state.hwndFileList, GetDlgItem(g_state.hwndMain, IDC_FILELIST));
    EXPECT_EQ(g_state.hwndSendList, GetDlgItem(g_state.hwndMain, IDC_SENDLIST));
    EXPECT_EQ(g_state.hwndStatusText, GetDlgItem(g_state.hwndMain, IDC_STATUSTEXT));
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++)
        EXPECT_EQ(hwndToolBtns[i], GetDlgItem(g_state.hwndMain, ToolButtonIds[i])) << i;
    EXPECT_EQ(hwndToolBtns[2], g_state.hwndSendBtn);
    EXPECT_NE(nullptr, hToolIcons);
    EXPECT_EQ(8, ImageList_GetImageCount(hToolIcons));
    EXPECT_EQ(2, ImageList_GetImageCount(hButtonFaces));
    EXPECT_GE(ImageList_GetImageCount(hDropArrows), 1);
    // No popup-font key on this system: bold Tahoma, 12 pixels.
    LOGFONTA lf = {};
    ASSERT_TRUE(GetObjectA(g_state.hPopupFont, sizeof lf, &lf));
    EXPECT_STREQ("Tahoma", lf.lfFaceName);
    EXPECT_EQ(-12, lf.lfHeight);
    EXPECT_EQ(700, lf.lfWeight);
    // The two context menus are the first popups of CONTEXT1 and CONTEXT2.
    EXPECT_EQ(13, GetMenuItemCount(g_state.hContextMenu1));
    EXPECT_EQ(9, GetMenuItemCount(g_state.hContextMenu2));
    EXPECT_EQ((UINT)IDM_ADDTOSENDLIST, GetMenuItemID(g_state.hContextMenu1, 0));
    EXPECT_EQ((UINT)IDM_DELETE, GetMenuItemID(g_state.hContextMenu2, 8));
    // The file pane shows the folder it was started on.
    ASSERT_EQ(1, ItemCount(g_state.hwndFileList));
    EXPECT_EQ("a.txt", ItemText(g_state.hwndFileList, 0));
}

TEST_F(MainWindow, WideLayoutAt640x400)
{
    Resize(640, 400);
    ExpectAt(g_state.hwndFileList, 0, 21, 300, 379, "file pane");
    ExpectAt(g_state.hwndSendList, 340, 21, 300, 379, "Send List");
    ExpectAt(hwndPathBtn, 0, 0, 230, 21, "path button");
    ExpectAt(hwndSortBtn, 230, 0, 70, 21, "sort button");
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++)
        ExpectAt(hwndToolBtns[i], 304, 2 + 36 * i, 32, 32, "tool button");
    ExpectAt(g_state.hwndStatusText, 340, 0, 300, 21, "summary");
    EXPECT_EQ(176, ColumnWidth(g_state.hwndFileList, 0));
    EXPECT_EQ(53, ColumnWidth(g_state.hwndFileList, 1));
    EXPECT_EQ(66, ColumnWidth(g_state.hwndFileList, 2));
    EXPECT_EQ(200, ColumnWidth(g_state.hwndSendList, 0));
    EXPECT_EQ(96, ColumnWidth(g_state.hwndSendList, 1));
    EXPECT_EQ(1, ColumnWidth(g_state.hwndSendList, 2));
}

TEST_F(MainWindow, NarrowLayoutAt240x300)
{
    Resize(240, 300);
    int M = GetSystemMetrics(SM_CYMENU), T = 300 / 2 - M;
    ExpectAt(g_state.hwndFileList, 0, 21, 240, T - 2, "file pane");
    ExpectAt(hwndPathBtn, 0, 0, 170, 21, "path button");
    ExpectAt(hwndSortBtn, 170, 0, 70, 21, "sort button");
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++)
        ExpectAt(hwndToolBtns[i], 34 * i, T + 21, 32, 32, "tool button");
    ExpectAt(g_state.hwndStatusText, 0, T + 53, 240, 16, "summary");
    ExpectAt(g_state.hwndSendList, 0, T + 69, 240, 300 - T - 69, "Send List");
    // The widths still follow V = W - 40 = 200, even the ones that come out tiny.
    EXPECT_EQ(76, ColumnWidth(g_state.hwndFileList, 0));
    EXPECT_EQ(3, ColumnWidth(g_state.hwndFileList, 1));
    EXPECT_EQ(16, ColumnWidth(g_state.hwndFileList, 2));
    EXPECT_EQ(66, ColumnWidth(g_state.hwndSendList, 0));
    EXPECT_EQ(29, ColumnWidth(g_state.hwndSendList, 1));
}

TEST_F(MainWindow, ThreeHundredTwentyIsNarrowAndOneMoreIsWide)
{
    Resize(320, 400);
    EXPECT_EQ(320, ChildRect(g_state.hwndFileList).right);
    Resize(321, 400);
    EXPECT_EQ(321 / 2 - 20, ChildRect(g_state.hwndFileList).right);
    EXPECT_EQ(321 / 2 + 20, ChildRect(g_state.hwndSendList).left);
}

// A second start finds the running window, leaves its command line on the clipboard and
// posts 2024; the running window adds the file and counts it in the summary.
TEST_F(MainWindow, SecondStartHandsItsPathToTheRunningWindow)
{
    ScratchDir dir;
    std::string path = dir.File("handed.bin");
    WriteWholeFile(path, std::string(1536, 'h'));
    int nBefore = ItemCount(g_state.hwndSendList);
    uint32_t dwBefore = g_state.dwSendListBytes;

    EXPECT_EQ(0, InitInstance(GetModuleHandleA(nullptr), SW_SHOWNORMAL, path.c_str()));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE hData = GetClipboardData(CF_TEXT);
    ASSERT_NE(nullptr, hData);
    EXPECT_EQ(path, std::string((const char*)GlobalLock(hData)));
    GlobalUnlock(hData);
    CloseClipboard();

    Pump(200);
    ASSERT_EQ(nBefore + 1, ItemCount(g_state.hwndSendList));
    EXPECT_EQ("handed.bin", ItemText(g_state.hwndSendList, 0));
    EXPECT_EQ(path, ItemText(g_state.hwndSendList, 0, 2));
    EXPECT_EQ(dwBefore + 1536, g_state.dwSendListBytes);
    char szWant[64], szSize[32];
    FormatSize((int32_t)g_state.dwSendListBytes, szSize);
    snprintf(szWant, sizeof szWant, "Files: %d  Bytes: %s", nBefore + 1, szSize);
    EXPECT_EQ(szWant, WindowText(g_state.hwndStatusText));

    // Leave the Send List as it was for the other tests.
    ListView_SetItemState(g_state.hwndSendList, 0, LVIS_SELECTED, LVIS_SELECTED);
    RemoveSelectedFromSendList();
    EXPECT_EQ(nBefore, ItemCount(g_state.hwndSendList));
}

// With an empty command line the second start only brings the window forward: the clipboard
// keeps what it held and nothing is posted.
TEST_F(MainWindow, SecondStartWithoutPathLeavesTheClipboardAlone)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, 6);
    memcpy(GlobalLock(hMem), "keep!", 6);
    GlobalUnlock(hMem);
    SetClipboardData(CF_TEXT, hMem);
    CloseClipboard();
    int nBefore = ItemCount(g_state.hwndSendList);

    EXPECT_EQ(0, InitInstance(GetModuleHandleA(nullptr), SW_SHOWNORMAL, ""));
    Pump(100);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE hData = GetClipboardData(CF_TEXT);
    ASSERT_NE(nullptr, hData);
    EXPECT_STREQ("keep!", (const char*)GlobalLock(hData));
    GlobalUnlock(hData);
    CloseClipboard();
    EXPECT_EQ(nBefore, ItemCount(g_state.hwndSendList));
}

// The tool buttons are drawn from the image lists: a disabled one shows the grey icon 7 on the
// raised face, even while pressed. Compared pixel for pixel with the image lists drawn alone.
TEST_F(MainWindow, DisabledToolButtonShowsTheGreyIconOnTheRaisedFace)
{
    HDC hdcScreen = GetDC(nullptr);
    auto render = [&](auto draw) {
        HDC hdc = CreateCompatibleDC(hdcScreen);
        HBITMAP hbm = CreateCompatibleBitmap(hdcScreen, 32, 32);
        HGDIOBJ hOld = SelectObject(hdc, hbm);
        draw(hdc);
        std::string px;
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) {
                COLORREF c = GetPixel(hdc, x, y);
                px.append((const char*)&c, sizeof c);
            }
        SelectObject(hdc, hOld);
        DeleteObject(hbm);
        DeleteDC(hdc);
        return px;
    };
    auto drawItem = [&](UINT state) {
        return render([&](HDC hdc) {
            DRAWITEMSTRUCT dis = {};
            dis.CtlType = ODT_BUTTON;
            dis.CtlID = IDM_SEND;
            dis.itemState = state;
            dis.hwndItem = hwndToolBtns[2];
            dis.hDC = hdc;
            SetRect(&dis.rcItem, 0, 0, 32, 32);
            SendMessageA(g_state.hwndMain, WM_DRAWITEM, IDM_SEND, (LPARAM)&dis);
        });
    };
    auto expected = [&](int iFace, int iIcon) {
        return render([&](HDC hdc) {
            ImageList_Draw(hButtonFaces, iFace, hdc, 0, 0, ILD_NORMAL);
            ImageList_Draw(hToolIcons, iIcon, hdc, 8, 8, ILD_NORMAL);
        });
    };
    EXPECT_EQ(expected(0, 2), drawItem(0));
    EXPECT_EQ(expected(1, 2), drawItem(ODS_SELECTED));
    EXPECT_EQ(expected(0, 7), drawItem(ODS_DISABLED));
    EXPECT_EQ(expected(0, 7), drawItem(ODS_DISABLED | ODS_SELECTED));
    EXPECT_NE(expected(0, 2), expected(0, 7));
    ReleaseDC(nullptr, hdcScreen);
}

// One click opens a folder or a drive; on a file it opens nothing; right after a menu the
// first click is swallowed.
TEST_F(MainWindow, SingleClickOpensFoldersAndDrivesOnly)
{
    ScratchDir dir;
    CreateDirectoryA(dir.File("sub").c_str(), nullptr);
    WriteWholeFile(dir.File("sub\\inner.txt"), "i");
    WriteWholeFile(dir.File("top.txt"), "t");
    snprintf(g_state.szCurDir, sizeof g_state.szCurDir, "%s", dir.Path().c_str());
    FillFileList(g_state.hwndFileList, g_state.szCurDir, 0);
    HWND hwndList = g_state.hwndFileList;

    NotifyFrom(hwndList, NM_CLICK, FindRow("top.txt"));
    EXPECT_EQ(dir.Path(), std::string(g_state.szCurDir));
    NotifyFrom(hwndList, NM_CLICK, -1);
    EXPECT_EQ(dir.Path(), std::string(g_state.szCurDir));

    g_state.bSuppressClick = 1;
    NotifyFrom(hwndList, NM_CLICK, FindRow("sub"));
    EXPECT_EQ(dir.Path(), std::string(g_state.szCurDir));
    EXPECT_EQ(0, g_state.bSuppressClick);

    NotifyFrom(hwndList, NM_CLICK, FindRow("sub"));
    EXPECT_EQ(dir.File("sub"), std::string(g_state.szCurDir));
    ASSERT_EQ(1, ItemCount(hwndList));
    EXPECT_EQ("inner.txt", ItemText(hwndList, 0));

    g_state.szCurDir[0] = 0;
    FillFileList(hwndList, "", 0);
    int iC = FindRow("C:\\");
    ASSERT_GE(iC, 0);
    NotifyFrom(hwndList, NM_CLICK, iC);
    EXPECT_STREQ("C:\\", g_state.szCurDir);
    EXPECT_GT(ItemCount(hwndList), 0);
}

// A double click in the file pane adds its selection to the Send List; in the Send List it
// removes the selected rows; key 0x86 adds, from the window and from either list.
TEST_F(MainWindow, DoubleClicksAndTheAddKey)
{
    ScratchDir dir;
    WriteWholeFile(dir.File("dbl.txt"), "dd");
    snprintf(g_state.szCurDir, sizeof g_state.szCurDir, "%s", dir.Path().c_str());
    FillFileList(g_state.hwndFileList, g_state.szCurDir, 0);
    int nBefore = ItemCount(g_state.hwndSendList);
    ListView_SetItemState(g_state.hwndFileList, 0, LVIS_SELECTED, LVIS_SELECTED);
    NotifyFrom(g_state.hwndFileList, NM_DBLCLK, 0);
    Pump(100);
    ASSERT_EQ(nBefore + 1, ItemCount(g_state.hwndSendList));
    EXPECT_EQ("dbl.txt", ItemText(g_state.hwndSendList, 0));

    ListView_SetItemState(g_state.hwndSendList, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(g_state.hwndSendList, 0, LVIS_SELECTED, LVIS_SELECTED);
    NotifyFrom(g_state.hwndSendList, NM_DBLCLK, 0);
    Pump(100);
    EXPECT_EQ(nBefore, ItemCount(g_state.hwndSendList));

    SendMessageA(g_state.hwndMain, WM_KEYDOWN, 0x86, 0);
    Pump(100);
    EXPECT_EQ(nBefore + 1, ItemCount(g_state.hwndSendList));
    ListView_SetItemState(g_state.hwndSendList, 0, LVIS_SELECTED, LVIS_SELECTED);
    RemoveSelectedFromSendList();

    NMLVKEYDOWN kd = {};
    kd.hdr.hwndFrom = g_state.hwndSendList;
    kd.hdr.idFrom = IDC_SENDLIST;
    kd.hdr.code = LVN_KEYDOWN;
    kd.wVKey = 0x86;
    SendMessageA(g_state.hwndMain, WM_NOTIFY, IDC_SENDLIST, (LPARAM)&kd);
    Pump(100);
    EXPECT_EQ(nBefore + 1, ItemCount(g_state.hwndSendList));
    ListView_SetItemState(g_state.hwndSendList, 0, LVIS_SELECTED, LVIS_SELECTED);
    RemoveSelectedFromSendList();
}

// The About box ignores Escape (IDCANCEL) and closes on OK only; its build line is set.
TEST_F(MainWindow, AboutBoxClosesOnOkOnly)
{
    std::atomic<int> nCancelSurvived{0};
    std::string built;
    std::thread user([&] {
        HWND hDlg = nullptr;
        // The dialog exists before WM_INITDIALOG has run; it is shown after.
        WaitFor([&] {
            hDlg = FindWindowA("#32770", "About talmox");
            return hDlg && IsWindowVisible(hDlg);
        }, 10000);
        if (!hDlg)
            return;
        char sz[128] = "";
        GetDlgItemTextA(hDlg, IDC_ABOUT_BUILT, sz, sizeof sz);
        built = sz;
        PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        Sleep(300);
        nCancelSurvived = (IsWindow(hDlg) ? 1 : 0) + (IsWindowVisible(hDlg) ? 2 : 0);
        PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(g_state.hwndMain, WM_COMMAND, IDM_ABOUT, 0);
    user.join();
    EXPECT_EQ("Built: May  1 2001", built);
    EXPECT_EQ(3, nCancelSurvived.load()) << "1: hidden, 0: destroyed";
}

// The owner name peers are shown: the user's "Owner" value, "No Name" when it is missing or
// empty.
TEST(OwnerName, FromTheRegistryElseNoName)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, "ControlPanel\\Owner");
    char sz[128];
    ReadOwnerName(sz, sizeof sz);
    EXPECT_STREQ("No Name", sz);
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "ControlPanel\\Owner", 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                                             nullptr));
    RegSetValueExA(hKey, "Owner", 0, REG_SZ, (const BYTE*)"", 1);
    ReadOwnerName(sz, sizeof sz);
    EXPECT_STREQ("No Name", sz);
    RegSetValueExA(hKey, "Owner", 0, REG_SZ, (const BYTE*)"Alice Wren", 11);
    ReadOwnerName(sz, sizeof sz);
    EXPECT_STREQ("Alice Wren", sz);
    // A value longer than the field is cut to it and still ends with a terminator.
    std::string longName(300, 'n');
    RegSetValueExA(hKey, "Owner", 0, REG_SZ, (const BYTE*)longName.c_str(), 301);
    ReadOwnerName(sz, sizeof sz);
    EXPECT_LT(strlen(sz), sizeof sz);
    RegCloseKey(hKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, "ControlPanel\\Owner");
}

}  // namespace
