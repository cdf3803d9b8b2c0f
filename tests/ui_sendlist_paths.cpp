// Paths that reach the Send List: a file in folders nested past what a batch record holds is
// added, sent and arrives under its own name; a name or a path that cannot be sent is refused
// with its reason. Command lines are split by the system's rules, made absolute where they
// were given, and handed whole from a second start to the running copy.
#include <gtest/gtest.h>

#include "browser/sendlist.h"
#include "peer_wire.h"
#include "protocol/packets.h"
#include "ui_support.h"

#include <cstring>

namespace {

using Paths = std::vector<std::string>;

std::string CurrentDir()
{
    char sz[MAX_PATH];
    GetCurrentDirectoryA(sizeof sz, sz);
    return sz;
}

// Spaces and tabs part paths, quotes keep a path with spaces whole, backslashes are literal
// except before a quote (an even run halves and the quote delimits, an odd run halves and
// the quote is kept); relative paths are made absolute against the current folder. The line
// handed to a running copy names the same paths from any folder.
TEST(CommandLine, PathsAreSplitByTheSystemRulesAndMadeAbsoluteWhereGiven)
{
    ScratchDir here, elsewhere;
    std::string saved = CurrentDir();
    SetCurrentDirectoryA(here.Path().c_str());
    std::string h = here.Path(), up = h.substr(0, h.rfind('\\'));
    const struct { const char* pszLine; Paths want; } cases[] = {
        {"a.txt b.txt \"c d.txt\"", {h + "\\a.txt", h + "\\b.txt", h + "\\c d.txt"}},
        {"  C:\\x\\one.txt\t\"C:\\y z\\two.txt\"  ", {"C:\\x\\one.txt", "C:\\y z\\two.txt"}},
        {"C:\\dir with\\no quotes.txt", {"C:\\dir", h + "\\with\\no", h + "\\quotes.txt"}},
        {"\"C:\\x y\\\\\" next.txt", {"C:\\x y\\", h + "\\next.txt"}},
        {"C:\\q\\\"uote.txt C:\\r\\\\\\\"s", {"C:\\q\"uote.txt", "C:\\r\\\"s"}},
        {"..\\up.txt sub\\..\\n.txt", {up + "\\up.txt", h + "\\n.txt"}},
        {"\"\"   ", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszLine);
        EXPECT_EQ(c.want, CommandLinePaths(c.pszLine));
        std::string handed = AbsoluteCommandLine(c.pszLine);
        SetCurrentDirectoryA(elsewhere.Path().c_str());
        EXPECT_EQ(c.want, CommandLinePaths(handed.c_str())) << handed;
        SetCurrentDirectoryA(here.Path().c_str());
    }
    SetCurrentDirectoryA(saved.c_str());
}

using SendListPaths = OnSendList;

// A command line's files are all added; one that is missing, a name longer than a record and
// a path longer than the system's are each refused with their reason, and the rest still go in.
TEST_F(SendListPaths, CommandLineAddsItsFilesAndReportsEachOneRefused)
{
    ScratchDir dir;
    std::string longest(125, 'k'), tooLong(126, 'k'), deepest = "C:\\" + std::string(257, 'p');
    for (const std::string& name : {std::string("a.txt"), std::string("c d.txt"), longest, tooLong})
        WriteWholeFile(dir.File(name), "x");
    std::string saved = CurrentDir();
    SetCurrentDirectoryA(dir.Path().c_str());
    std::string line = "a.txt missing.txt \"c d.txt\" " + longest + " " + tooLong + " " + deepest;
    BoxAnswerer boxes("Error", BoxAnswerer::kEvery);
    AddCommandLineToSendList(line.c_str());
    std::string shown = boxes.Shown();
    SetCurrentDirectoryA(saved.c_str());
    EXPECT_EQ((Paths{longest, "c d.txt", "a.txt"}), Rows());
    EXPECT_EQ("Error: '" + dir.File("missing.txt") + "' is not a file that can be read; it has not "
              "been added to the Send List.\n"
              "Error: The name '" + tooLong + "' is longer than the 125 characters that a transfer "
              "can carry; the file has not been added to the Send List.\n"
              "Error: The path '" + deepest + "' is longer than 259 characters; the file has not "
              "been added to the Send List.", shown);
}

// A second start of the program, in a folder of its own, hands its relative paths to this
// window made absolute there; the path that names no file is reported here.
TEST_F(SendListPaths, SecondStartHandsItsPathsMadeAbsoluteWhereItRan)
{
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, sizeof szExe);
    std::string exe = szExe;
    exe = exe.substr(0, exe.rfind('\\') + 1) + "talmox.exe";
    ASSERT_TRUE(FileExists(exe)) << exe << " is built with the tests";
    ScratchDir there;
    WriteWholeFile(there.File("one.txt"), "1");
    WriteWholeFile(there.File("two words.txt"), "22");
    std::string line = "\"" + exe + "\" one.txt \"two words.txt\" gone.txt";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    BoxAnswerer boxes("Error", BoxAnswerer::kEvery);
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                               there.Path().c_str(), &si, &pi));
    bool bAdded = WaitFor([] { Pump(0); return ItemCount(g_wnd.hwndSendList) == 2; }, 20000);
    // A copy that did not find this window would run on with its own.
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    DWORD dwExit = 1;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_TRUE(bAdded);
    EXPECT_EQ(0u, dwExit);
    EXPECT_EQ((Paths{"two words.txt", "one.txt"}), Rows());
    EXPECT_EQ(there.File("one.txt"), ItemText(g_wnd.hwndSendList, 1, 2));
    EXPECT_EQ("Error: '" + there.File("gone.txt") +
              "' is not a file that can be read; it has not been added to the Send List.",
              boxes.Shown());
}

