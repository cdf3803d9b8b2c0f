// The file pane on the main window made in-process: what a folder lists, the order of each
// sort key and the sort choice that re-sorts in place, a folder larger than the start-up table,
// the path menu's levels; and the clicks, right-clicks and keys of both panes.
#include <gtest/gtest.h>

#include "base/pathjoin.h"
#include "browser/pathmenu.h"
#include "ui_support.h"

#include <cstring>
#include "browser/uistate.h"
#include "connection/settings.h"

namespace {

using Names = std::vector<std::string>;

struct Listing : OnMainWindow {
    void TearDown() override { g_settings.iSortOrder = 0; }

    static Names List(const std::string& path, int iOrder)
    {
        g_settings.iSortOrder = iOrder;
        ShowFolder(path);
        return ListNames(g_wnd.hwndFileList);
    }
    static void SetWriteTime(const std::string& path, WORD y, WORD mo, WORD d, WORD h, WORD mi)
    {
        SYSTEMTIME st = {y, mo, 0, d, h, mi, 0, 0};
        FILETIME ft;
        SystemTimeToFileTime(&st, &ft);
        HANDLE hFile = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                   0, nullptr);
        SetFileTime(hFile, nullptr, nullptr, &ft);
        CloseHandle(hFile);
    }
};

// Folders before files, dot-folders left out, dot-files kept, names compared by their first
// four bytes case-folded.
TEST_F(Listing, NameOrderPutsFoldersFirstAndSkipsDotFolders)
{
    ScratchDir dir;
    CreateDirectoryA(dir.File("zeta").c_str(), nullptr);
    CreateDirectoryA(dir.File(".cache").c_str(), nullptr);
    CreateDirectoryA(dir.File("Beta").c_str(), nullptr);
    WriteWholeFile(dir.File("alpha.txt"), "a");
    WriteWholeFile(dir.File(".profile"), "p");
    WriteWholeFile(dir.File("mid.bin"), "m");
    EXPECT_EQ((Names{"Beta", "zeta", ".profile", "alpha.txt", "mid.bin"}), List(dir.Path(), 0));
    EXPECT_TRUE(RowIsFile(RowOf(g_wnd.hwndFileList, 2))) << "a dot-file listed as a folder";
    // Folders have no size or date text; files do.
    EXPECT_EQ("", ItemText(g_wnd.hwndFileList, 0, 1));
    EXPECT_EQ("1B", ItemText(g_wnd.hwndFileList, 3, 1));
}

TEST_F(Listing, SizeTypeAndDateOrdersAndTheSortChoice)
{
    ScratchDir dir;
    WriteWholeFile(dir.File("big.c"), std::string(3000, 'x'));
    WriteWholeFile(dir.File("small.txt"), "12");
    WriteWholeFile(dir.File("noext"), std::string(1536, 'y'));
    SetWriteTime(dir.File("big.c"), 2000, 12, 31, 23, 30);
    SetWriteTime(dir.File("small.txt"), 1999, 1, 1, 0, 0);
    SetWriteTime(dir.File("noext"), 2005, 6, 1, 12, 0);

    EXPECT_EQ((Names{"small.txt", "noext", "big.c"}), List(dir.Path(), 2));
    // No '.' gives key 0; ".c" is below ".txt".
    EXPECT_EQ((Names{"noext", "big.c", "small.txt"}), List(dir.Path(), 3));
    EXPECT_EQ((Names{"small.txt", "big.c", "noext"}), List(dir.Path(), 1));
    // The date is the UTC calendar date; sizes are size texts.
    EXPECT_EQ("12/31/00", ItemText(g_wnd.hwndFileList, 1, 2));
    EXPECT_EQ("2.9K", ItemText(g_wnd.hwndFileList, 1, 1));
    EXPECT_EQ("1.5K", ItemText(g_wnd.hwndFileList, 2, 1));
    // The sort menu's choice re-sorts the rows listed without listing again: a file made
    // since stays out.
    WriteWholeFile(dir.File("late.txt"), "l");
    RunCommand(IDM_SORTBYSIZE);
    EXPECT_EQ(2, g_settings.iSortOrder);
    EXPECT_EQ((Names{"small.txt", "noext", "big.c"}), ListNames(g_wnd.hwndFileList));
}

