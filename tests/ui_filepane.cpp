// The file pane's keys, pressed on the keyboard (SendInput) while the pane has the focus, as a
// user presses them; and the tips of the tool buttons, by their texts and under the mouse.
// Then the file pane on the main window made in-process: what a folder lists, the order of
// each sort key and the sort choice that re-sorts in place, a folder larger than the start-up
// table, the path menu's levels; and the clicks, right-clicks and keys of both panes. Then its
// commands on real files: rename in place, Delete and its question, New Folder, Copy To and
// Move through their dialog, and File Properties; the cause each failure gives, and the
// destinations that Copy To, Move and Settings take.
#include <gtest/gtest.h>

#include "base/folderpath.h"
#include "base/paths.h"
#include "browser/pathlevels.h"
#include "ui_support.h"

#include <algorithm>
#include <cstring>
#include "connection/settings.h"
#include "winshared/uistate.h"

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

// A WindowSpy observer that notes Open and Help in caught and keeps them from the main window:
// they would start other programs.
auto CatchOpenAndHelp(std::vector<UINT>& caught)
{
    return [&caught](UINT msg, WPARAM wParam, LPARAM) {
        bool bCaught = msg == WM_COMMAND && (LOWORD(wParam) == IDM_OPEN || LOWORD(wParam) == IDM_HELP);
        if (bCaught)
            caught.push_back(LOWORD(wParam));
        return bCaught;
    };
}

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
    std::vector<UINT> caught;
    WindowSpy spy(g_wnd.hwndMain, CatchOpenAndHelp(caught));
    SetWindowTextA(hEdit, "c.txt");
    Press(VK_RETURN);
    EXPECT_EQ("B", FileContents(dir.File("c.txt")));
    EXPECT_EQ("c.txt", ItemText(g_wnd.hwndFileList, FindRow("c.txt")));
    EXPECT_TRUE(caught.empty()) << "the Enter of the edit opened the file";
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
    std::vector<UINT> caught;
    WindowSpy spy(g_wnd.hwndMain, CatchOpenAndHelp(caught));
    Pick("doc.txt");
    Press(VK_RETURN);
    Press(VK_F1);
    EXPECT_EQ((std::vector<UINT>{IDM_OPEN, IDM_HELP}), caught);

    caught.clear();
    SetFocus(g_wnd.hwndSendList);
    Pump();
    for (WORD vk : {VK_DELETE, VK_RETURN, VK_F1, VK_BACK})
        Press(vk);
    EXPECT_TRUE(caught.empty());
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
    ASSERT_NE(nullptr, g_wnd.hwndToolTips);
    ASSERT_EQ(NUM_TOOL_BUTTONS, (int)SendMessageA(g_wnd.hwndToolTips, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++) {
        TOOLINFOA ti = {};
        ti.cbSize = TTTOOLINFOA_V2_SIZE;
        ASSERT_TRUE(SendMessageA(g_wnd.hwndToolTips, TTM_ENUMTOOLSA, i, (LPARAM)&ti));
        EXPECT_EQ((UINT_PTR)g_wnd.hwndToolBtns[i], ti.uId) << i;
        char szText[1024] = "";
        ti.lpszText = szText;
        SendMessageA(g_wnd.hwndToolTips, TTM_GETTEXTA, sizeof szText, (LPARAM)&ti);
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
    for (int i = 0; i < 60 && !(bShown = IsWindowVisible(g_wnd.hwndToolTips)); i++)
        Pump(50);
    ASSERT_TRUE(bShown) << "no tip under the mouse";
    TOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ASSERT_TRUE(SendMessageA(g_wnd.hwndToolTips, TTM_GETCURRENTTOOLA, 0, (LPARAM)&ti));
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
    // Megabytes keep their tenth too.
    ScratchDir mega;
    WriteWholeFile(mega.File("mega.bin"), std::string(3u << 19, 'm'));
    List(mega.Path(), 0);
    EXPECT_EQ("1.5M", ItemText(g_wnd.hwndFileList, 0, 1));
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

struct FileOps : OnMainWindow {
    void SetUp() override { g_settings.bPromptDelete = 1; }

    static bool IsFolder(const std::string& path)
    {
        DWORD dw = GetFileAttributesA(path.c_str());
        return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY);
    }
    static HWND LabelEdit()
    {
        return (HWND)SendMessageA(g_wnd.hwndFileList, LVM_GETEDITCONTROL, 0, 0);
    }
    // Ends a label edit the way a user does: the new name typed in, then Enter.
    static void TypeLabel(const char* pszName)
    {
        HWND hEdit = LabelEdit();
        ASSERT_NE(nullptr, hEdit);
        SetWindowTextA(hEdit, pszName);
        SendMessageA(hEdit, WM_KEYDOWN, VK_RETURN, 0);
        Pump();
    }
    // Delete answered with the button; the box's caption and text.
    static std::string DeleteAnswering(int idAnswer)
    {
        BoxAnswerer box(nullptr, 10000, idAnswer);
        RunCommand(IDM_DELETE);
        return box.Shown();
    }
    // In Copy To or Move: the destination typed in and OK pressed; the caption and text of the
    // box that follows before the dialog closes, "" when none does.
    static std::string ChooseDestination(HWND hDlg, const std::string& dest)
    {
        SetDlgItemTextA(hDlg, IDC_COPYTO_DEST, dest.c_str());
        PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
        HWND hBox = nullptr;
        WaitFor([&] { return !IsWindow(hDlg) || (hBox = FindActiveDialog(nullptr, hDlg)); }, 10000);
        if (!hBox)
            return "";
        std::string s = WindowText(hBox) + ": " + BoxText(hBox);
        PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        return s;
    }
    // In Copy To or Move: Browse, a click on the first folder of Select Directory, then its OK
    // or Cancel; the destination field afterwards.
    static std::string BrowseIntoFirstFolder(HWND hDlg, int idClose)
    {
        PostMessageA(hDlg, WM_COMMAND, IDC_COPYTO_BROWSE, 0);
        HWND hSel = WaitForDialog("Select Directory");
        if (!hSel)
            return "(no Select Directory)";
        NMITEMACTIVATE nm = {{GetDlgItem(hSel, IDC_SELDIR_LIST), IDC_SELDIR_LIST, NM_CLICK}};
        SendMessageA(hSel, WM_NOTIFY, IDC_SELDIR_LIST, (LPARAM)&nm);
        PostMessageA(hSel, WM_COMMAND, idClose, 0);
        // Once it is gone, a message the dialog answers comes after Browse has returned.
        WaitFor([&] { return !IsWindow(hSel); }, 10000);
        SendMessageA(hDlg, WM_NULL, 0, 0);
        return WindowText(GetDlgItem(hDlg, IDC_COPYTO_DEST));
    }
    // Move (bCopy 0) or Copy To (1) of the rows with these names into the folder; the box
    // that follows OK, "" when none did.
    static std::string MoveOrCopy(int bCopy, std::initializer_list<const char*> names,
                                  const std::string& to)
    {
        SelectNames(names);
        std::string box;
        WithDialog(bCopy ? IDM_COPYTO : IDM_MOVE, bCopy ? "Copy File(s)" : "Move File(s)",
                   [&](HWND hDlg) { box = ChooseDestination(hDlg, to); });
        return box;
    }
    // Rename in place of the row to the name, which must fail: the box that follows. The row
    // keeps its name.
    static std::string Rename(const char* pszFrom, const std::string& to)
    {
        SelectNames({pszFrom});
        RunCommand(IDM_RENAME);
        BoxAnswerer box(nullptr);
        TypeLabel(to.c_str());
        EXPECT_GE(FindRow(pszFrom), 0) << "the row took the name " << to;
        return box.Shown();
    }
    ScratchDir dir, dest;
};

// The question names what is selected; any answer but Yes changes nothing, not even the list.
// Without the question, a tree holding a read-only file keeps that file and the folders above
// it, the rest goes, and one message says so.
TEST_F(FileOps, DeleteAsksFirstOnlyYesDeletesAndAReadOnlyFileStays)
{
    for (const char* psz : {"a.txt", "b.txt", "c.txt", "other.txt"})
        WriteWholeFile(dir.File(psz), psz);
    CreateDirectoryA(dir.File("sub").c_str(), nullptr);
    CreateDirectoryA(dir.File("sub\\keep").c_str(), nullptr);
    CreateDirectoryA(dir.File("sub\\gone").c_str(), nullptr);
    WriteWholeFile(dir.File("sub\\keep\\ro.txt"), "ro");
    WriteWholeFile(dir.File("sub\\gone\\x.txt"), "x");
    SetFileAttributesA(dir.File("sub\\keep\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ShowFolder(dir.Path());
    WriteWholeFile(dir.File("late.txt"), "not listed yet");

    SelectNames({"a.txt", "b.txt", "c.txt"});
    EXPECT_EQ("Confirm Multiple File Delete: Are you sure you want to delete these 3 items?",
              DeleteAnswering(IDNO));
    SelectNames({"sub"});
    EXPECT_EQ("Confirm Folder Delete: Are you sure you want to remove the folder 'sub' and all "
              "of its contents?",
              DeleteAnswering(IDNO));
    EXPECT_TRUE(IsFolder(dir.File("sub\\gone")));
    EXPECT_TRUE(FileExists(dir.File("a.txt")));
    EXPECT_EQ(-1, FindRow("late.txt"));

    SelectNames({"b.txt"});
    EXPECT_EQ("Delete File(s): Are you sure you want to delete 'b.txt'?", DeleteAnswering(IDYES));
    EXPECT_FALSE(FileExists(dir.File("b.txt")));
    EXPECT_EQ(-1, FindRow("b.txt"));
    EXPECT_NE(-1, FindRow("late.txt"));

    g_settings.bPromptDelete = 0;
    SelectNames({"sub", "other.txt"});
    EXPECT_EQ("Delete File(s): Not all of the files were deleted successfully\n\nAccess to "
              "'ro.txt' is denied.",
              DeleteAnswering(IDOK));
    EXPECT_EQ("ro", FileContents(dir.File("sub\\keep\\ro.txt")));
    EXPECT_FALSE(FileExists(dir.File("sub\\gone")));
    EXPECT_FALSE(FileExists(dir.File("other.txt")));
    EXPECT_NE(-1, FindRow("sub"));
}

// A file named New Folder blocks that name as a folder does; the new folder gets a row and a
// record of its own, its label opens for editing, and the name typed there renames it.
TEST_F(FileOps, NewFolderTakesTheFirstFreeNameAndOpensItsLabel)
{
    WriteWholeFile(dir.File("New Folder"), "a file");
    CreateDirectoryA(dir.File("New Folder(1)").c_str(), nullptr);
    WriteWholeFile(dir.File("z.txt"), "z");
    ShowFolder(dir.Path());
    int nRows = ItemCount(g_wnd.hwndFileList);
    RunCommand(IDM_NEWFOLDER);
    EXPECT_TRUE(IsFolder(dir.File("New Folder(2)")));
    EXPECT_EQ("a file", FileContents(dir.File("New Folder")));
    ASSERT_EQ(nRows + 1, ItemCount(g_wnd.hwndFileList));
    EXPECT_EQ("New Folder(2)", ItemText(g_wnd.hwndFileList, 0));
    EXPECT_EQ(RowsOfList(g_wnd.hwndFileList) + nRows, RowOf(g_wnd.hwndFileList, 0));
    EXPECT_FALSE(RowIsFile(RowOf(g_wnd.hwndFileList, 0)));
    ASSERT_NE(nullptr, LabelEdit());
    EXPECT_EQ("New Folder(2)", WindowText(LabelEdit()));

    TypeLabel("Reports");
    EXPECT_TRUE(IsFolder(dir.File("Reports")));
    EXPECT_FALSE(FileExists(dir.File("New Folder(2)")));
}

// Copy To starts on the receive folder. An existing target is never overwritten: it keeps its
// contents, the other file is copied, a folder is not, and one message says not all were.
// Move puts each row, a folder with its contents too, under the destination given with a
// trailing backslash. Browse fills the field with the folder Select Directory ends on, but
// only through its OK.
TEST_F(FileOps, CopyToKeepsAnExistingTargetAndMovePutsEachRowUnderTheDestination)
{
    for (const char* psz : {"a.txt", "b.txt", "y.txt"})
        WriteWholeFile(dir.File(psz), std::string("new ") + psz);
    CreateDirectoryA(dir.File("folder").c_str(), nullptr);
    WriteWholeFile(dir.File("folder\\inner.txt"), "i");
    WriteWholeFile(dest.File("a.txt"), "old");
    CreateDirectoryA(dest.File("sub").c_str(), nullptr);
    ShowFolder(dir.Path());
    SelectNames({"a.txt", "b.txt", "folder"});
    snprintf(g_settings.szDestDir, sizeof g_settings.szDestDir, "C:\\Inbox");
    std::string field, box;
    WithDialog(IDM_COPYTO, "Copy File(s)", [&](HWND hDlg) {
        field = WindowText(GetDlgItem(hDlg, IDC_COPYTO_DEST));
        box = ChooseDestination(hDlg, dest.Path());
    });
    EXPECT_EQ("C:\\Inbox", field);
    // The folder's row is listed first, so its failure is the one told.
    EXPECT_EQ("Copy File(s): Not all of the files were copied successfully\n\n'folder' is a "
              "folder; only files are copied.",
              box);
    EXPECT_EQ("old", FileContents(dest.File("a.txt")));
    EXPECT_EQ("new b.txt", FileContents(dest.File("b.txt")));
    EXPECT_EQ("new a.txt", FileContents(dir.File("a.txt")));
    EXPECT_FALSE(FileExists(dest.File("folder")));

    SelectNames({"y.txt", "folder"});
    std::string afterCancel, afterOk;
    WithDialog(IDM_MOVE, "Move File(s)", [&](HWND hDlg) {
        SetDlgItemTextA(hDlg, IDC_COPYTO_DEST, dest.Path().c_str());
        afterCancel = BrowseIntoFirstFolder(hDlg, IDCANCEL);
        afterOk = BrowseIntoFirstFolder(hDlg, IDOK);
        box = ChooseDestination(hDlg, dest.Path() + "\\");
    });
    EXPECT_EQ(dest.Path(), afterCancel);
    EXPECT_EQ(dest.File("sub"), afterOk);
    EXPECT_EQ("", box);
    EXPECT_EQ("new y.txt", FileContents(dest.File("y.txt")));
    EXPECT_EQ("i", FileContents(dest.File("folder\\inner.txt")));
    EXPECT_FALSE(FileExists(dir.File("y.txt")));
    EXPECT_FALSE(FileExists(dir.File("folder")));
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), ListNames(g_wnd.hwndFileList));
}

// Each failure gives its own cause, with the name it concerns: a file held open without
// sharing is in use, a read-only file denies access, a name that is taken exists, a name too
// long for a path or not valid says so, a folder is not copied, and a New Folder in a folder
// that has gone has nowhere to go. Nothing is lost on the way.
TEST_F(FileOps, EachFailureSaysWhy)
{
    g_settings.bPromptDelete = 0;
    for (const char* psz : {"held.txt", "ro.txt", "taken.txt"})
        WriteWholeFile(dir.File(psz), psz);
    WriteWholeFile(dest.File("taken.txt"), "old");
    SetFileAttributesA(dir.File("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA(dir.File("folder").c_str(), nullptr);
    CreateDirectoryA(dir.File("gone").c_str(), nullptr);
    HANDLE hHeld = CreateFileA(dir.File("held.txt").c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    ShowFolder(dir.Path());
    std::string longName(250 - dir.Path().size(), 'n');
    auto deleting = [](const char* pszName) {
        SelectNames({pszName});
        return DeleteAnswering(IDOK);
    };
    const std::string inUse = "'held.txt' is in use by another program.";
    const struct {
        const char* what;
        std::function<std::string()> act;
        std::string shown;
    } cases[] = {
        {"rename onto a name taken", [&] { return Rename("taken.txt", "ro.txt"); },
         "Error Renaming File: Cannot rename 'taken.txt'.\n\nAn item named 'ro.txt' already exists."},
        {"rename of a file held open", [&] { return Rename("held.txt", "free.txt"); },
         "Error Renaming File: Cannot rename 'held.txt'.\n\n" + inUse},
        {"rename to a name too long", [&] { return Rename("taken.txt", longName + "xxxxxx"); },
         "Error Renaming File: Cannot rename 'taken.txt'.\n\nThe path of '" + longName
             + "xxxxxx' is too long."},
        {"rename to a name not valid", [&] { return Rename("taken.txt", "what?.txt"); },
         "Error Renaming File: Cannot rename 'taken.txt'.\n\n'what?.txt' is not a valid name."},
        {"delete of a file held open", [&] { return deleting("held.txt"); },
         "Delete File(s): Not all of the files were deleted successfully\n\n" + inUse},
        {"delete of a read-only file", [&] { return deleting("ro.txt"); },
         "Delete File(s): Not all of the files were deleted successfully\n\nAccess to 'ro.txt' "
         "is denied."},
        {"move onto a name taken", [&] { return MoveOrCopy(0, {"taken.txt"}, dest.Path()); },
         "Move File(s): Not all of the files were moved successfully\n\nAn item named "
         "'taken.txt' already exists."},
        {"copy of a folder", [&] { return MoveOrCopy(1, {"folder"}, dest.Path()); },
         "Copy File(s): Not all of the files were copied successfully\n\n'folder' is a folder; "
         "only files are copied."},
        {"new folder in a folder that has gone",
         [&] {
             ShowFolder(dir.File("gone"));
             RemoveDirectoryA(dir.File("gone").c_str());
             BoxAnswerer box(nullptr);
             RunCommand(IDM_NEWFOLDER);
             ShowFolder(dir.Path());
             return box.Shown();
         },
         "New Folder: Cannot create the folder 'New Folder'.\n\nThe folder that should hold "
         "'New Folder' cannot be found."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.shown, c.act());
    }
    CloseHandle(hHeld);
    SetFileAttributesA(dir.File("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ("held.txt", FileContents(dir.File("held.txt")));
    EXPECT_EQ("ro.txt", FileContents(dir.File("ro.txt")));
    EXPECT_EQ("taken.txt", FileContents(dir.File("taken.txt")));
    EXPECT_EQ("old", FileContents(dest.File("taken.txt")));
    EXPECT_FALSE(FileExists(dest.File("folder")));
}

// A destination is taken only as an existing folder given in full. Copy To and Move refuse
// the drives level (the empty field that Browse leaves at "My Computer"), a relative name and
// a missing folder with a message that names it, keep their dialog open and touch nothing;
// Settings refuses the same folders when Browse ends on them and keeps the destination it had.
TEST_F(FileOps, DestinationsMustBeExistingFoldersGivenInFull)
{
    WriteWholeFile(dir.File("f.txt"), "f");
    ShowFolder(dir.Path());
    const std::string refused = "' is not a folder that exists. Give the destination in full, "
                                "such as C:\\Files or \\\\server\\share.";
    const struct {
        std::string dest;
        std::string shown;     // "" when it is taken
    } cases[] = {
        {"", "Error: 'My Computer" + refused},
        {"relative\\dir", "Error: 'relative\\dir" + refused},
        {dest.File("missing"), "Error: '" + dest.File("missing") + refused},
        {dest.Path(), ""},
    };
    for (int bCopy : {1, 0}) {
        for (const auto& c : cases) {
            SCOPED_TRACE((bCopy ? "copy to '" : "move to '") + c.dest + "'");
            SelectNames({"f.txt"});
            std::string shown;
            bool bStayed = false;
            WithDialog(bCopy ? IDM_COPYTO : IDM_MOVE, bCopy ? "Copy File(s)" : "Move File(s)",
                       [&](HWND hDlg) {
                           shown = ChooseDestination(hDlg, c.dest);
                           bStayed = !WaitFor([&] { return !IsWindow(hDlg); }, 300);
                           if (bStayed)
                               PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
                       });
            bool bTaken = c.shown.empty();
            EXPECT_EQ(c.shown, shown);
            EXPECT_EQ(!bTaken, bStayed);
            EXPECT_EQ(bTaken, FileExists(dest.File("f.txt")));
            EXPECT_EQ(bCopy || !bTaken, FileExists(dir.File("f.txt")));
            if (bCopy)
                DeleteFileA(dest.File("f.txt").c_str());
        }
    }

    for (const auto& c : cases) {
        SCOPED_TRACE("settings, browse to '" + c.dest + "'");
        snprintf(g_settings.szDestDir, sizeof g_settings.szDestDir, "%s", dir.Path().c_str());
        std::string shown, field;
        WithDialog(IDM_SETTINGS, "Settings", [&](HWND hDlg) {
            PostMessageA(hDlg, WM_COMMAND, IDC_SET_BROWSE, 0);
            // Select Directory ends on the case's folder, as its navigation would leave it.
            if (HWND hSel = WaitForDialog("Select Directory")) {
                snprintf((char*)GetWindowLongPtrA(hSel, DWLP_USER), 256, "%s", c.dest.c_str());
                PostMessageA(hSel, WM_COMMAND, IDOK, 0);
                WaitFor([&] { return !IsWindow(hSel); }, 5000);
            }
            HWND hBox = nullptr;
            if (WaitFor([&] { return (hBox = FindActiveDialog(nullptr, hDlg)) != nullptr; }, 1000)) {
                shown = WindowText(hBox) + ": " + BoxText(hBox);
                PostMessageA(hBox, WM_COMMAND, IDOK, 0);
                WaitFor([&] { return !IsWindow(hBox); }, 5000);
            }
            field = WindowText(GetDlgItem(hDlg, IDC_SET_DEST));
            PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
        });
        std::string kept = c.shown.empty() ? c.dest : dir.Path();
        EXPECT_EQ(c.shown, shown);
        EXPECT_EQ(kept, field);
        EXPECT_EQ(kept, g_settings.szDestDir);
    }
    // Settings' OK wrote the registry; the next program in this prefix must not start on it.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProgramKey);
    RegDeleteTreeA(HKEY_CURRENT_USER, kProgramKey);
}

// The destination check by the path's form: a drive letter with a colon and a backslash, or
// a UNC server and share, and then only a folder that is there.
TEST(FullFolder, OnlyAnExistingFolderGivenInFullCounts)
{
    ScratchDir dir;
    WriteWholeFile(dir.File("file.txt"), "f");
    const struct {
        std::string path;
        int bTaken;
    } cases[] = {
        {"C:\\", 1}, {"c:\\", 1}, {dir.Path(), 1}, {dir.Path() + "\\", 1},
        {"", 0}, {"C:", 0}, {"C:windows", 0}, {"\\windows", 0}, {"windows", 0},
        {"1:\\", 0}, {dir.File("file.txt"), 0}, {dir.File("missing"), 0},
        {"\\\\", 0}, {"\\\\server", 0}, {"\\\\server\\", 0}, {"\\\\\\share", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.bTaken, IsExistingFullFolder(c.path.c_str())) << "'" << c.path << "'";
}

// A link to a folder as Wine shows one: a host symbolic link, which it lists as a folder that
// is a reparse point. Made from the host by the link's host path; false when it did not come.
bool MakeFolderLink(const std::string& link, const std::string& target)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto pfnUnixName = (UnixName)(void*)GetProcAddress(GetModuleHandleA("kernel32"),
                                                        "wine_get_unix_file_name");
    std::wstring wide(link.begin(), link.end());
    char* pszHost = pfnUnixName ? pfnUnixName(wide.c_str()) : nullptr;
    if (!pszHost)
        return false;
    RunHostCommand("ln -s '" + target + "' '" + pszHost + "'");
    HeapFree(GetProcessHeap(), 0, pszHost);
    return WaitFor([&] {
        DWORD dw = GetFileAttributesA(link.c_str());
        return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_REPARSE_POINT);
    }, 5000);
}

// Deleting a folder that holds a link to a sibling folder, and deleting a link itself, never
// enters the link: the sibling keeps its file, and the folder's own file goes. The link goes
// as a link where the system lets it (Wine 8 refuses to remove a link to a folder that is not
// empty, and the folder holding it stays with the link alone in it).
TEST_F(FileOps, DeleteRemovesFolderLinksWithoutEnteringThem)
{
    CreateDirectoryA(dir.File("sibling").c_str(), nullptr);
    WriteWholeFile(dir.File("sibling\\keep.txt"), "keep");
    CreateDirectoryA(dir.File("holder").c_str(), nullptr);
    WriteWholeFile(dir.File("holder\\own.txt"), "own");
    ASSERT_TRUE(MakeFolderLink(dir.File("holder\\link"), "../sibling"));
    ASSERT_TRUE(MakeFolderLink(dir.File("alias"), "sibling"));
    g_settings.bPromptDelete = 0;
    ShowFolder(dir.Path());
    SelectNames({"holder", "alias"});
    DeleteAnswering(IDOK);
    EXPECT_EQ("keep", FileContents(dir.File("sibling\\keep.txt")));
    EXPECT_FALSE(FileExists(dir.File("holder\\own.txt")));
    if (FileExists(dir.File("holder")))
        EXPECT_EQ(std::vector<std::string>{"link"}, FolderNames(dir.File("holder")));
}

// File Properties shows the size and the attribute boxes; Cancel writes nothing whatever the
// boxes say, OK writes them.
TEST_F(FileOps, PropertiesWritesTheAttributeBoxesOnlyOnOk)
{
    std::string path = dir.File("p.txt");
    WriteWholeFile(path, std::string(1234, 'p'));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    ShowFolder(dir.Path());
    SelectNames({"p.txt"});
    // Read-only off and hidden on; what the dialog showed before.
    auto edit = [&](int idClose) {
        std::string shown;
        WithDialog(IDM_PROPERTIES, "File Properties", [&](HWND hDlg) {
            shown = WindowText(GetDlgItem(hDlg, IDC_PROP_SIZE));
            shown += IsDlgButtonChecked(hDlg, IDC_PROP_READONLY) ? " read-only" : "";
            shown += IsDlgButtonChecked(hDlg, IDC_PROP_HIDDEN) ? " hidden" : "";
            CheckDlgButton(hDlg, IDC_PROP_READONLY, BST_UNCHECKED);
            CheckDlgButton(hDlg, IDC_PROP_HIDDEN, BST_CHECKED);
            PostMessageA(hDlg, WM_COMMAND, idClose, 0);
        });
        return shown;
    };
    EXPECT_EQ("1234 Bytes read-only", edit(IDCANCEL));
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
              GetFileAttributesA(path.c_str()));
    EXPECT_EQ("1234 Bytes read-only", edit(IDOK));
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
              GetFileAttributesA(path.c_str()));
}

}  // namespace
