// The main window made in-process: the clicks and keys of both panes, and the owner name.
#include <gtest/gtest.h>

#include "browser/sendlist.h"
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
};
ScratchDir* MainWindow::s_pDir;

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
