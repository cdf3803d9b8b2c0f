// The file pane's keys, pressed on the keyboard (SendInput) while the pane has the focus, as a
// user presses them; and the tips of the tool buttons, by their texts and under the mouse.
// Then the file pane on the main window made in-process: what a folder lists, the order of
// each sort key and the sort choice that re-sorts in place, a folder larger than the start-up
// table, the path menu's levels; and the clicks, right-clicks and keys of both panes.
#include <gtest/gtest.h>

#include "base/pathjoin.h"
#include "browser/pathmenu.h"
#include "ui_support.h"

#include <algorithm>
#include <cstring>
#include <set>
#include "browser/uistate.h"
#include "connection/settings.h"

namespace {

using Names = std::vector<std::string>;

void Input(std::vector<INPUT> in)
{
    SendInput((UINT)in.size(), in.data(), sizeof(INPUT));
}

INPUT KeyEvent(WORD vk, bool bUp)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = bUp ? KEYEVENTF_KEYUP : 0;
    return in;
}

// A key pressed and let go with the modifiers held around it; what the key sets off (a modal
// box answered by another thread included) is done when this returns.
void Press(WORD vk, std::initializer_list<WORD> mods = {})
{
    std::vector<INPUT> in;
    for (WORD m : mods)
        in.push_back(KeyEvent(m, false));
    in.push_back(KeyEvent(vk, false));
    in.push_back(KeyEvent(vk, true));
    for (auto it = std::rbegin(mods); it != std::rend(mods); ++it)
        in.push_back(KeyEvent(*it, true));
    Input(in);
    Pump(300);
}

