// Helpers shared by the test programs.
#include "testenv.h"

#include "connection/control.h"
#include "connection/link.h"
#include "connection/settings.h"
#include "protocol/transferstate.h"
#include "protocol/worker.h"
#include "winshared/uistate.h"

#include <cstdio>

static LONG g_nScratch;

ScratchDir::ScratchDir()
{
    char szTemp[MAX_PATH];
    GetTempPathA(sizeof szTemp, szTemp);
    char szName[MAX_PATH];
    snprintf(szName, sizeof szName, "%stalmox-%lu-%ld-%lu", szTemp, GetCurrentProcessId(),
             InterlockedIncrement(&g_nScratch), GetTickCount());
    m_path = szName;
    CreateDirectoryA(m_path.c_str(), nullptr);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(m_path);
}

void RemoveTree(const std::string& path)
{
    for (const std::string& name : FolderNames(path)) {
        std::string full = path + "\\" + name;
        if (GetFileAttributesA(full.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(full);
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
    }
    RemoveDirectoryA(path.c_str());
}

std::vector<std::string> FolderNames(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = fd.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

bool WaitFor(const std::function<bool()>& pred, int ms)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if ((int)(GetTickCount() - dwStart) >= ms)
            return pred();
        Sleep(5);
    }
}

void WriteWholeFile(const std::string& path, const std::string& data)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD n = 0;
    if (!data.empty())
        WriteFile(h, data.data(), (DWORD)data.size(), &n, nullptr);
    CloseHandle(h);
}

void MakeSparseFile(const std::string& path, uint64_t size)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER li;
    li.QuadPart = (LONGLONG)size;
    SetFilePointerEx(h, li, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

std::string FileContents(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "(missing)";
    // Read to the end, not by the size: a file of the host's /proc gives its size as 0.
    std::string data;
    char ab[65536];
    DWORD n;
    while (ReadFile(h, ab, sizeof ab, &n, nullptr) && n)
        data.append(ab, n);
    CloseHandle(h);
    return data;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void EnsureWinsock()
{
    static bool bStarted;
    if (!bStarted) {
        WSADATA wd;
        WSAStartup(MAKEWORD(2, 2), &wd);
        bStarted = true;
    }
}

HANDLE StartTransferWorker(int iCommType, int cbBlock, int bAnswerMode)
{
    g_settings.iCommType = iCommType;
    g_settings.cbBlock = cbBlock;
    g_wnd.hwndMain = nullptr;
    g_wnd.hwndXferDlg = nullptr;
    g_settings.bOverwrite = 0;
    g_xfer.nFilesOk = 0;
    memset(g_xfer.abFileSent, 0, sizeof g_xfer.abFileSent);
    HANDLE h = StartWorker(bAnswerMode);
    if (h && !WaitFor([] { return g_xfer.pPacketBuf.load() != nullptr; }, 3000)) {
        StopTransferWorker(h);
        return nullptr;
    }
    return h;
}

bool StopTransferWorker(HANDLE hThread)
{
    QuitWorker();
    bool bEnded = !hThread || WaitForSingleObject(hThread, 15000) == WAIT_OBJECT_0;
    if (hThread)
        CloseHandle(hThread);
    SOCKET hSock = g_link.hDataSock.exchange(INVALID_SOCKET);
    if (hSock != INVALID_SOCKET)
        closesocket(hSock);
    HANDLE hPort = g_link.hComm.exchange(nullptr);
    if (hPort)
        CloseHandle(hPort);
    ClearCancel();
    return bEnded && !g_xfer.pPacketBuf && !g_xfer.pXferFiles;
}

void RunHostCommand(const std::string& cmd)
{
    std::string line = "Z:\\bin\\sh -c \"" + cmd + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return;
    WaitForSingleObject(pi.hProcess, 20000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

// The drive letter is one link of the prefix, and the host commands run after their start
// returns: each step waits until T: is seen as it should be, so that a drive left by an
// earlier test is never taken for the new one.
SmallDrive::SmallDrive(int nMiB)
{
    m_dir = "/tmp/talmox-small-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount());
    RunHostCommand("rm -f $WINEPREFIX/dosdevices/t:");
    WaitFor([&] { return FreeBytes() == ~0ull; }, 5000);
    RunHostCommand("mkdir -p " + m_dir + " && mount -t tmpfs -o size=" + std::to_string(nMiB) +
                   "m tmpfs " + m_dir + " && ln -sfn " + m_dir + " $WINEPREFIX/dosdevices/t:");
    unsigned long long qwSize = (unsigned long long)nMiB << 20;
    auto isNew = [&] {
        ULARGE_INTEGER avail, total;
        return GetDiskFreeSpaceExA("T:\\", &avail, &total, nullptr) && total.QuadPart == qwSize &&
               avail.QuadPart == qwSize;
    };
    m_bOk = WaitFor(isNew, 5000);
}

// The unmount is lazy: a handle that Wine still keeps on the folder must not leave it mounted.
SmallDrive::~SmallDrive()
{
    RunHostCommand("rm -f $WINEPREFIX/dosdevices/t:; umount -l " + m_dir + "; rmdir " + m_dir);
    WaitFor([&] { return FreeBytes() == ~0ull; }, 5000);
}

unsigned long long SmallDrive::FreeBytes() const
{
    ULARGE_INTEGER avail;
    return GetDiskFreeSpaceExA("T:\\", &avail, nullptr, nullptr) ? avail.QuadPart : ~0ull;
}
