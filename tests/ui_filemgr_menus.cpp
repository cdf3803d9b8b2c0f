// The file pane's menus as the user meets them: the context menus with the program rule and
// the sort menu that re-sorts in place.
#include <gtest/gtest.h>

#include "resource.h"
#include "ui_support.h"

namespace {

struct FileMenus : ::testing::Test {
    static ScratchDir* s_pDir;
    static void SetUpTestSuite()
    {
        s_pDir = new ScratchDir;
        CreateDirectoryA(s_pDir->File("folder").c_str(), nullptr);
        WriteWholeFile(s_pDir->File("setup.exe"), std::string(300, 's'));
        WriteWholeFile(s_pDir->File("TOOL.Exe"), std::string(2000, 't'));
        WriteWholeFile(s_pDir->File("readme.txt"), std::string(10, 'r'));
        WriteWholeFile(s_pDir->File("ab"), std::string(700, 'a'));
        ASSERT_NE(nullptr, MakeMainWindow(s_pDir->Path()));
    }
    static void TearDownTestSuite() { delete s_pDir; }
    void SetUp() override
    {
        g_state.iSortOrder = 0;
        ShowFolder(s_pDir->Path());
    }
    static std::vector<std::string> Rows()
    {
        std::vector<std::string> v;
        for (int i = 0; i < ItemCount(g_state.hwndFileList); i++)
            v.push_back(ItemText(g_state.hwndFileList, i));
        return v;
    }
};
ScratchDir* FileMenus::s_pDir;

struct ShownMenu {
    HMENU hMenu = nullptr;
    bool bRunGrayed = false, bOpenGrayed = false;
};

// Right-clicks the file pane with the named rows selected and reports the menu it tracks.
ShownMenu ContextMenuFor(std::initializer_list<const char*> selected, UINT code = NM_RCLICK)
{
    SelectNames(selected);
    ShownMenu shown;
    MenuWatch watch([&](HMENU h) {
        shown.hMenu = h;
        shown.bRunGrayed = GetMenuState(h, IDM_RUN, MF_BYCOMMAND) & MF_GRAYED;
        shown.bOpenGrayed = GetMenuState(h, IDM_OPEN, MF_BYCOMMAND) & MF_GRAYED;
        EndMenu();
    });
    g_state.bSuppressClick = 0;
    NotifyFrom(g_state.hwndFileList, code, 0);
    return shown;
}

TEST_F(FileMenus, ProgramsGetRunOthersOpenAndSeveralRowsTheSecondMenu)
{
    struct { const char* pszName; bool bExe; } const kCases[] = {
        {"setup.exe", true}, {"TOOL.Exe", true}, {"readme.txt", false}, {"ab", false}};
    for (const auto& c : kCases) {
        ShownMenu m = ContextMenuFor({c.pszName});
        EXPECT_EQ(g_state.hContextMenu1, m.hMenu) << c.pszName;
        EXPECT_EQ(!c.bExe, m.bRunGrayed) << c.pszName;
        EXPECT_EQ(c.bExe, m.bOpenGrayed) << c.pszName;
        EXPECT_EQ(1, g_state.bSuppressClick) << "the click after a menu is held back";
    }
    // No selected row counts as not a program.
    ShownMenu none = ContextMenuFor({});
    EXPECT_EQ(g_state.hContextMenu1, none.hMenu);
    EXPECT_TRUE(none.bRunGrayed);
    EXPECT_EQ(g_state.hContextMenu2, ContextMenuFor({"setup.exe", "readme.txt"}).hMenu);
}

// The sort menu marks the current order; choosing another sorts the rows already listed (a file
// made since the listing stays out) and the button then reads its name.
TEST_F(FileMenus, SortMenuResortsWithoutRelisting)
{
    EXPECT_EQ("Name", DrawnCaption(hwndSortBtn));
    WriteWholeFile(s_pDir->File("late.txt"), "l");
    std::vector<std::string> texts;
    std::string caption;
    RECT rcMenu = {};
    {
        MenuWatch watch([&](HMENU h) {
            texts = MenuTexts(h);
            caption = DrawnCaption(hwndSortBtn);
            rcMenu = TrackedMenuRect();
            ChooseMenuItem(h, IDM_SORTBASE + 2);
        });
        RunCommand(IDM_SORTMENU);
    }
    Pump(100);
    DeleteFileA(s_pDir->File("late.txt").c_str());
    EXPECT_EQ((std::vector<std::string>{"* Name", "Date", "Size", "Type"}), texts);
    EXPECT_EQ("Sort By", caption);
    // Its top right corner is the sort button's lower right corner.
    RECT rc;
    GetClientRect(g_state.hwndMain, &rc);
    POINT pt = ScreenPoint(rc.right > 320 ? rc.right / 2 - 20 : rc.right, 21);
    EXPECT_EQ(pt.x, rcMenu.right);
    EXPECT_EQ(pt.y, rcMenu.top);
    EXPECT_EQ(2, g_state.iSortOrder);
    EXPECT_EQ((std::vector<std::string>{"folder", "readme.txt", "setup.exe", "ab", "TOOL.Exe"}),
              Rows());
    EXPECT_EQ("Size", DrawnCaption(hwndSortBtn));
    EXPECT_EQ(0, g_state.bSortMenuOpen);
    EXPECT_EQ(0, g_state.bSuppressClick);
}

}  // namespace
