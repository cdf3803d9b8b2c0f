// The file pane's Copy To and Move through the "Copy To..." dialog, and File Properties, on
// real files, with a second thread in the user's place inside each modal dialog.
#include <gtest/gtest.h>

#include "resource.h"
#include "ui_support.h"

#include <functional>

namespace {

struct CopyMoveProps : OnMainWindow {

    // Runs the command while the user thread waits for its dialog and acts in it.
    static void WithDialog(int idCommand, const char* pszCaption, std::function<void(HWND)> act)
    {
        UserThread user([&] {
            if (HWND hDlg = WaitForDialog(pszCaption))
                act(hDlg);
        });
        RunCommand(idCommand);
    }
    // The dialog's destination typed in and OK pressed; the caption and text of the box that
    // follows before the dialog closes, "" when none does.
    static std::string ChooseDestination(HWND hDlg, const std::string& dest)
    {
        SetDlgItemTextA(hDlg, 1001, dest.c_str());
        PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
        HWND hBox = nullptr;
        WaitFor([&] { return !IsWindow(hDlg) || (hBox = FindActiveDialog(nullptr, hDlg)); }, 10000);
        if (!hBox)
            return "";
        std::string s = WindowText(hBox) + ": " + BoxText(hBox);
        PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        return s;
    }
    ScratchDir src, dest;
};

// An existing target is never overwritten: it keeps its contents, the other file is copied,
// a folder is not, and one message says not all were.
TEST_F(CopyMoveProps, CopyToOntoAnExistingNameKeepsItAndSays5017)
{
    WriteWholeFile(src.File("a.txt"), "new a");
    WriteWholeFile(src.File("b.txt"), "new b");
    CreateDirectoryA(src.File("dir").c_str(), nullptr);
    WriteWholeFile(dest.File("a.txt"), "old a");
    ShowFolder(src.Path());
    SelectNames({"a.txt", "b.txt", "dir"});
    snprintf(g_state.szDestDir, sizeof g_state.szDestDir, "C:\\Inbox");
    std::string field, box;
    WithDialog(IDM_COPYTO, "Copy File(s)", [&](HWND hDlg) {
        field = WindowText(GetDlgItem(hDlg, 1001));
        box = ChooseDestination(hDlg, dest.Path());
    });
    EXPECT_EQ("C:\\Inbox", field);
    EXPECT_EQ("Copy File(s): Not all of the files were copied successfully", box);
    EXPECT_EQ("old a", FileContents(dest.File("a.txt")));
    EXPECT_EQ("new b", FileContents(dest.File("b.txt")));
    EXPECT_EQ("new a", FileContents(src.File("a.txt")));
    EXPECT_FALSE(FileExists(dest.File("dir")));
}

// Move puts each row under the destination given with a trailing backslash. Browse fills the
// field with the folder Select Directory ends on, but only through its OK.
TEST_F(CopyMoveProps, MovePutsEachFileUnderTheDestination)
{
    WriteWholeFile(src.File("x.txt"), "x");
    WriteWholeFile(src.File("y.txt"), "y");
    CreateDirectoryA(src.File("dir").c_str(), nullptr);
    WriteWholeFile(src.File("dir\\inner.txt"), "i");
    CreateDirectoryA(dest.File("sub").c_str(), nullptr);
    ShowFolder(src.Path());
    SelectNames({"x.txt", "dir"});
    std::string box, afterCancel, afterOk;
    WithDialog(IDM_MOVE, "Move File(s)", [&](HWND hDlg) {
        SetDlgItemTextA(hDlg, 1001, dest.Path().c_str());
        afterCancel = BrowseIntoFirstFolder(hDlg, IDCANCEL);
        afterOk = BrowseIntoFirstFolder(hDlg, IDOK);
        box = ChooseDestination(hDlg, dest.Path() + "\\");
    });
    EXPECT_EQ(dest.Path(), afterCancel);
    EXPECT_EQ(dest.File("sub"), afterOk);
    EXPECT_EQ("", box);
    EXPECT_EQ("x", FileContents(dest.File("x.txt")));
    EXPECT_EQ("i", FileContents(dest.File("dir\\inner.txt")));
    EXPECT_FALSE(FileExists(src.File("x.txt")));
    EXPECT_FALSE(FileExists(src.File("dir")));
    EXPECT_EQ("y", FileContents(src.File("y.txt")));
    EXPECT_FALSE(FileExists(dest.File("sub\\x.txt")));
    EXPECT_EQ(1, ItemCount(g_state.hwndFileList));
}

struct Properties : CopyMoveProps {
    // What the dialog shows: name, size, the three times and the four boxes, in that order.
    struct Shown {
        std::string name, size, created, modified, accessed;
        bool bReadOnly, bHidden, bArchive, bSystem;
    };
    static Shown Read(HWND hDlg)
    {
        auto text = [&](int id) { return WindowText(GetDlgItem(hDlg, id)); };
        auto ticked = [&](int id) { return IsDlgButtonChecked(hDlg, id) == BST_CHECKED; };
        return {text(1001), text(1008), text(1003), text(1004), text(1005),
                ticked(1010), ticked(1011), ticked(1012), ticked(1013)};
    }
    static void SetTimes(const std::string& path, const FILETIME& ftWrite, const FILETIME& ftAccess)
    {
        HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        SetFileTime(h, nullptr, &ftAccess, &ftWrite);
        CloseHandle(h);
    }
    static FILETIME Utc(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s)
    {
        SYSTEMTIME st = {y, mo, 0, d, h, mi, s, 0};
        FILETIME ft;
        SystemTimeToFileTime(&st, &ft);
        return ft;
    }
    static std::string LocalText(const FILETIME& ft)
    {
        FILETIME ftLocal;
        SYSTEMTIME st;
        FileTimeToLocalFileTime(&ft, &ftLocal);
        FileTimeToSystemTime(&ftLocal, &st);
        char sz[64];
        snprintf(sz, sizeof sz, "%02d/%02d/%04d %02d:%02d:%02d", st.wMonth, st.wDay, st.wYear,
                 st.wHour, st.wMinute, st.wSecond);
        return sz;
    }
    // Opens File Properties on the selection, sets the four boxes (1 ticked, 0 not) and
    // closes with the button; what it showed first.
    static Shown Edit(const bool (&boxes)[4], int idClose)
    {
        Shown shown = {};
        WithDialog(IDM_PROPERTIES, "File Properties", [&](HWND hDlg) {
            shown = Read(hDlg);
            const int ids[4] = {1010, 1011, 1012, 1013};
            for (int i = 0; i < 4; i++)
                SendDlgItemMessageA(hDlg, ids[i], BM_SETCHECK, boxes[i] ? BST_CHECKED : 0, 0);
            PostMessageA(hDlg, WM_COMMAND, idClose, 0);
        });
        return shown;
    }
};

TEST_F(Properties, ShowsSizeAndTimesAndWritesOnlyTheFourBits)
{
    std::string path = src.File("p.txt");
    WriteWholeFile(path, std::string(1234, 'p'));
    FILETIME ftWrite = Utc(2001, 5, 1, 10, 20, 30), ftAccess = Utc(2002, 6, 2, 11, 21, 32);
    SetTimes(path, ftWrite, ftAccess);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    WIN32_FIND_DATAA fd;
    FindClose(FindFirstFileA(path.c_str(), &fd));
    ShowFolder(src.Path());
    SelectNames({"p.txt"});

    // Cancel writes nothing, whatever the boxes say.
    Shown s = Edit({false, true, false, true}, IDCANCEL);
    EXPECT_EQ("p.txt", s.name);
    EXPECT_EQ("1234 Bytes", s.size);
    EXPECT_EQ(LocalText(fd.ftCreationTime), s.created);
    EXPECT_EQ(LocalText(ftWrite), s.modified);
    EXPECT_EQ(LocalText(ftAccess), s.accessed);
    EXPECT_TRUE(s.bReadOnly && s.bArchive);
    EXPECT_FALSE(s.bHidden || s.bSystem);
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
              GetFileAttributesA(path.c_str()));

    // OK: read-only off, hidden and system on, archive kept.
    Edit({false, true, true, true}, IDOK);
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE),
              GetFileAttributesA(path.c_str()));
    // All off: Wine reports every plain file as archive, so only the other three can go.
    s = Edit({false, false, false, false}, IDOK);
    EXPECT_TRUE(s.bHidden && s.bSystem && s.bArchive && !s.bReadOnly);
    EXPECT_EQ(0u, GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_READONLY
                                                        | FILE_ATTRIBUTE_HIDDEN
                                                        | FILE_ATTRIBUTE_SYSTEM));
}

}  // namespace
