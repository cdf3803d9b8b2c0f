// Listing folders into the file pane: what is listed, the order of each sort key, and a folder
// larger than the start-up table.
#include <gtest/gtest.h>

#include "ui_support.h"

#include <cstdio>
#include <set>
#include <vector>

namespace {

struct Listing : ::testing::Test {
    static ScratchDir* s_pHome;
    static void SetUpTestSuite()
    {
        s_pHome = new ScratchDir;
        ASSERT_NE(nullptr, MakeMainWindow(s_pHome->Path()));
    }
    static void TearDownTestSuite() { delete s_pHome; }
    void TearDown() override { g_state.iSortOrder = 0; }

    static std::vector<std::string> Names(HWND hwndList)
    {
        std::vector<std::string> v;
        for (int i = 0; i < ItemCount(hwndList); i++)
            v.push_back(ItemText(hwndList, i));
        return v;
    }
    static std::vector<std::string> List(const std::string& path, int iOrder)
    {
        g_state.iSortOrder = iOrder;
        FillFileList(g_state.hwndFileList, path.c_str(), 0);
        return Names(g_state.hwndFileList);
    }
    static const FILEROW* RowOf(HWND hwndList, int iItem)
    {
        LVITEMA it = {};
        it.mask = LVIF_PARAM;
        it.iItem = iItem;
        SendMessageA(hwndList, LVM_GETITEMA, 0, (LPARAM)&it);
        return &RowsOfList(hwndList)[it.lParam];
    }
    static void SetWriteTime(const std::string& path, WORD y, WORD mo, WORD d, WORD h, WORD mi)
    {
        SYSTEMTIME st = {};
        st.wYear = y;
        st.wMonth = mo;
        st.wDay = d;
        st.wHour = h;
        st.wMinute = mi;
        FILETIME ft;
        SystemTimeToFileTime(&st, &ft);
        HANDLE h2 = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h2);
        SetFileTime(h2, nullptr, nullptr, &ft);
        CloseHandle(h2);
    }
    static void MakeFiles(const ScratchDir& dir, int n)
    {
        for (int i = 0; i < n; i++) {
            char sz[32];
            snprintf(sz, sizeof sz, "f%05d.dat", i);
            HANDLE h = CreateFileA(dir.File(sz).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            CloseHandle(h);
        }
    }
    // Every item of a big listing has a row of its own whose key is that of its name.
    static void ExpectRowsMatchNames(HWND hwndList, int n)
    {
        ASSERT_EQ(n, ItemCount(hwndList));
        std::set<LPARAM> seen;
        for (int i = 0; i < n; i++) {
            LVITEMA it = {};
            it.mask = LVIF_PARAM;
            it.iItem = i;
            SendMessageA(hwndList, LVM_GETITEMA, 0, (LPARAM)&it);
            ASSERT_TRUE(seen.insert(it.lParam).second) << "row " << it.lParam << " used twice";
            ASSERT_EQ(NameKey(ItemText(hwndList, i).c_str(), 0),
                      RowsOfList(hwndList)[it.lParam].dwNameKey) << i;
        }
    }
};
ScratchDir* Listing::s_pHome;

// Folders before files, dot-folders left out, dot-files kept, names compared by their first
// four bytes case-folded (Readme and README.TXT are equal, so both orders are allowed).
TEST_F(Listing, NameOrderPutsFoldersFirstAndSkipsDotFolders)
{
    ScratchDir dir;
    CreateDirectoryA(dir.File("zeta").c_str(), nullptr);
    CreateDirectoryA(dir.File(".cache").c_str(), nullptr);
    CreateDirectoryA(dir.File("Beta").c_str(), nullptr);
    WriteWholeFile(dir.File("alpha.txt"), "a");
    WriteWholeFile(dir.File(".profile"), "p");
    WriteWholeFile(dir.File("mid.bin"), "m");
    std::vector<std::string> v = List(dir.Path(), 0);
    std::vector<std::string> want = {"Beta", "zeta", ".profile", "alpha.txt", "mid.bin"};
    EXPECT_EQ(want, v);
    EXPECT_TRUE(RowIsFile(RowOf(g_state.hwndFileList, 2)));
    EXPECT_FALSE(RowIsFile(RowOf(g_state.hwndFileList, 0)));
    EXPECT_FALSE(RowIsDrive(RowOf(g_state.hwndFileList, 0)));
    // Folders have no size or date text; files do.
    EXPECT_EQ("", ItemText(g_state.hwndFileList, 0, 1));
    EXPECT_EQ("1B", ItemText(g_state.hwndFileList, 3, 1));
}

TEST_F(Listing, SizeTypeAndDateOrders)
{
    ScratchDir dir;
    WriteWholeFile(dir.File("big.c"), std::string(3000, 'x'));
    WriteWholeFile(dir.File("small.txt"), "12");
    WriteWholeFile(dir.File("noext"), std::string(1536, 'y'));
    SetWriteTime(dir.File("big.c"), 2000, 12, 31, 23, 30);
    SetWriteTime(dir.File("small.txt"), 1999, 1, 1, 0, 0);
    SetWriteTime(dir.File("noext"), 2005, 6, 1, 12, 0);

    EXPECT_EQ((std::vector<std::string>{"small.txt", "noext", "big.c"}), List(dir.Path(), 2));
    // No '.' gives key 0; ".c" is below ".txt".
    EXPECT_EQ((std::vector<std::string>{"noext", "big.c", "small.txt"}), List(dir.Path(), 3));
    std::vector<std::string> byDate = List(dir.Path(), 1);
    EXPECT_EQ((std::vector<std::string>{"small.txt", "big.c", "noext"}), byDate);
    // The date is the UTC calendar date; sizes are size texts.
    EXPECT_EQ("12/31/00", ItemText(g_state.hwndFileList, 1, 2));
    EXPECT_EQ("2.9K", ItemText(g_state.hwndFileList, 1, 1));
    EXPECT_EQ("1.5K", ItemText(g_state.hwndFileList, 2, 1));
    // The sort menu's choice re-sorts without listing again.
    SendMessageA(g_state.hwndMain, 7200 + 2, 0, 0);
    EXPECT_EQ(2, g_state.iSortOrder);
    EXPECT_EQ((std::vector<std::string>{"small.txt", "noext", "big.c"}),
              Names(g_state.hwndFileList));
}

TEST_F(Listing, TenThousandEntries)
{
    ScratchDir dir;
    MakeFiles(dir, 10000);
    List(dir.Path(), 2);
    ExpectRowsMatchNames(g_state.hwndFileList, 10000);
    // A smaller folder afterwards still lists right from the grown table.
    ScratchDir small;
    WriteWholeFile(small.File("one"), "1");
    EXPECT_EQ((std::vector<std::string>{"one"}), List(small.Path(), 0));
}

}  // namespace
