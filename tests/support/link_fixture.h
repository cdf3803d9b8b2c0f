// The fixture of the tests of either link: the program at one end, the test's scripted peer
// (wire) at the other, and a scratch folder for the files of both. Each program's SetUp opens
// its link and may start the transfer worker; TearDown stops the worker if there is one and
// closes the program's socket or port.
#pragma once
#include <gtest/gtest.h>

#include "connection/control.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "peer_wire.h"
#include "protocol/askreceive.h"
#include "protocol/transferstate.h"
#include "testenv.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>

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

// The receiving user as the tests play it: the questions put to it and the ones taken back
// are logged, and the test answers them itself.
struct QuestionLog {
    static inline std::mutex m;
    static inline std::vector<ReceiveQuestion> asked;
    static inline std::vector<uint32_t> withdrawn;
    static void Clear()
    {
        std::lock_guard<std::mutex> lock(m);
        asked.clear();
        withdrawn.clear();
    }
    static size_t Asked() { std::lock_guard<std::mutex> lock(m); return asked.size(); }
    static bool Withdrew(uint32_t dwId)
    {
        std::lock_guard<std::mutex> lock(m);
        return std::find(withdrawn.begin(), withdrawn.end(), dwId) != withdrawn.end();
    }
    static inline const LinkUi ui = {
        [] {}, [](const char*) {}, [](int) {}, [] {}, [](const char*) {}, [](const char*) {},
        [](const ReceiveQuestion* p) { std::lock_guard<std::mutex> lock(m); asked.push_back(*p); },
        [](uint32_t dwId) { std::lock_guard<std::mutex> lock(m); withdrawn.push_back(dwId); },
    };
};

struct LinkTest : ::testing::Test {
    ScratchDir root;
    std::string dest = root.File("dest");
    HANDLE hThread = nullptr;
    PeerWire wire;
    std::vector<std::string> recs;      // the records of the batch SendFiles started

    // The worker stopped, and the settings and time-outs a case may change set back.
    void TearDown() override
    {
        EXPECT_TRUE(StopTransferWorker(hThread));
        SetLinkUi(nullptr);
        g_settings.bAskBeforeReceiving = 0;
        g_settings.bAllowReadBack = 1;
        g_recvTimeouts.msQuestion = QUESTION_WAIT_MS;
        g_recvTimeouts.msPeerIdle = PEER_IDLE_MS;
    }
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
    void ExpectWholeBatch(bool bSerial, size_t cbBlock, const std::string& prefix, uint32_t seed = 0)
    {
        std::vector<PeerFile> files = FilesAroundTheBlock(prefix, cbBlock, seed);
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
        g_xfer.iUnreadableFile = -1;
        StartSend();
    }
    bool SendDone(int ms = 10000) { return WaitFor([] { return g_worker.bAnswerMode == 1; }, ms); }

    // With the user to be asked, a batch's list gets no reply, however often the sender
    // repeats it, and nothing is made, until the user has answered; the question names the
    // sender, the count, the bytes and the first names. Accepted, the repeated list is
    // answered XC_OK and the batch arrives whole; declined, or not answered in time, it is
    // refused with XC_CANT_CREATE; a sender that moves on has its question taken back, and so
    // does one whose next list differs, which is a question of its own. Each case starts with
    // newSender().
    void ExpectAskedBeforeTaking(bool bSerial, size_t cbBlock, const char* pszFrom,
                                 const std::function<void()>& newSender)
    {
        std::vector<PeerFile> files = FilesAroundTheBlock("asked", cbBlock, 9);
        std::vector<std::string> records;
        uint64_t qwTotal = 0;
        for (const PeerFile& f : files) {
            records.push_back(Record(f.path, (uint32_t)f.data.size()));
            qwTotal += f.data.size();
        }
        std::string list = ListMsg(records);
        g_settings.bAskBeforeReceiving = 1;
        g_recvTimeouts.msQuestion = 2500;
        SetLinkUi(&QuestionLog::ui);
        enum { ACCEPTED, DECLINED, TIMED_OUT, MOVED_ON, ANOTHER_LIST };
        for (int iCase : {ACCEPTED, DECLINED, TIMED_OUT, MOVED_ON, ANOTHER_LIST}) {
            SCOPED_TRACE(iCase);
            newSender();
            QuestionLog::Clear();
            for (int i = 0; i < 3; i++)
                EXPECT_EQ("", Ask(list, 1, 400)) << "repeat " << i;
            ASSERT_EQ(1u, QuestionLog::Asked()) << "a repeated list is the same question";
            ReceiveQuestion q = QuestionLog::asked[0];
            EXPECT_STREQ(pszFrom, q.szFrom);
            EXPECT_EQ(6, q.nFiles);
            EXPECT_EQ(qwTotal, q.qwBytes);
            EXPECT_EQ(5, q.nNames);
            EXPECT_STREQ("asked0", q.aszNames[0]);
            EXPECT_STREQ("asked4", q.aszNames[4]);
            EXPECT_TRUE(FolderNames(dest).empty());
            EXPECT_NE(WS_RECEIVING, g_worker.iWorkerState);
            if (iCase == ACCEPTED) {
                AnswerReceiveQuestion(q.dwId, ANSWER_ACCEPT);
                ExpectWholeBatch(bSerial, cbBlock, "asked", 9);
                continue;
            }
            if (iCase == MOVED_ON) {
                EXPECT_EQ(Hex(Frame(0x63)), Ask(Frame(0x64), 4));
                EXPECT_TRUE(WaitFor([&] { return QuestionLog::Withdrew(q.dwId); }, 2000));
                continue;
            }
            if (iCase == ANOTHER_LIST) {
                // As many files, one of them a byte longer: its list's CRC differs.
                std::vector<std::string> other = records;
                other[1] = Record(files[1].path, (uint32_t)files[1].data.size() + 1);
                EXPECT_EQ("", Ask(ListMsg(other), 1, 400));
                EXPECT_TRUE(QuestionLog::Withdrew(q.dwId)) << "the question of the list before";
                ASSERT_EQ(2u, QuestionLog::Asked()) << "a different list is a question of its own";
                AnswerReceiveQuestion(QuestionLog::asked[1].dwId, ANSWER_DECLINE);
                EXPECT_EQ(Hex(Frame(0x67)), Ask(ListMsg(other), 4));
                continue;
            }
            if (iCase == DECLINED)
                AnswerReceiveQuestion(q.dwId, ANSWER_DECLINE);
            else
                Sleep(2600);
            EXPECT_EQ(Hex(Frame(0x67)), Ask(list, 4));
            EXPECT_EQ(iCase == TIMED_OUT, QuestionLog::Withdrew(q.dwId));
            EXPECT_TRUE(FolderNames(dest).empty());
            EXPECT_NE(WS_RECEIVING, g_worker.iWorkerState);
        }
    }
};
