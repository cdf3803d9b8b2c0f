// What the file pane starts: Run with the typed arguments, Open through the file's association,
// and Help, which opens the help viewer on the help file beside the program.
#include <gtest/gtest.h>

#include "resource.h"
#include "ui_support.h"

namespace {

const char kRecordVar[] = "TALMOX_RECORD_ARGS";

// Started by Run or Open, a copy of this test program only writes its command line into the
// file the variable names, whole (through a rename), and ends.
[[maybe_unused]] const int s_bRecorder = [] {
    char szOut[MAX_PATH];
    if (!GetEnvironmentVariableA(kRecordVar, szOut, sizeof szOut))
        return 0;
    std::string tmp = std::string(szOut) + ".part";
    WriteWholeFile(tmp, GetCommandLineA());
    MoveFileA(tmp.c_str(), szOut);
    ExitProcess(0);
}();

struct Launch : ::testing::Test {
    static ScratchDir* s_pDir;
    static void SetUpTestSuite()
    {
        s_pDir = new ScratchDir;
        char szSelf[MAX_PATH];
        GetModuleFileNameA(nullptr, szSelf, sizeof szSelf);
        CopyFileA(szSelf, s_pDir->File("setup.exe").c_str(), FALSE);
        WriteWholeFile(s_pDir->File("letter.talmoxrec"), "dear");
        ASSERT_NE(nullptr, MakeMainWindow(s_pDir->Path()));
        SetEnvironmentVariableA(kRecordVar, s_pDir->File("args.txt").c_str());
    }
    static void TearDownTestSuite()
    {
        SetEnvironmentVariableA(kRecordVar, nullptr);
        delete s_pDir;
    }
    void SetUp() override { DeleteFileA(s_pDir->File("args.txt").c_str()); }
    // The command line the started copy recorded, "" when none was started within ms.
    static std::string Recorded(int ms)
    {
        std::string data;
        WaitFor([&] { return ReadWholeFile(s_pDir->File("args.txt"), &data); }, ms);
        return data;
    }
    // Runs the selected program, typing the arguments into the Run dialog and pressing the
    // button; returns the program name the dialog showed.
    static std::string RunWith(const char* pszArgs, int idButton)
    {
        std::string shown;
        UserThread user([&] {
            HWND hDlg = WaitForDialog("Run", g_state.hwndMain);
            if (!hDlg)
                return;
            char sz[256] = "";
            GetDlgItemTextA(hDlg, 1002, sz, sizeof sz);
            shown = sz;
            SetDlgItemTextA(hDlg, 1001, pszArgs);
            PostMessageA(hDlg, WM_COMMAND, idButton, 0);
        });
        RunCommand(IDM_RUN);
        user.Join();
        return shown;
    }
};
ScratchDir* Launch::s_pDir;

TEST_F(Launch, RunStartsTheProgramWithTheTypedArgumentsAlone)
{
    ShowFolder(s_pDir->Path());
    SelectNames({"setup.exe"});
    EXPECT_EQ("setup.exe", RunWith("-q \"two words\" 3", IDOK));
    EXPECT_EQ("-q \"two words\" 3", Recorded(15000));

    DeleteFileA(s_pDir->File("args.txt").c_str());
    EXPECT_EQ("setup.exe", RunWith("never", IDCANCEL));
    EXPECT_EQ("", Recorded(2000)) << "Cancel started the program";
}

// Open hands the file to the program its type is registered with, without a verb.
TEST_F(Launch, OpenHandsTheFileToItsAssociation)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, ".talmoxrec", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    RegSetValueExA(hKey, nullptr, 0, REG_SZ, (const BYTE*)"TalmoxRecord", 13);
    RegCloseKey(hKey);
    std::string command = "\"" + s_pDir->File("setup.exe") + "\" \"%1\"";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT,
                                             "TalmoxRecord\\shell\\open\\command", 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    RegSetValueExA(hKey, nullptr, 0, REG_SZ, (const BYTE*)command.c_str(),
                   (DWORD)command.size() + 1);
    RegCloseKey(hKey);

    ShowFolder(s_pDir->Path());
    SelectNames({"letter.talmoxrec"});
    RunCommand(IDM_OPEN);
    std::string recorded = Recorded(15000);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "TalmoxRecord");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ".talmoxrec");
    EXPECT_NE(std::string::npos, recorded.find(s_pDir->File("letter.talmoxrec"))) << recorded;
}

// The viewer opens the help file that lies beside the program (the build puts it there when
// its help compiler is installed).
TEST_F(Launch, HelpOpensTheViewerOnTheHelpFile)
{
    char szHelp[MAX_PATH];
    GetModuleFileNameA(nullptr, szHelp, sizeof szHelp);
    strcpy(strrchr(szHelp, '\\') + 1, "talmox.chm");
    if (!FileExists(szHelp))
        GTEST_SKIP() << "no talmox.chm beside the program: the build had no help compiler";
    g_state.hHelpLib = LoadLibraryA("HHCTRL.OCX");
    ASSERT_NE(nullptr, g_state.hHelpLib);
    RunCommand(IDM_HELP);
    HWND hwndViewer = nullptr;
    WaitFor([&] {
        Pump(20);
        return (hwndViewer = FindWindowA("HH Parent", nullptr)) != nullptr;
    }, 10000);
    ASSERT_NE(nullptr, hwndViewer);
    EXPECT_TRUE(IsWindowVisible(hwndViewer));
    SendMessageA(hwndViewer, WM_CLOSE, 0, 0);
}

}  // namespace
