// Helpers shared by the test programs: scratch folders, waiting for a condition, Winsock.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// A new empty folder under the system's temporary folder; removed with its contents on exit.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }
private:
    std::string m_path;
};

// Polls pred every 5 ms until it holds or ms milliseconds have passed; returns its last value.
bool WaitFor(const std::function<bool()>& pred, int ms);

// Writes and reads whole files; FileContents gives "(missing)" when the file cannot be opened.
// A sparse file has its length set and nothing written: it takes no disk, whatever its size.
void WriteWholeFile(const std::string& path, const std::string& data);
void MakeSparseFile(const std::string& path, uint64_t size);
std::string FileContents(const std::string& path);
bool FileExists(const std::string& path);

// Deletes a folder tree (used by ScratchDir); the names directly in a folder (not "." and "..").
void RemoveTree(const std::string& path);
std::vector<std::string> FolderNames(const std::string& dir);

// Starts the program's transfer worker as the main window does, on a link type and block
// size, in answer mode or not, with no windows to report to; returns once it has made its
// buffers, or null when it did not. The link (port or listener) is set by the caller first.
HANDLE StartTransferWorker(int iCommType, int cbBlock, int bAnswerMode);
// Asks the program's transfer worker to quit and waits for it; true when it ended in time and
// released its buffers. The handle is closed either way; a null one is no worker. The data socket or serial port
// the worker leaves open is closed, and the stop cleared.
bool StopTransferWorker(HANDLE hThread);

// Skips a case this machine cannot run, with its reason; under CI (TALMOX_CI set by .ci/run)
// fails it instead, so that a green run never hides a case it did not run.
inline bool RunningUnderCi() { const char* psz = getenv("TALMOX_CI"); return psz && *psz; }
#define SKIP_CASE(reason) do { if (RunningUnderCi()) GTEST_FAIL() << "not run, which fails under CI: " \
                                    << reason; GTEST_SKIP() << reason; } while (0)

// Starts Winsock once for the test program.
void EnsureWinsock();

// Runs a shell command of the host system (Wine starts native programs too). Wine does not
// wait for a native child, so callers poll for what it did instead.
void RunHostCommand(const std::string& cmd);

// A tmpfs of a few MiB mounted for the test and mapped as drive T: of its Wine prefix, then
// unmapped and unmounted with what it holds. Ok() is false where it could not be made.
class SmallDrive {
public:
    explicit SmallDrive(int nMiB);
    ~SmallDrive();
    bool Ok() const { return m_bOk; }
    // The drive's folder as the host's commands name it.
    const std::string& HostDir() const { return m_dir; }
    // Bytes still free for the caller on T:, or ~0 when the drive is not there.
    unsigned long long FreeBytes() const;
private:
    std::string m_dir;
    bool m_bOk = false;
};
