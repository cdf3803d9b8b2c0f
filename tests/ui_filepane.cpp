// The file pane: its keys, the tool tips, listing and sort orders, the path menu and the clicks;
// then its commands on real files, the cause each failure gives, and the destinations taken.
#include <gtest/gtest.h>

#include "base/folderpath.h"
#include "base/paths.h"
#include "browser/pathlevels.h"
#include "ui_support.h"

namespace {

void Input(std::vector<INPUT> in) { SendInput((UINT)in.size(), in.data(), sizeof(INPUT)); }

// A key pressed and let go, with the modifier held around it; what the key sets off is done
// when this returns.
void Press(WORD vk, WORD mod = 0)
{
    std::vector<INPUT> in;
    auto key = [&](WORD w, DWORD dwFlags) {
        in.push_back({INPUT_KEYBOARD});
        in.back().ki.wVk = w;
        in.back().ki.dwFlags = dwFlags;
    };
    if (mod)
        key(mod, 0);
    key(vk, 0);
    key(vk, KEYEVENTF_KEYUP);
    if (mod)
        key(mod, KEYEVENTF_KEYUP);
    Input(in);
    Pump(300);
}

INPUT MouseEvent(POINT pt, DWORD dwFlags)
{
    INPUT in = {INPUT_MOUSE};
    in.mi.dx = MulDiv(pt.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(pt.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = dwFlags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return in;
}

// Screen rectangle of a file pane row.
RECT RowRect(int iItem, int iPart = LVIR_BOUNDS)
{
    RECT rc = {iPart};
    SendMessageA(g_wnd.hwndFileList, LVM_GETITEMRECT, (WPARAM)iItem, (LPARAM)&rc);
    MapWindowPoints(g_wnd.hwndFileList, nullptr, (POINT*)&rc, 2);
    return rc;
}

struct Keys : OnMainWindow {
    void SetUp() override
    {
        g_wnd.bSuppressClick = 0;
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
    ScratchDir dir;
};

// Enter opens a folder or a drive, Backspace goes up to the parent, the drives level and no
// further; F5 reads the drives present again.
TEST_F(Keys, EnterBackspaceAndF5Navigate)
{
    MakeFiles(dir, {"sub\\", "sub\\inner.txt"});
    ShowFolder(dir.Path());
    auto step = [](const char* pszPick, WORD vk, const std::string& want, const char* pszListed) {
        SCOPED_TRACE("key " + std::to_string(vk) + " to " + want);
        if (pszPick)
            Pick(pszPick);
        Press(vk);
        EXPECT_EQ(want, g_settings.szCurDir);
        EXPECT_GE(FindRow(pszListed), 0) << pszListed;
    };
    step("sub", VK_RETURN, dir.File("sub"), "inner.txt");
    step(nullptr, VK_BACK, dir.Path(), "sub");
    g_wnd.DriveMask = 0;
    ShowFolder("");
    ASSERT_EQ(-1, FindRow("C:\\"));
    step(nullptr, VK_F5, "", "C:\\");
    step("C:\\", VK_RETURN, "C:\\", "windows");
    step(nullptr, VK_BACK, "", "C:\\");
    step(nullptr, VK_BACK, "", "C:\\");
}

// Each key of the file pane sends the main window its command, once; in the Send List only
// the add key does. (What each command does is tested by running it.)
TEST_F(Keys, EachKeySendsItsCommandOnce)
{
    MakeFiles(dir, {"doc.txt"});
    ShowFolder(dir.Path());
    Pick("doc.txt");
    std::vector<UINT> sent;
    WindowSpy spy(g_wnd.hwndMain, [&](UINT msg, WPARAM wParam, LPARAM) {
        if (msg == WM_COMMAND)
            sent.push_back(LOWORD(wParam));
        return msg == WM_COMMAND;
    });
    HWND hwndFiles = g_wnd.hwndFileList, hwndSend = g_wnd.hwndSendList;
    const struct { HWND hwndFocus; WORD vk, mod; std::vector<UINT> want; } cases[] = {
        {hwndFiles, VK_RETURN, 0, {IDM_OPEN}}, {hwndFiles, VK_F1, 0, {IDM_HELP}},
        {hwndFiles, VK_DELETE, 0, {IDM_DELETE}}, {hwndFiles, VK_F2, 0, {IDM_RENAME}},
        {hwndFiles, VK_INSERT, 0, {IDM_ADDTOSENDLIST}}, {hwndFiles, VK_F23, 0, {IDM_ADDTOSENDLIST}},
        {hwndFiles, 'A', VK_CONTROL, {IDM_SELECTALL}}, {hwndFiles, 'A', 0, {}},
        {hwndSend, VK_F23, 0, {IDM_ADDTOSENDLIST}}, {hwndSend, VK_DELETE, 0, {}},
        {hwndSend, VK_RETURN, 0, {}}, {hwndSend, VK_F1, 0, {}}, {hwndSend, VK_BACK, 0, {}},
        {hwndSend, VK_F2, 0, {}}, {hwndSend, VK_INSERT, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.hwndFocus == hwndSend ? "Send List" : "file pane") + ", key "
                     + std::to_string(c.vk) + (c.mod ? " with Ctrl" : ""));
        SetFocus(c.hwndFocus);
        Pump();
        sent.clear();
        Press(c.vk, c.mod);
        EXPECT_EQ(c.want, sent);
    }
}

// F2 opens the row's name for editing, and the Enter that ends the edit renames without
// opening the file.
TEST_F(Keys, EnterEndingARenameDoesNotOpenTheFile)
{
    MakeFiles(dir, {"b.txt"});
    ShowFolder(dir.Path());
    Pick("b.txt");
    Press(VK_F2);
    HWND hEdit = (HWND)SendMessageA(g_wnd.hwndFileList, LVM_GETEDITCONTROL, 0, 0);
    ASSERT_NE(nullptr, hEdit) << "F2 opened no edit box";
    ASSERT_EQ(hEdit, GetFocus());
    int nOpened = 0;
    WindowSpy spy(g_wnd.hwndMain, [&](UINT msg, WPARAM wParam, LPARAM) {
        return msg == WM_COMMAND && LOWORD(wParam) == IDM_OPEN && ++nOpened;
    });
    SetWindowTextA(hEdit, "c.txt");
    Press(VK_RETURN);
    EXPECT_EQ("b.txt", FileContents(dir.File("c.txt")));
    EXPECT_EQ(0, nOpened) << "the Enter of the edit opened the file";
}

// The context-menu key, Shift+F10 and a right-click each open the menu once, a key's under the
// selected row. One row's menu offers Run for a name ending ".exe" in any case and Open for
// anything else; several rows get the second menu. The first click after a menu is swallowed.
TEST_F(Keys, ContextMenusByKeyAndRightClick)
{
    MakeFiles(dir, {"sub\\", "1.txt", "2.txt", "3.txt", "TOOL.Exe", "setup.exe"});
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
    auto grayed = [](UINT id) {
        return (GetMenuState(g_wnd.hContextMenu1, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
    };
    const struct { const char* pick; WORD vk, mod; bool bExe; } cases[] = {
        {"2.txt", VK_APPS, 0, false}, {"TOOL.Exe", VK_F10, VK_SHIFT, true}, {"setup.exe", VK_APPS, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pick);
        Pick(c.pick);
        nShown = 0;
        Press(c.vk, c.mod);
        RECT rcRow = RowRect(FindRow(c.pick), LVIR_LABEL);
        EXPECT_EQ(1, nShown);
        EXPECT_EQ(g_wnd.hContextMenu1, hShown);
        EXPECT_NEAR(rcRow.bottom, rcMenu.top, 3);
        int x = (rcRow.left + rcRow.right) / 2;
        EXPECT_TRUE(rcMenu.left < x && x < rcMenu.right);
        EXPECT_EQ(!c.bExe, grayed(IDM_RUN));
        EXPECT_EQ(c.bExe, grayed(IDM_OPEN));
    }
    SelectNames({"setup.exe", "1.txt"});
    Press(VK_APPS);
    EXPECT_EQ(g_wnd.hContextMenu2, hShown) << "several rows";
    NotifyFrom(g_wnd.hwndFileList, NM_CLICK, FindRow("sub"));
    EXPECT_EQ(dir.Path(), g_settings.szCurDir) << "the click after a menu opened";

    nShown = 0;
    RECT rc = RowRect(FindRow("3.txt"));
    POINT pt = {rc.left + 20, (rc.top + rc.bottom) / 2};
    Input({MouseEvent(pt, 0), MouseEvent(pt, MOUSEEVENTF_RIGHTDOWN),
           MouseEvent(pt, MOUSEEVENTF_RIGHTUP)});
    Pump(300);
    EXPECT_EQ(1, nShown) << "right-click";
    EXPECT_EQ(g_wnd.hContextMenu1, hShown);
    g_wnd.bSuppressClick = 0;
}

using ToolTips = OnMainWindow;

// Each tool button has its name as its tip, and the mouse resting on a button shows that tip.
TEST_F(ToolTips, EveryToolButtonShowsItsName)
{
    const char* const kNames[NUM_TOOL_BUTTONS] = {"Add to Send List", "Remove from Send List",
                                                  "Send", "Settings", "About", "Help", "Exit"};
    HWND hwndTips = g_wnd.hwndToolTips;
    ASSERT_EQ(NUM_TOOL_BUTTONS, (int)SendMessageA(hwndTips, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < NUM_TOOL_BUTTONS; i++) {
        TOOLINFOA ti = {TTTOOLINFOA_V2_SIZE};
        ASSERT_TRUE(SendMessageA(hwndTips, TTM_ENUMTOOLSA, i, (LPARAM)&ti));
        EXPECT_EQ((UINT_PTR)g_wnd.hwndToolBtns[i], ti.uId) << i;
        char szText[1024] = "";
        ti.lpszText = szText;
        SendMessageA(hwndTips, TTM_GETTEXTA, sizeof szText, (LPARAM)&ti);
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
    ASSERT_TRUE(WaitFor([&] { Pump(20); return IsWindowVisible(hwndTips) != 0; }, 3000))
        << "no tip under the mouse";
    TOOLINFOA ti = {TTTOOLINFOA_V2_SIZE};
    ASSERT_TRUE(SendMessageA(hwndTips, TTM_GETCURRENTTOOLA, 0, (LPARAM)&ti));
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

// By name: folders before files, dot-folders left out, dot-files kept, names compared by their
// first four bytes case-folded. Then the size, type and date orders and the sort choice.
TEST_F(Listing, EachOrderAndTheSortChoice)
{
    ScratchDir names, dir;
    MakeFiles(names, {"zeta\\", ".cache\\", "Beta\\", "alpha.txt", ".profile", "mid.bin"});
    EXPECT_EQ((Names{"Beta", "zeta", ".profile", "alpha.txt", "mid.bin"}), List(names.Path(), 0));
    // Folders have no size or date text; files do.
    EXPECT_EQ("", ItemText(g_wnd.hwndFileList, 0, 1));
    EXPECT_EQ("9B", ItemText(g_wnd.hwndFileList, 3, 1));

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

// Every row of a listing larger than the start-up table has a record of its own, keyed by its
// name ("FILE" for them all); a smaller folder afterwards still lists right.
TEST_F(Listing, MoreEntriesThanTheStartupTable)
{
    ScratchDir dir;
    const int n = FILEROWS_INITIAL + 500;
    for (int i = 0; i < n; i++)
        WriteWholeFile(dir.File("file" + std::to_string(10000 + i) + ".dat"), "");
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

// Each item of the path menu goes to the level it names however deep the folder, and the pane
// lists it: the drives, the root, each folder down to the current one; past the drives nothing.
TEST_F(MainWindow, PathMenuItemsGoToTheLevelsTheyName)
{
    ScratchDir dir;
    MakeFiles(dir, {"1\\", "1\\2\\", "1\\2\\3\\", "1\\2\\3\\4\\", "1\\2\\3\\4\\5\\"});
    std::string deep = dir.File("1\\2\\3\\4\\5");
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

// One click opens a folder, on a file or no row nothing. A double click adds the file pane's
// selection to the Send List and removes the Send List's; F23 to the window adds too. Select
// All selects every file and leaves the folders as they were.
TEST_F(MainWindow, ClicksDoubleClicksTheAddKeyAndSelectAll)
{
    ScratchDir dir;
    MakeFiles(dir, {"sub\\", "sub\\inner.txt", "two\\", "a", "b"});
    ShowFolder(dir.Path());
    HWND hwndFiles = g_wnd.hwndFileList, hwndSend = g_wnd.hwndSendList;
    NotifyFrom(hwndFiles, NM_CLICK, FindRow("a"));
    NotifyFrom(hwndFiles, NM_CLICK, -1);
    EXPECT_EQ(dir.Path(), g_settings.szCurDir);
    NotifyFrom(hwndFiles, NM_CLICK, FindRow("sub"));
    EXPECT_EQ(dir.File("sub"), g_settings.szCurDir);
    EXPECT_EQ((Names{"inner.txt"}), ListNames(hwndFiles));

    ShowFolder(dir.Path());
    SendMessageA(hwndSend, LVM_DELETEALLITEMS, 0, 0);
    SelectNames({"a"});
    NotifyFrom(g_wnd.hwndFileList, NM_DBLCLK, FindRow("a"));
    Pump(100);
    EXPECT_EQ((Names{"a"}), ListNames(hwndSend));
    ListView_SetItemState(hwndSend, 0, LVIS_SELECTED, LVIS_SELECTED);
    NotifyFrom(hwndSend, NM_DBLCLK, 0);
    Pump(100);
    EXPECT_EQ(0, ItemCount(hwndSend));
    SelectNames({"b"});
    SendMessageA(g_wnd.hwndMain, WM_KEYDOWN, VK_F23, 0);
    Pump(100);
    EXPECT_EQ((Names{"b"}), ListNames(hwndSend));

    SelectNames({"sub"});
    RunCommand(IDM_SELECTALL);
    Names selected;
    for (int i = -1; (i = ListView_GetNextItem(g_wnd.hwndFileList, i, LVNI_SELECTED)) >= 0;)
        selected.push_back(ItemText(g_wnd.hwndFileList, i));
    EXPECT_EQ((Names{"sub", "a", "b"}), selected);
}

struct FileOps : OnMainWindow {
    void SetUp() override { g_settings.bPromptDelete = 1; }

    static bool IsFolder(const std::string& path)
    {
        DWORD dw = GetFileAttributesA(path.c_str());
        return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY);
    }
    static HWND LabelEdit() { return (HWND)SendMessageA(g_wnd.hwndFileList, LVM_GETEDITCONTROL, 0, 0); }
    // Ends a label edit the way a user does: the new name typed in, then Enter.
    static void TypeLabel(const std::string& name)
    {
        HWND hEdit = LabelEdit();
        ASSERT_NE(nullptr, hEdit);
        SetWindowTextA(hEdit, name.c_str());
        SendMessageA(hEdit, WM_KEYDOWN, VK_RETURN, 0);
        Pump();
    }
    static std::string DeleteAnswering(int idAnswer)
    {
        return BoxesDuring([] { RunCommand(IDM_DELETE); }, nullptr, 10000, idAnswer);
    }
    // The box a dialog of ours shows within ms, answered OK: its caption and text, "" when none.
    static std::string BoxOver(HWND hDlg, int ms)
    {
        HWND hBox = nullptr;
        if (!WaitFor([&] { return !IsWindow(hDlg) || (hBox = FindActiveDialog(nullptr, hDlg)); }, ms)
            || !hBox)
            return "";
        std::string s = WindowText(hBox) + ": " + BoxText(hBox);
        PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return !IsWindow(hBox); }, 5000);
        return s;
    }
    // In Copy To or Move: the destination typed in and OK pressed; the box that follows.
    static std::string ChooseDestination(HWND hDlg, const std::string& dest)
    {
        SetDlgItemTextA(hDlg, IDC_COPYTO_DEST, dest.c_str());
        PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
        return BoxOver(hDlg, 10000);
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
    // that follows OK.
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
        std::string box = BoxesDuring([&] { TypeLabel(to); });
        EXPECT_GE(FindRow(pszFrom), 0) << "the row took the name " << to;
        return box;
    }
    ScratchDir dir, dest;
};

// The question names what is selected and only Yes deletes; without it, a tree holding a
// read-only file keeps that file and the folders above it, and one message says so.
TEST_F(FileOps, DeleteAsksFirstOnlyYesDeletesAndAReadOnlyFileStays)
{
    MakeFiles(dir, {"a.txt", "b.txt", "c.txt", "other.txt", "sub\\", "sub\\keep\\", "sub\\gone\\",
                    "sub\\keep\\ro.txt", "sub\\gone\\x.txt"});
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
    EXPECT_TRUE(FileExists(dir.File("sub\\keep\\ro.txt")));
    EXPECT_FALSE(FileExists(dir.File("sub\\gone")));
    EXPECT_FALSE(FileExists(dir.File("other.txt")));
    EXPECT_NE(-1, FindRow("sub"));
}

// A file named New Folder blocks that name as a folder does; the new folder gets a row and a
// record of its own, its label opens for editing, and the name typed there renames it.
TEST_F(FileOps, NewFolderTakesTheFirstFreeNameAndOpensItsLabel)
{
    MakeFiles(dir, {"New Folder", "New Folder(1)\\", "z.txt"});
    ShowFolder(dir.Path());
    int nRows = ItemCount(g_wnd.hwndFileList);
    RunCommand(IDM_NEWFOLDER);
    EXPECT_TRUE(IsFolder(dir.File("New Folder(2)")));
    EXPECT_EQ("New Folder", FileContents(dir.File("New Folder")));
    ASSERT_EQ(nRows + 1, ItemCount(g_wnd.hwndFileList));
    EXPECT_EQ("New Folder(2)", ItemText(g_wnd.hwndFileList, 0));
    EXPECT_EQ(RowsOfList(g_wnd.hwndFileList) + nRows, RowOf(g_wnd.hwndFileList, 0));
    EXPECT_FALSE(RowIsFile(RowOf(g_wnd.hwndFileList, 0)));
    EXPECT_EQ("New Folder(2)", WindowText(LabelEdit())) << "no label edit";

    TypeLabel("Reports");
    EXPECT_TRUE(IsFolder(dir.File("Reports")));
    EXPECT_FALSE(FileExists(dir.File("New Folder(2)")));
}

// Copy To starts on the receive folder and never overwrites: the target keeps its contents and a
// folder is not copied, in one message. Move takes folders whole, under a destination given
// with a trailing backslash. Browse fills the field only through Select Directory's OK.
TEST_F(FileOps, CopyToKeepsAnExistingTargetAndMovePutsEachRowUnderTheDestination)
{
    MakeFiles(dir, {"a.txt", "b.txt", "y.txt", "folder\\", "folder\\inner.txt"});
    MakeFiles(dest, {"sub\\"});
    WriteWholeFile(dest.File("a.txt"), "old");
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
    EXPECT_EQ("b.txt", FileContents(dest.File("b.txt")));
    EXPECT_EQ("a.txt", FileContents(dir.File("a.txt")));
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
    EXPECT_EQ("y.txt", FileContents(dest.File("y.txt")));
    EXPECT_TRUE(FileExists(dest.File("folder\\inner.txt")));
    EXPECT_FALSE(FileExists(dir.File("y.txt")));
    EXPECT_FALSE(FileExists(dir.File("folder")));
    EXPECT_EQ((Names{"a.txt", "b.txt"}), ListNames(g_wnd.hwndFileList));
}

// Each failure gives its cause and the name it concerns, and nothing is lost. (A read-only
// file and a folder copied are Delete's and Copy To's cases.)
TEST_F(FileOps, EachFailureSaysWhy)
{
    g_settings.bPromptDelete = 0;
    MakeFiles(dir, {"held.txt", "taken.txt", "gone\\"});
    WriteWholeFile(dest.File("taken.txt"), "old");
    HANDLE hHeld = CreateFileA(dir.File("held.txt").c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    ShowFolder(dir.Path());
    std::string longName(250 - dir.Path().size(), 'n');
    const std::string inUse = "'held.txt' is in use by another program.";
    const struct { const char* what; std::function<std::string()> act; std::string shown; } cases[] = {
        {"rename onto a name taken", [&] { return Rename("taken.txt", "held.txt"); },
         "Error Renaming File: Cannot rename 'taken.txt'.\n\nAn item named 'held.txt' already exists."},
        {"rename of a file held open", [&] { return Rename("held.txt", "free.txt"); },
         "Error Renaming File: Cannot rename 'held.txt'.\n\n" + inUse},
        {"rename to a name too long", [&] { return Rename("taken.txt", longName + "xxxxxx"); },
         "Error Renaming File: Cannot rename 'taken.txt'.\n\nThe path of '" + longName
             + "xxxxxx' is too long."},
        {"rename to a name not valid", [&] { return Rename("taken.txt", "what?.txt"); },
         "Error Renaming File: Cannot rename 'taken.txt'.\n\n'what?.txt' is not a valid name."},
        {"delete of a file held open", [] { return SelectNames({"held.txt"}), DeleteAnswering(IDOK); },
         "Delete File(s): Not all of the files were deleted successfully\n\n" + inUse},
        {"move onto a name taken", [&] { return MoveOrCopy(0, {"taken.txt"}, dest.Path()); },
         "Move File(s): Not all of the files were moved successfully\n\nAn item named "
         "'taken.txt' already exists."},
        {"new folder in a folder that has gone",
         [&] {
             ShowFolder(dir.File("gone"));
             RemoveDirectoryA(dir.File("gone").c_str());
             std::string box = BoxesDuring([] { RunCommand(IDM_NEWFOLDER); });
             ShowFolder(dir.Path());
             return box;
         },
         "New Folder: Cannot create the folder 'New Folder'.\n\nThe folder that should hold "
         "'New Folder' cannot be found."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.shown, c.act());
    }
    CloseHandle(hHeld);
    EXPECT_EQ("held.txt", FileContents(dir.File("held.txt")));
    EXPECT_EQ("taken.txt", FileContents(dir.File("taken.txt")));
    EXPECT_EQ("old", FileContents(dest.File("taken.txt")));
}

// A destination must be an existing folder given in full (FullFolder checks its forms). Copy
// To (and Move, in the same dialog) refuses the drives level ("My Computer") and a missing
// folder, stays open and touches nothing; Settings refuses them from Browse and keeps its own.
TEST_F(FileOps, DestinationsMustBeExistingFoldersGivenInFull)
{
    MakeFiles(dir, {"f.txt"});
    ShowFolder(dir.Path());
    const std::string refused = "' is not a folder that exists. Give the destination in full, "
                                "such as C:\\Files or \\\\server\\share.";
    const struct { std::string dest, shown; } cases[] = {     // shown "": taken
        {"", "Error: 'My Computer" + refused},
        {dest.File("missing"), "Error: '" + dest.File("missing") + refused},
        {dest.Path(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("'" + c.dest + "'");
        bool bTaken = c.shown.empty(), bStayed = false;
        std::string shown, field;
        SelectNames({"f.txt"});
        WithDialog(IDM_COPYTO, "Copy File(s)", [&](HWND hDlg) {
            shown = ChooseDestination(hDlg, c.dest);
            bStayed = !WaitFor([&] { return !IsWindow(hDlg); }, 300);
            if (bStayed)
                PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(c.shown, shown);
        EXPECT_EQ(!bTaken, bStayed);
        EXPECT_EQ(bTaken, FileExists(dest.File("f.txt")));
        DeleteFileA(dest.File("f.txt").c_str());

        snprintf(g_settings.szDestDir, sizeof g_settings.szDestDir, "%s", dir.Path().c_str());
        WithDialog(IDM_SETTINGS, "Settings", [&](HWND hDlg) {
            PostMessageA(hDlg, WM_COMMAND, IDC_SET_BROWSE, 0);
            // Select Directory ends on the case's folder, as its navigation would leave it.
            if (HWND hSel = WaitForDialog("Select Directory")) {
                snprintf((char*)GetWindowLongPtrA(hSel, DWLP_USER), 256, "%s", c.dest.c_str());
                PostMessageA(hSel, WM_COMMAND, IDOK, 0);
                WaitFor([&] { return !IsWindow(hSel); }, 5000);
            }
            shown = BoxOver(hDlg, 1000);
            field = WindowText(GetDlgItem(hDlg, IDC_SET_DEST));
            PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
        });
        std::string kept = bTaken ? c.dest : dir.Path();
        EXPECT_EQ(c.shown, shown) << "settings";
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
    const struct { std::string path; int bTaken; } cases[] = {
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

// Deleting a folder holding a link to a sibling, or the link itself, never enters the link.
// (Wine 8 may refuse to remove a link to a folder that is not empty; the link then stays.)
TEST_F(FileOps, DeleteRemovesFolderLinksWithoutEnteringThem)
{
    MakeFiles(dir, {"sibling\\", "sibling\\keep.txt", "holder\\", "holder\\own.txt"});
    ASSERT_TRUE(MakeFolderLink(dir.File("holder\\link"), "../sibling"));
    ASSERT_TRUE(MakeFolderLink(dir.File("alias"), "sibling"));
    g_settings.bPromptDelete = 0;
    ShowFolder(dir.Path());
    SelectNames({"holder", "alias"});
    DeleteAnswering(IDOK);
    EXPECT_TRUE(FileExists(dir.File("sibling\\keep.txt")));
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
