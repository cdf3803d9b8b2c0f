// The path menu's items and the folders its levels lead to, and the Select Directory dialog's
// own path menu on real folders.
#include "browser/filedialogs.h"
#include "mainwindow/filecommands.h"
#include "resource.h"
#include "ui_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

struct MenuItem { std::string text; UINT id; };

static std::vector<MenuItem> Items(const char* pszPath, UINT idBase)
{
    HMENU h = BuildPathMenu(pszPath, idBase);
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(h); i++) {
        char sz[300] = "";
        GetMenuStringA(h, i, sz, sizeof sz, MF_BYPOSITION);
        items.push_back({sz, GetMenuItemID(h, i)});
    }
    DestroyMenu(h);
    return items;
}

static std::string Level(const char* pszPath, int k)
{
    char sz[256];
    strcpy(sz, pszPath);
    PathOfLevel(sz, k);
    return sz;
}

TEST(PathMenu, ItemsTopDownWithIndentAndMark)
{
    auto items = Items("C:\\Data\\Reports", 1024);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].text, "My Computer");
    EXPECT_EQ(items[0].id, 1028u);
    EXPECT_EQ(items[1].text, "C:\\");
    EXPECT_EQ(items[2].text, "  Data");
    EXPECT_EQ(items[3].text, "  * Reports");
    EXPECT_EQ(items[3].id, 1025u);
}

TEST(PathMenu, LevelsLeadUpToRootAndDrives)
{
    EXPECT_EQ(Level("C:\\a\\b", 2), "C:\\a");
    EXPECT_EQ(Level("C:\\a\\b", 3), "C:\\");
    EXPECT_EQ(Level("C:\\a\\b", 4), "");
    EXPECT_EQ(Level("C:\\a\\b", 1), "C:\\a\\b");   // the folder itself changes nothing
    EXPECT_EQ(Level("C:\\a\\b", 5), "C:\\a\\b");   // past "My Computer"
    EXPECT_EQ(Level("C:\\", 2), "");
    EXPECT_EQ(Level("", 1), "");
}

// C:\Data\Reports made for the test in the prefix's drive (C:\Data only when it is new).
struct PathMenuWindow : ::testing::Test {
    static bool s_bMadeData;
    static void SetUpTestSuite()
    {
        s_bMadeData = CreateDirectoryA("C:\\Data", nullptr);
        CreateDirectoryA("C:\\Data\\Reports", nullptr);
        WriteWholeFile("C:\\Data\\Reports\\q1.txt", "q");
        ASSERT_NE(nullptr, MakeMainWindow("C:\\Data\\Reports"));
    }
    static void TearDownTestSuite()
    {
        RemoveTree(s_bMadeData ? "C:\\Data" : "C:\\Data\\Reports");
    }
};
bool PathMenuWindow::s_bMadeData;

// From a folder nine levels down, Select Directory's own path menu still leads to the drive
// root (item 11), which lists the root's folders and is what OK hands back.
TEST_F(PathMenuWindow, SelectDirectoryReachesTheRootFromADeepFolder)
{
    std::string deep = "C:\\Data\\Reports";
    for (char c = 'a'; c <= 'g'; c++)
        CreateDirectoryA((deep += std::string("\\") + c).c_str(), nullptr);
    char szBuf[256];
    strcpy(szBuf, deep.c_str());
    std::vector<std::string> texts;
    bool bRootListed = false;
    UserThread user([&] {
        HWND hDlg = WaitForDialog("Select Directory");
        if (!hDlg)
            return;
        {
            MenuWatch watch([&](HMENU h) {
                texts = MenuTexts(h);
                ChooseMenuItem(h, GetMenuItemID(h, 1));
            }, hDlg);
            PostMessageA(hDlg, WM_COMMAND, 1012, 0);
            WaitFor([&] { return strcmp(szBuf, "C:\\") == 0; }, 10000);
            SendMessageA(hDlg, WM_NULL, 0, 0);
        }
        HWND hList = GetDlgItem(hDlg, 4);
        for (int i = 0; i < ItemCount(hList); i++)
            bRootListed |= ItemText(hList, i) == "Data";
        PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
    });
    INT_PTR r = DialogBoxParamA(g_state.hInst, MAKEINTRESOURCEA(IDD_SELECTDIR), g_state.hwndMain,
                                SelectDirDlgProc, (LPARAM)szBuf);
    user.Join();
    EXPECT_EQ(1, r);
    ASSERT_EQ(11u, texts.size());
    EXPECT_EQ("C:\\", texts[1]);
    EXPECT_STREQ("C:\\", szBuf);
    EXPECT_TRUE(bRootListed);
}
