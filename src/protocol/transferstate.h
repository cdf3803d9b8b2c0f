// The one transfer of the program: the batch table, its progress and its results.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

struct XFERFILE;

// Owner: the worker, while it sends or receives. The send command fills the batch table
// (pXferFiles, nXferFiles) before it starts a send and reads the results once the worker is
// back in answer mode; the status dialog reads the progress counters.
struct TransferState {
    std::atomic<uint8_t*> pPacketBuf{nullptr};
    std::atomic<XFERFILE*> pXferFiles{nullptr};
    std::atomic<int32_t> nXferFiles{0};
    std::atomic<int32_t> iXferFile{0};
    std::atomic<int32_t> nXferBlocks{0};
    std::atomic<int32_t> iXferBlock{0};
    // Bytes moved and bytes in the batch: 64 bits, since a batch of large files passes 4 GiB.
    std::atomic<uint64_t> dwXferDone{0};
    std::atomic<uint64_t> dwXferTotal{0};
    std::atomic<int32_t> nFilesOk{0};
    std::atomic<int32_t> iUnreadableFile{-1};   // source file a send could not read, or -1
    // Per record of the batch sent last: 1 once its file arrived whole.
    uint8_t abFileSent[256] = {};
    // dwRecvBatch counts the lists the receiver has taken whole; szRecvFrom names who sent
    // the last of them, as the user is told ("" for a serial peer that gave no name).
    std::atomic<uint32_t> dwRecvBatch{0};
    char szRecvFrom[128] = "";
    // The file being received: its handle, mapping, the window now mapped and the part file's
    // path, changed together under the receiver's lock (DiscardPartialFile takes them so).
    std::atomic<HANDLE> hXferFile{nullptr};
    std::atomic<HANDLE> hXferMap{nullptr};
    std::atomic<uint8_t*> pXferView{nullptr};
    wchar_t wszRecvPart[MAX_PATH] = L"";
    char szRecvName[128] = "";          // the name it is received under
    // The full local path of each record of the batch table that a send filled, which its
    // record may carry only in part: the sender opens the file by this one.
    char aszSourcePath[256][MAX_PATH] = {};
};

extern TransferState g_xfer;

// A send of the batch table's first nFiles records, qwTotal bytes in all, is about to start:
// its results start empty here, not in the sender, since a cancel may come before the worker
// has taken up the send, and what the send command reads then must not be the last batch's.
void BeginSendBatch(int nFiles, uint64_t qwTotal);
// Record iFile of the batch table is given pszPath, a full local path: whole when it fits
// the record, else the record keeps its last folders and its name, and the whole path is
// kept beside the table. 0 when the file name alone does not fit a record (nothing is then
// kept for it).
int SetBatchRecordPath(int iFile, const char* pszPath);
// The local path of the file behind record iFile, into MAX_PATH bytes: the full path kept for
// it when the record is still the one made from that path, else the record's own text.
// 0 when the record's text cannot be turned back into this code page.
int SourcePathOfRecord(int iFile, char* pszPath);