// A file whose path is about 200 characters goes on the Send List and is sent over the
// serial cable by the real worker: the record carries the tail of its path, ending in its
// name, and the peer gets its bytes whole. The row goes once the file is sent.
TEST_F(SendListPaths, FileInDeepFoldersIsAddedSentAndArrivesUnderItsName)
{
    ScratchDir root;
    std::string folder = root.Path();
    for (int i = 0; folder.size() < 180; i++) {
        folder += "\\nested folder number " + std::to_string(i);
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    std::string name = "deep file.bin", path = folder + "\\" + name, data = Pattern(10000, 9);
    ASSERT_GT(path.size(), (size_t)XFER_PATH_CHARS + 60);
    WriteWholeFile(path, data);
    AddCommandLineToSendList(("\"" + path + "\"").c_str());
    ASSERT_EQ((Paths{name}), Rows());

    SerialWorker serial;
    ASSERT_TRUE(serial.Start()) << "no COM1/COM2 pair";
    ReceiverScript script;
    script.nClosesToEnd = 1;
    ReceiverLog peer;
    {
        BoxAnswerer boxes("Error", BoxAnswerer::kEvery);
        UserThread t([&] { PlayReceiver(serial.wire, script, peer); });
        RunCommand(IDM_SEND);
        EXPECT_EQ("", boxes.Shown());
    }
    EXPECT_TRUE(serial.Stop());
    EXPECT_TRUE(peer.bEnded) << "no close came";

    const std::string& recorded = peer.path;
    ASSERT_LE(recorded.size(), (size_t)XFER_PATH_CHARS);
    EXPECT_EQ(path.substr(path.size() - recorded.size()), recorded);
    EXPECT_EQ('\\', path[path.size() - recorded.size() - 1]) << "the tail starts at a folder";
    char szName[128];
    PathFileName(recorded.c_str(), szName);
    EXPECT_EQ(name, szName);
    EXPECT_TRUE(peer.data == data) << peer.data.size() << " bytes arrived";
    EXPECT_EQ(Paths{}, Rows());
}

}  // namespace
