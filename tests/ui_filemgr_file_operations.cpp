// The file pane's commands on real files: rename in place, Delete and its question, New
// Folder, Copy To and Move through their dialog, and File Properties; the cause each failure
// gives, and the destinations that Copy To, Move and Settings take.
#include <gtest/gtest.h>

#include "base/folderpath.h"
#include "browser/uistate.h"
#include "connection/settings.h"
#include "ui_support.h"

namespace {

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
