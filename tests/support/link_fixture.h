// The fixture of the tests of either link: the program at one end, the test's scripted peer
// (wire) at the other, and a scratch folder for the files of both. Each program's SetUp opens
// its link and may start the transfer worker; TearDown stops the worker if there is one and
// closes the program's socket or port.
#pragma once
#include <gtest/gtest.h>

#include "connection/control.h"
#include "connection/settings.h"
#include "peer_wire.h"
#include "protocol/transfer.h"
#include "testenv.h"

#include <cstring>

// Files of the sizes around the block that the links get wrong first: empty, one byte, one
// short of a block, a block, one past it, and megabytes with a short tail; named prefix0....
inline std::vector<PeerFile> FilesAroundTheBlock(const std::string& prefix, size_t cbBlock,
                                                 uint32_t seed)
{
    const size_t sizes[] = {0, 1, cbBlock - 1, cbBlock, cbBlock + 1, (2u << 20) + 3};
    std::vector<PeerFile> files;
    for (size_t i = 0; i < 6; i++)
        files.push_back({prefix + std::to_string(i), Pattern(sizes[i], seed + (uint32_t)i)});
    return files;
}

struct LinkTest : ::testing::Test {
    ScratchDir root;
    std::string dest = root.File("dest");
    HANDLE hThread = nullptr;
    PeerWire wire;
    std::vector<std::string> recs;      // the records of the batch SendFiles started

    void TearDown() override { EXPECT_TRUE(StopTransferWorker(hThread)); }
    // The destination folder made, and chosen as the receiver's.
    void MakeDest()
    {
        CreateDirectoryA(dest.c_str(), nullptr);
        strcpy(g_settings.szDestDir, dest.c_str());
    }
    std::string DestFile(const std::string& name) const { return dest + "\\" + name; }
    // Sends msg; the reply's first n bytes in hex, or as many as came within ms.
    std::string Ask(const std::string& msg, size_t n, int ms = 4000)
    {
        wire.Send(msg);
        return Hex(wire.Recv(n, ms));
    }
    // Each message, and the reply it must get: "" for none within 300 ms.
    using Steps = std::vector<std::pair<std::string, std::string>>;
    void AskEach(const Steps& steps)
    {
        for (const auto& step : steps) {
            const std::string& want = step.second;
            EXPECT_EQ(Hex(want), Ask(step.first, want.empty() ? 1 : want.size(), want.empty() ? 300 : 4000))
                << Hex(step.first);
        }
    }
    // The program's next bytes must be want, within ms.
    void Expect(const std::string& want, const char* what, int ms = 4000)
    {
        EXPECT_EQ(Hex(want), Hex(wire.Recv(want.size(), ms))) << what;
    }
    // A batch of files of the sizes around the block (named prefix0...) arrives whole, and
    // counts its own files; the destination is emptied after it.
    void ExpectWholeBatch(bool bSerial, size_t cbBlock, const std::string& prefix)
    {
        std::vector<PeerFile> files = FilesAroundTheBlock(prefix, cbBlock, 0);
        ASSERT_TRUE(PeerSendBatch(wire, bSerial, cbBlock, files));
        for (const PeerFile& f : files)
            EXPECT_TRUE(FileContents(DestFile(f.path.substr(f.path.rfind('\\') + 1))) == f.data) << f.path;
        EXPECT_EQ(6, g_xfer.nFilesOk);
        for (const std::string& name : FolderNames(dest))
            DeleteFileA(DestFile(name).c_str());
    }
    // Source files written to the scratch folder (or to the full path given instead of a
    // name), entered in the batch table, and the send started.
    void SendFiles(const std::vector<PeerFile>& files)
    {
        for (size_t i = 0; i < files.size(); i++) {
            const std::string& name = files[i].path;
            std::string path = name.find(':') != std::string::npos ? name : root.File(name);
            WriteWholeFile(path, files[i].data);
            recs.push_back(Record(path, (uint32_t)files[i].data.size()));
            memcpy((char*)g_xfer.pXferFiles.load() + 256 * i, recs.back().data(), 256);
        }
        g_xfer.nXferFiles = (int32_t)files.size();
        g_xfer.iSendResult = 0;
        g_xfer.iUnreadableFile = -1;
        StartSend();
    }
    bool SendDone(int ms = 10000) { return WaitFor([] { return g_worker.bAnswerMode == 1; }, ms); }
};