INPUT MouseEvent(POINT pt, DWORD dwFlags)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(pt.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(pt.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = dwFlags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return in;
}

// Screen rectangle of a file pane row.
RECT RowRect(int iItem, int iPart = LVIR_BOUNDS)
{
    RECT rc = {};
    rc.left = iPart;
    SendMessageA(g_wnd.hwndFileList, LVM_GETITEMRECT, (WPARAM)iItem, (LPARAM)&rc);
    MapWindowPoints(g_wnd.hwndFileList, nullptr, (POINT*)&rc, 2);
    return rc;
}

// The main window's commands with these ids are noted and not carried out: Open and Help would
// start other programs.
struct CommandCatcher {
    explicit CommandCatcher(std::set<UINT> ids)
        : m_spy(g_wnd.hwndMain, [this, ids](UINT msg, WPARAM wParam, LPARAM) {
              bool bCaught = msg == WM_COMMAND && ids.count(LOWORD(wParam));
              if (bCaught)
                  caught.push_back(LOWORD(wParam));
              return bCaught;
          })
    {
    }
    std::vector<UINT> caught;

private:
    WindowSpy m_spy;    // last, so that it catches once caught is made
};

struct Keys : OnMainWindow {
    void SetUp() override
    {
        g_settings.bPromptDelete = 1;
        g_wnd.bSuppressClick = 0;
        SendMessageA(g_wnd.hwndSendList, LVM_DELETEALLITEMS, 0, 0);
        SetForegroundWindow(g_wnd.hwndMain);
        SetFocus(g_wnd.hwndFileList);
        Pump();
        ASSERT_EQ(g_wnd.hwndFileList, GetFocus()) << "the keys could not reach the file pane";
    }
    void TearDown() override { g_wnd.DriveMask = GetLogicalDrives(); }

    // The row selected and focused, as a click or the arrow keys leave it.
    static void Pick(const char* pszName)
    {
        SelectNames({pszName});
        ListView_SetItemState(g_wnd.hwndFileList, FindRow(pszName), LVIS_FOCUSED, LVIS_FOCUSED);
    }
    static Names Selected()
    {
        Names v;
        for (int i = -1; (i = ListView_GetNextItem(g_wnd.hwndFileList, i, LVNI_SELECTED)) >= 0;)
            v.push_back(ItemText(g_wnd.hwndFileList, i));
        return v;
    }
    static std::string CurDir() { return g_settings.szCurDir; }
    ScratchDir dir;
};

// Enter opens a folder or a drive, Backspace goes up to the parent, the drives level and no
// further; F5 lists what changed on disk and the drives present now.
TEST_F(Keys, EnterBackspaceAndF5Navigate)
{
    CreateDirectoryA(dir.File("sub").c_str(), nullptr);
    WriteWholeFile(dir.File("sub\\inner.txt"), "i");
    WriteWholeFile(dir.File("top.txt"), "t");
    ShowFolder(dir.Path());
    Pick("sub");
    Press(VK_RETURN);
    EXPECT_EQ(dir.File("sub"), CurDir());
    EXPECT_EQ((Names{"inner.txt"}), ListNames(g_wnd.hwndFileList));
    Press(VK_BACK);
    EXPECT_EQ(dir.Path(), CurDir());
    EXPECT_GE(FindRow("top.txt"), 0);

    WriteWholeFile(dir.File("late.txt"), "l");
    EXPECT_EQ(-1, FindRow("late.txt"));
    Press(VK_F5);
    EXPECT_GE(FindRow("late.txt"), 0);

    g_wnd.DriveMask = 0;
    ShowFolder("");
    EXPECT_EQ(0, ItemCount(g_wnd.hwndFileList));
    Press(VK_F5);
    ASSERT_GE(FindRow("C:\\"), 0) << "F5 did not read the drives again";
    Pick("C:\\");
    Press(VK_RETURN);
    EXPECT_EQ("C:\\", CurDir());
    Press(VK_BACK);
    EXPECT_EQ("", CurDir());
    Press(VK_BACK);
    EXPECT_EQ("", CurDir());
    EXPECT_GE(FindRow("C:\\"), 0);
}

// Delete asks the Delete command's question and deletes on Yes; F2 opens the row's name for
// editing, and the Enter that ends the edit renames without opening the file.
TEST_F(Keys, DeleteAsksFirstAndF2RenamesInPlace)
{
    WriteWholeFile(dir.File("a.txt"), "A");
    WriteWholeFile(dir.File("b.txt"), "B");
    ShowFolder(dir.Path());
    Pick("a.txt");
    {
        BoxAnswerer box(nullptr, 10000, IDYES);
        Press(VK_DELETE);
        EXPECT_EQ("Delete File(s): Are you sure you want to delete 'a.txt'?", box.Shown());
    }
    EXPECT_FALSE(FileExists(dir.File("a.txt")));
    EXPECT_EQ(-1, FindRow("a.txt"));

    Pick("b.txt");
    Press(VK_F2);
    HWND hEdit = (HWND)SendMessageA(g_wnd.hwndFileList, LVM_GETEDITCONTROL, 0, 0);
    ASSERT_NE(nullptr, hEdit) << "F2 opened no edit box";
    EXPECT_EQ("b.txt", WindowText(hEdit));
    ASSERT_EQ(hEdit, GetFocus());
    CommandCatcher catcher({IDM_OPEN});
    SetWindowTextA(hEdit, "c.txt");
    Press(VK_RETURN);
    EXPECT_EQ("B", FileContents(dir.File("c.txt")));
    EXPECT_EQ("c.txt", ItemText(g_wnd.hwndFileList, FindRow("c.txt")));
    EXPECT_TRUE(catcher.caught.empty()) << "the Enter of the edit opened the file";
}

// Ctrl+A selects the files and no folder; A alone does not; Insert adds the selection to the
// Send List.
TEST_F(Keys, CtrlASelectsTheFilesAndInsertAddsThem)
{
    CreateDirectoryA(dir.File("sub").c_str(), nullptr);
    for (const char* psz : {"x.bin", "y.bin"})
        WriteWholeFile(dir.File(psz), psz);
    ShowFolder(dir.Path());
    Pick("sub");
    Press('A', {VK_CONTROL});
    EXPECT_EQ((Names{"sub", "x.bin", "y.bin"}), Selected()) << "the folder keeps its state";
    SelectNames({});
    Press('A');
    EXPECT_EQ(Names{}, Selected()) << "A without Ctrl";
    Press('A', {VK_CONTROL});
    Press(VK_INSERT);
    Names sent = ListNames(g_wnd.hwndSendList);
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ((Names{"x.bin", "y.bin"}), sent);
}

// The context-menu key and Shift+F10 open the one-row menu under the selected row, each once; a
// right-click still opens it once.
TEST_F(Keys, MenuKeysOpenTheContextMenuAtTheSelectedRow)
{
    for (const char* psz : {"1.txt", "2.txt", "3.txt", "4.txt", "5.txt"})
        WriteWholeFile(dir.File(psz), psz);
    ShowFolder(dir.Path());
    int nShown = 0;
    HMENU hShown = nullptr;
    RECT rcMenu = {};
    WindowSpy spy(g_wnd.hwndMain, [&](UINT msg, WPARAM wParam, LPARAM) {
        if (msg == WM_INITMENUPOPUP) {
            nShown++;
            hShown = (HMENU)wParam;
        } else if (msg == WM_ENTERIDLE && wParam == MSGF_MENU) {
            HWND hwndMenu = FindWindowA("#32768", nullptr);
            if (hwndMenu && IsWindowVisible(hwndMenu))
                GetWindowRect(hwndMenu, &rcMenu);
            EndMenu();
        }
    });
    auto expectMenuUnder = [&](const char* pszHow, RECT rcRow) {
        EXPECT_EQ(1, nShown) << pszHow;
        EXPECT_EQ(g_wnd.hContextMenu1, hShown) << pszHow;
        EXPECT_NEAR(rcRow.bottom, rcMenu.top, 3) << pszHow;
        int x = (rcRow.left + rcRow.right) / 2;
        EXPECT_TRUE(rcMenu.left < x && x < rcMenu.right) << pszHow;
        nShown = 0;
        hShown = nullptr;
        rcMenu = {};
    };
    Pick("4.txt");
    Press(VK_APPS);
    expectMenuUnder("context-menu key", RowRect(FindRow("4.txt"), LVIR_LABEL));
    Pick("2.txt");
    Press(VK_F10, {VK_SHIFT});
    expectMenuUnder("Shift+F10", RowRect(FindRow("2.txt"), LVIR_LABEL));

    RECT rc = RowRect(FindRow("3.txt"));
    POINT pt = {rc.left + 20, (rc.top + rc.bottom) / 2};
    Input({MouseEvent(pt, 0), MouseEvent(pt, MOUSEEVENTF_RIGHTDOWN),
           MouseEvent(pt, MOUSEEVENTF_RIGHTUP)});
    Pump(300);
    EXPECT_EQ(1, nShown) << "right-click";
    EXPECT_EQ(g_wnd.hContextMenu1, hShown);
    g_wnd.bSuppressClick = 0;
}

// Enter on a file and F1 go through Open and Help. Keys pressed in the Send List leave the
// file pane's rows alone; only the add key acts there.
TEST_F(Keys, EnterOnAFileOpensItF1AsksForHelpAndTheSendListIgnoresTheFileKeys)
{
    WriteWholeFile(dir.File("doc.txt"), "d");
    ShowFolder(dir.Path());
    CommandCatcher catcher({IDM_OPEN, IDM_HELP});
    Pick("doc.txt");
    Press(VK_RETURN);
    Press(VK_F1);
    EXPECT_EQ((std::vector<UINT>{IDM_OPEN, IDM_HELP}), catcher.caught);

    catcher.caught.clear();
    SetFocus(g_wnd.hwndSendList);
    Pump();
    for (WORD vk : {VK_DELETE, VK_RETURN, VK_F1, VK_BACK})
        Press(vk);
    EXPECT_TRUE(catcher.caught.empty());
    EXPECT_TRUE(FileExists(dir.File("doc.txt")));
    EXPECT_EQ(dir.Path(), CurDir());
    Press(VK_F23);
    EXPECT_EQ((Names{"doc.txt"}), ListNames(g_wnd.hwndSendList));
}

using ToolTips = OnMainWindow;

// Each tool button has its name as its tip, and the mouse resting on a button shows that tip.
TEST_F(ToolTips, EveryToolButtonShowsItsName)
{
    const char* const kNames[NUM_TOOL_BUTTONS] = {"Add to Send List", "Remove from Send List",
                                                  "Send", "Settings", "About", "Help", "Exit"};
    ASSERT_NE(nullptr, hwndToolTips);
    ASSERT_EQ(NUM_TOOL_BUTTONS, (int)SendMessageA(hwndToolTips, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++) {
        TOOLINFOA ti = {};
        ti.cbSize = TTTOOLINFOA_V2_SIZE;
        ASSERT_TRUE(SendMessageA(hwndToolTips, TTM_ENUMTOOLSA, i, (LPARAM)&ti));
        EXPECT_EQ((UINT_PTR)hwndToolBtns[i], ti.uId) << i;
        char szText[1024] = "";
        ti.lpszText = szText;
        SendMessageA(hwndToolTips, TTM_GETTEXTA, sizeof szText, (LPARAM)&ti);
        EXPECT_STREQ(kNames[i], szText) << i;
    }

    SetForegroundWindow(g_wnd.hwndMain);
    RECT rc;
    GetWindowRect(g_wnd.hwndSendBtn, &rc);
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    for (int dx = 60; dx >= 0; dx -= 10) {
        Input({MouseEvent({pt.x - dx, pt.y}, 0)});
        Pump(30);
    }
    bool bShown = false;
    for (int i = 0; i < 60 && !(bShown = IsWindowVisible(hwndToolTips)); i++)
        Pump(50);
    ASSERT_TRUE(bShown) << "no tip under the mouse";
    TOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ASSERT_TRUE(SendMessageA(hwndToolTips, TTM_GETCURRENTTOOLA, 0, (LPARAM)&ti));
    EXPECT_EQ((UINT_PTR)g_wnd.hwndSendBtn, ti.uId);
    Input({MouseEvent({0, 0}, 0)});
    Pump(100);
}

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
// that of its name (every name starts "file": the key is "FILE"); a smaller folder afterwards
// still lists right from the grown table.
TEST_F(Listing, MoreEntriesThanTheStartupTable)
{
    ScratchDir dir;
    const int n = FILEROWS_INITIAL + 500;
    for (int i = 0; i < n; i++) {
        char sz[32];
        snprintf(sz, sizeof sz, "file%05d.dat", i);
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
        ASSERT_EQ(0x46494C45u, p->dwNameKey) << i;
    }
    ScratchDir small;
    WriteWholeFile(small.File("one"), "1");
    EXPECT_EQ((Names{"one"}), List(small.Path(), 0));
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

// Each item of the path menu, run as the command it sends the main window, goes to the level
// it names however deep the folder is, and the pane lists that level: the drives, the drive
// root, each folder down to the current one (which changes nothing); past the drives nothing.
TEST_F(MainWindow, PathMenuItemsGoToTheLevelsTheyName)
{
    ScratchDir dir;
    std::string deep = dir.Path();
    for (const char* psz : {"1", "2", "3", "4", "5", "6", "7", "8", "9"}) {
        deep += std::string("\\") + psz;
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    for (const std::string& path : {std::string("C:\\"), deep}) {
        Names levels = {"", "C:\\"};
        for (size_t i = path.find('\\', 3); i != std::string::npos; i = path.find('\\', i + 1))
            levels.push_back(path.substr(0, i));
        if (path.size() > 3)
            levels.push_back(path);
        HMENU h = BuildPathMenu(path.c_str(), IDM_PATHLEVEL);
        int n = GetMenuItemCount(h);
        ASSERT_EQ((int)levels.size(), n) << path;
        for (int i = 0; i <= n; i++) {
            ShowFolder(path);
            RunCommand(i < n ? GetMenuItemID(h, i) : IDM_PATHLEVEL + n + 1);
            EXPECT_EQ(i < n ? levels[i] : path, std::string(g_settings.szCurDir)) << i;
            if (i + 1 < n) {    // the level below is listed
                std::string below = levels[i + 1].substr(levels[i].size());
                EXPECT_GE(FindRow(below.substr(below[0] == '\\')), 0) << below;
            }
        }
        DestroyMenu(h);
    }
}

// A double click in the file pane adds its selection to the Send List, in the Send List it
// removes the selected rows; the add key (F23) sent to the window adds too. (Pressed in a
// list it is a list's key, which Keys tests.)
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
    SendMessageA(g_wnd.hwndMain, WM_KEYDOWN, VK_F23, 0);
    Pump(100);
    EXPECT_EQ((std::vector<std::string>{"b"}), ListNames(hwndSend));
}

}  // namespace
