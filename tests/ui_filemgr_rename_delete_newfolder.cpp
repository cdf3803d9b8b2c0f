// The file pane's rename in place, Delete and its question, and New Folder, on real files.
#include <gtest/gtest.h>

#include "resource.h"
#include "ui_support.h"

namespace {

struct FileOps : OnMainWindow {
    void SetUp() override { g_state.bPromptDelete = 1; }

    static bool IsFolder(const std::string& path)
    {
        DWORD dw = GetFileAttributesA(path.c_str());
        return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY);
    }
    static HWND LabelEdit()
    {
        return (HWND)SendMessageA(g_state.hwndFileList, LVM_GETEDITCONTROL, 0, 0);
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
        return box.Caption() + ": " + box.Text();
    }
    ScratchDir dir;
};

TEST_F(FileOps, RenameToAnExistingNameIsRefusedAndAFreeNameRenamesOnDisk)
{
    WriteWholeFile(dir.File("a.txt"), "A");
    WriteWholeFile(dir.File("b.txt"), "B");
    ShowFolder(dir.Path());
    SelectNames({"a.txt"});
    RunCommand(IDM_RENAME);
    {
        BoxAnswerer box("Error Renaming File");
        TypeLabel("b.txt");
        EXPECT_EQ("Cannot rename 'a.txt':\n\n A file with the name you specified already "
                  "exists.  Specify a different Name.",
                  box.Text());
        EXPECT_EQ(LoadIconA(nullptr, IDI_HAND), box.Icon());
    }
    EXPECT_EQ("a.txt", ItemText(g_state.hwndFileList, 0));
    EXPECT_EQ("A", FileContents(dir.File("a.txt")));
    EXPECT_EQ("B", FileContents(dir.File("b.txt")));

    RunCommand(IDM_RENAME);
    TypeLabel("c.txt");
    EXPECT_EQ("c.txt", ItemText(g_state.hwndFileList, 0));
    EXPECT_FALSE(FileExists(dir.File("a.txt")));
    EXPECT_EQ("A", FileContents(dir.File("c.txt")));
}

// The question names what is selected; any answer but Yes changes nothing, not even the list.
TEST_F(FileOps, DeleteAsksFirstAndOnlyYesDeletes)
{
    for (const char* psz : {"a.txt", "b.txt", "c.txt"})
        WriteWholeFile(dir.File(psz), psz);
    CreateDirectoryA(dir.File("sub").c_str(), nullptr);
    ShowFolder(dir.Path());
    WriteWholeFile(dir.File("late.txt"), "not listed yet");

    SelectNames({"a.txt", "b.txt", "c.txt"});
    EXPECT_EQ("Confirm Multiple File Delete: Are you sure you want to delete these 3 items?",
              DeleteAnswering(IDNO));
    SelectNames({"sub"});
    EXPECT_EQ("Confirm Folder Delete: Are you sure you want to remove the folder 'sub' and all "
              "of its contents?",
              DeleteAnswering(IDNO));
    EXPECT_TRUE(IsFolder(dir.File("sub")));
    EXPECT_TRUE(FileExists(dir.File("a.txt")));
    EXPECT_EQ(-1, FindRow("late.txt"));

    SelectNames({"b.txt"});
    EXPECT_EQ("Delete File(s): Are you sure you want to delete 'b.txt'?", DeleteAnswering(IDYES));
    EXPECT_FALSE(FileExists(dir.File("b.txt")));
    EXPECT_EQ(-1, FindRow("b.txt"));
    EXPECT_NE(-1, FindRow("late.txt"));
}

// A read-only file stays with the folders above it, the rest goes, and one message says so.
TEST_F(FileOps, DeleteLeavesATreeHoldingAReadOnlyFile)
{
    g_state.bPromptDelete = 0;
    CreateDirectoryA(dir.File("t").c_str(), nullptr);
    CreateDirectoryA(dir.File("t\\keep").c_str(), nullptr);
    CreateDirectoryA(dir.File("t\\gone").c_str(), nullptr);
    WriteWholeFile(dir.File("t\\keep\\ro.txt"), "ro");
    WriteWholeFile(dir.File("t\\gone\\x.txt"), "x");
    WriteWholeFile(dir.File("other.txt"), "o");
    SetFileAttributesA(dir.File("t\\keep\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ShowFolder(dir.Path());
    SelectNames({"t", "other.txt"});
    EXPECT_EQ("Delete File(s): Not all of the files were deleted successfully",
              DeleteAnswering(IDOK));
    EXPECT_EQ("ro", FileContents(dir.File("t\\keep\\ro.txt")));
    EXPECT_FALSE(FileExists(dir.File("t\\gone")));
    EXPECT_FALSE(FileExists(dir.File("other.txt")));
    EXPECT_NE(-1, FindRow("t"));
}

// A file named New Folder blocks that name as a folder does; the new folder's label opens for
// editing, and the name typed there renames it.
TEST_F(FileOps, NewFolderTakesTheFirstFreeNameAndOpensItsLabel)
{
    WriteWholeFile(dir.File("New Folder"), "a file");
    CreateDirectoryA(dir.File("New Folder(1)").c_str(), nullptr);
    WriteWholeFile(dir.File("z.txt"), "z");
    ShowFolder(dir.Path());
    int nRows = ItemCount(g_state.hwndFileList);
    RunCommand(IDM_NEWFOLDER);
    EXPECT_TRUE(IsFolder(dir.File("New Folder(2)")));
    EXPECT_EQ("a file", FileContents(dir.File("New Folder")));
    ASSERT_EQ(nRows + 1, ItemCount(g_state.hwndFileList));
    EXPECT_EQ("New Folder(2)", ItemText(g_state.hwndFileList, 0));
    LVITEMA it = {};
    it.mask = LVIF_PARAM;
    SendMessageA(g_state.hwndFileList, LVM_GETITEMA, 0, (LPARAM)&it);
    EXPECT_EQ(nRows, it.lParam);
    EXPECT_FALSE(RowIsFile(&RowsOfList(g_state.hwndFileList)[it.lParam]));
    ASSERT_NE(nullptr, LabelEdit());
    EXPECT_EQ("New Folder(2)", WindowText(LabelEdit()));

    TypeLabel("Reports");
    EXPECT_TRUE(IsFolder(dir.File("Reports")));
    EXPECT_FALSE(FileExists(dir.File("New Folder(2)")));
}

}  // namespace
