// The main window made in-process: the clicks, right-clicks and keys of both panes.
#include <gtest/gtest.h>

#include "ui_support.h"

#include <cstring>

namespace {

using MainWindow = OnMainWindow;

// The key that adds the file pane's selection to the Send List (VK_F23).
const WORD kAddKey = 0x86;

// One click opens a folder or a drive, on a file nothing. A right-click's menu offers Run for
// a program (a name ending in ".exe" in any case) and Open for anything else, a second menu
// for several rows; the first click after a menu is swallowed.
TEST_F(MainWindow, ClicksOpenFoldersAndDrivesAndRightClicksTheProgramRule)
{
    ScratchDir dir;
    CreateDirectoryA(dir.File("sub").c_str(), nullptr);
    WriteWholeFile(dir.File("sub\\inner.txt"), "i");
    for (const char* psz : {"top.txt", "TOOL.Exe", "setup.exe", "ab"})
        WriteWholeFile(dir.File(psz), psz);
    ShowFolder(dir.Path());
    HWND hwndList = g_state.hwndFileList;
    NotifyFrom(hwndList, NM_CLICK, FindRow("top.txt"));
    NotifyFrom(hwndList, NM_CLICK, -1);
    EXPECT_EQ(dir.Path(), std::string(g_state.szCurDir));

    HMENU hShown = nullptr;
    {
        WindowSpy spy(g_state.hwndMain, [&](UINT msg, WPARAM wParam, LPARAM) {
            if (msg == WM_INITMENUPOPUP)
                hShown = (HMENU)wParam;
            else if (msg == WM_ENTERIDLE && wParam == MSGF_MENU)
                EndMenu();
        });
        auto grayed = [](UINT id) {
            return (GetMenuState(g_state.hContextMenu1, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
        };
        for (const char* psz : {"TOOL.Exe", "ab", "setup.exe"}) {
            bool bExe = strcmp(psz, "ab") != 0;
            SelectNames({psz});
            NotifyFrom(hwndList, NM_RCLICK, FindRow(psz));
            EXPECT_EQ(g_state.hContextMenu1, hShown) << psz;
            EXPECT_EQ(!bExe, grayed(IDM_RUN)) << psz;
            EXPECT_EQ(bExe, grayed(IDM_OPEN)) << psz;
        }
        SelectNames({"setup.exe", "top.txt"});
        NotifyFrom(hwndList, NM_RCLICK, FindRow("top.txt"));
        EXPECT_EQ(g_state.hContextMenu2, hShown);
    }
    NotifyFrom(hwndList, NM_CLICK, FindRow("sub"));
    EXPECT_EQ(dir.Path(), std::string(g_state.szCurDir)) << "the click after a menu opened";
    NotifyFrom(hwndList, NM_CLICK, FindRow("sub"));
    EXPECT_EQ(dir.File("sub"), std::string(g_state.szCurDir));
    EXPECT_EQ((std::vector<std::string>{"inner.txt"}), ListNames(hwndList));

    ShowFolder("");
    int iC = FindRow("C:\\");
    ASSERT_GE(iC, 0);
    NotifyFrom(hwndList, NM_CLICK, iC);
    EXPECT_STREQ("C:\\", g_state.szCurDir);
    EXPECT_GT(ItemCount(hwndList), 0);
}

// A double click in the file pane adds its selection to the Send List, in the Send List it
// removes the selected rows; the add key adds, from the window and from either list.
TEST_F(MainWindow, DoubleClicksAndTheAddKey)
{
    ScratchDir dir;
    for (const char* psz : {"a", "b", "c"})
        WriteWholeFile(dir.File(psz), psz);
    ShowFolder(dir.Path());
    HWND hwndSend = g_state.hwndSendList;
    SendMessageA(hwndSend, LVM_DELETEALLITEMS, 0, 0);
    SelectNames({"a"});
    NotifyFrom(g_state.hwndFileList, NM_DBLCLK, FindRow("a"));
    Pump(100);
    EXPECT_EQ((std::vector<std::string>{"a"}), ListNames(hwndSend));
    ListView_SetItemState(hwndSend, 0, LVIS_SELECTED, LVIS_SELECTED);
    NotifyFrom(hwndSend, NM_DBLCLK, 0);
    Pump(100);
    EXPECT_EQ(0, ItemCount(hwndSend));

    SelectNames({"b"});
    SendMessageA(g_state.hwndMain, WM_KEYDOWN, kAddKey, 0);
    Pump(100);
    SelectNames({"c"});
    NMLVKEYDOWN kd = {{hwndSend, IDC_SENDLIST, LVN_KEYDOWN}, kAddKey, 0};
    SendMessageA(g_state.hwndMain, WM_NOTIFY, IDC_SENDLIST, (LPARAM)&kd);
    Pump(100);
    EXPECT_EQ((std::vector<std::string>{"c", "b"}), ListNames(hwndSend));
}

}  // namespace