// Every row of a listing larger than the start-up table has a record of its own whose key is
// that of its name; a smaller folder afterwards still lists right from the grown table.
TEST_F(Listing, MoreEntriesThanTheStartupTable)
{
    ScratchDir dir;
    const int n = FILEROWS_INITIAL + 500;
    for (int i = 0; i < n; i++) {
        char sz[32];
        snprintf(sz, sizeof sz, "f%05d.dat", i);
        CloseHandle(CreateFileA(dir.File(sz).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    List(dir.Path(), 2);
    HWND hwndList = g_wnd.hwndFileList;
    ASSERT_EQ(n, ItemCount(hwndList));
    std::vector<bool> used(n);
    for (int i = 0; i < n; i++) {
        const FILEROW* p = RowOf(hwndList, i);
        ptrdiff_t r = p - RowsOfList(hwndList);
        ASSERT_TRUE(r >= 0 && r < n && !used[r]) << "row " << i << " has record " << r;
        used[r] = true;
        ASSERT_EQ(NameKey(ItemText(hwndList, i).c_str(), 0), p->dwNameKey) << i;
    }
    ScratchDir small;
    WriteWholeFile(small.File("one"), "1");
    EXPECT_EQ((Names{"one"}), List(small.Path(), 0));
}

// Each item of the path menu leads to the level it names, however deep the folder: the
// drives, the drive root, each folder down to the current one (which changes nothing).
TEST(PathMenu, EveryItemLeadsToTheLevelItNames)
{
    for (const char* pszPath : {"C:\\", "C:\\1\\2\\3\\4\\5\\6\\7\\8\\9"}) {
        HMENU h = BuildPathMenu(pszPath, 1024);
        int n = GetMenuItemCount(h);
        EXPECT_EQ(pszPath[3] ? 11 : 2, n);
        char sz[256];
        for (int i = 0; i < n; i++) {
            strcpy(sz, pszPath);
            PathOfLevel(sz, (int)GetMenuItemID(h, i) - 1024);
            EXPECT_EQ(i == 0 ? "" : i == 1 ? "C:\\" : std::string(pszPath, 2 * i), sz) << i;
        }
        DestroyMenu(h);
        strcpy(sz, pszPath);
        EXPECT_EQ(0, PathOfLevel(sz, n + 1)) << "past the drives";
    }
}

// A join puts one backslash between folder and name, none after a root's own, and says when
// the whole path did not fit (the buffer then holds as much as fits).
TEST(PathJoin, OneBackslashAndNoSilentCut)
{
    char sz[8];
    EXPECT_TRUE(JoinPath(sz, sizeof sz, "C:\\", "ab"));
    EXPECT_STREQ("C:\\ab", sz);
    EXPECT_TRUE(JoinPath(sz, sizeof sz, "C:\\d", "ab"));
    EXPECT_STREQ("C:\\d\\ab", sz);
    EXPECT_FALSE(JoinPath(sz, sizeof sz, "C:\\d", "abc"));
    EXPECT_STREQ("C:\\d\\ab", sz);
}

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
    HWND hwndList = g_wnd.hwndFileList;
    NotifyFrom(hwndList, NM_CLICK, FindRow("top.txt"));
    NotifyFrom(hwndList, NM_CLICK, -1);
    EXPECT_EQ(dir.Path(), std::string(g_settings.szCurDir));

    HMENU hShown = nullptr;
    {
        WindowSpy spy(g_wnd.hwndMain, [&](UINT msg, WPARAM wParam, LPARAM) {
            if (msg == WM_INITMENUPOPUP)
                hShown = (HMENU)wParam;
            else if (msg == WM_ENTERIDLE && wParam == MSGF_MENU)
                EndMenu();
        });
        auto grayed = [](UINT id) {
            return (GetMenuState(g_wnd.hContextMenu1, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
        };
        for (const char* psz : {"TOOL.Exe", "ab", "setup.exe"}) {
            bool bExe = strcmp(psz, "ab") != 0;
            SelectNames({psz});
            NotifyFrom(hwndList, NM_RCLICK, FindRow(psz));
            EXPECT_EQ(g_wnd.hContextMenu1, hShown) << psz;
            EXPECT_EQ(!bExe, grayed(IDM_RUN)) << psz;
            EXPECT_EQ(bExe, grayed(IDM_OPEN)) << psz;
        }
        SelectNames({"setup.exe", "top.txt"});
        NotifyFrom(hwndList, NM_RCLICK, FindRow("top.txt"));
        EXPECT_EQ(g_wnd.hContextMenu2, hShown);
    }
    NotifyFrom(hwndList, NM_CLICK, FindRow("sub"));
    EXPECT_EQ(dir.Path(), std::string(g_settings.szCurDir)) << "the click after a menu opened";
    NotifyFrom(hwndList, NM_CLICK, FindRow("sub"));
    EXPECT_EQ(dir.File("sub"), std::string(g_settings.szCurDir));
    EXPECT_EQ((std::vector<std::string>{"inner.txt"}), ListNames(hwndList));

    ShowFolder("");
    int iC = FindRow("C:\\");
    ASSERT_GE(iC, 0);
    NotifyFrom(hwndList, NM_CLICK, iC);
    EXPECT_STREQ("C:\\", g_settings.szCurDir);
    EXPECT_GT(ItemCount(hwndList), 0);
}

// The path menu's items, which come back to the main window as commands, lead to each level
// of a folder however deep: its parent, a level more than eight up, the drive root and the
// drives; the folder itself and past the drives change nothing.
TEST_F(MainWindow, PathMenuCommandsReachEveryLevel)
{
    ScratchDir dir;
    std::string deep = dir.Path();
    for (const char* psz : {"1", "2", "3", "4", "5", "6", "7", "8", "9"}) {
        deep += std::string("\\") + psz;
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    int d = PathDepth(deep.c_str());
    ASSERT_GE(d, 10);
    auto go = [&](int k) {
        ShowFolder(deep);
        RunCommand(IDM_PATHLEVEL + k);
        return std::string(g_settings.szCurDir);
    };
    EXPECT_EQ(deep, go(1));
    EXPECT_EQ(deep.substr(0, deep.size() - 2), go(2));
    EXPECT_EQ(dir.Path(), go(10));
    EXPECT_GE(FindRow("1"), 0) << "the pane lists the level gone to";
    EXPECT_EQ(deep.substr(0, 3), go(d + 1));
    EXPECT_EQ("", go(d + 2));
    EXPECT_GE(FindRow("C:\\"), 0);
    EXPECT_EQ(deep, go(d + 3));
}

// A double click in the file pane adds its selection to the Send List, in the Send List it
// removes the selected rows; the add key adds, from the window and from either list.
TEST_F(MainWindow, DoubleClicksAndTheAddKey)
{
    ScratchDir dir;
    for (const char* psz : {"a", "b", "c"})
        WriteWholeFile(dir.File(psz), psz);
    ShowFolder(dir.Path());
    HWND hwndSend = g_wnd.hwndSendList;
    SendMessageA(hwndSend, LVM_DELETEALLITEMS, 0, 0);
    SelectNames({"a"});
    NotifyFrom(g_wnd.hwndFileList, NM_DBLCLK, FindRow("a"));
    Pump(100);
    EXPECT_EQ((std::vector<std::string>{"a"}), ListNames(hwndSend));
    ListView_SetItemState(hwndSend, 0, LVIS_SELECTED, LVIS_SELECTED);
    NotifyFrom(hwndSend, NM_DBLCLK, 0);
    Pump(100);
    EXPECT_EQ(0, ItemCount(hwndSend));

    SelectNames({"b"});
    SendMessageA(g_wnd.hwndMain, WM_KEYDOWN, kAddKey, 0);
    Pump(100);
    SelectNames({"c"});
    NMLVKEYDOWN kd = {{hwndSend, IDC_SENDLIST, LVN_KEYDOWN}, kAddKey, 0};
    SendMessageA(g_wnd.hwndMain, WM_NOTIFY, IDC_SENDLIST, (LPARAM)&kd);
    Pump(100);
    EXPECT_EQ((std::vector<std::string>{"c", "b"}), ListNames(hwndSend));
}

}  // namespace
