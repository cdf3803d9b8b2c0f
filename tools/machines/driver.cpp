// The end-to-end driver: acts as the user of a running Talmox on the same desktop.
//
// Each run does one thing and prints what it saw, one line per item, fields separated by tabs:
//   main MS                       wait TALMOX MS: the main window (class "TALMOX")
//   post ID                       press a button of the main window by posting its command
//   wait CAPTION MS [ID TEXT]     wait for a window with that caption (and, if given, until its
//                                 control ID shows TEXT somewhere in its text); print its screen
//                                 rectangle and its controls, with their texts
//   click CAPTION ID MS           press button ID of that window, then wait until it is gone
//                                 (in each command, CAPTION may be "A|B": whichever is shown)
//   box CAPTION MS                wait for a message box, print its controls, press its OK
//   timed ID CAPTION MS [MARK]    post command ID, then as box; first prints the seconds from
//                                 the post to the box, timed here so that no start-up counts,
//                                 and, if given, from the post to the first sight of window MARK
//   gone CAPTION MS               wait until no window has that caption
//   list ID                       print the rows of list view ID of the main window
//   stats                         print the main window's process: working set, handles, threads
//   modules                       print the files of the modules the main window's process loaded
//   version PATH                  print a program's version resource as Explorer reads it
//   link PATH                     print what a shortcut (.lnk) starts, as the shell reads it
// The exit code is 0 when the thing was done or seen, 1 on a time-out, 2 on a bad command line.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static const char kMainClass[] = "TALMOX";

struct FindRequest {
    const char* pszCaption;
    HWND hwndFound;
};

// Only shown windows count: a dialog that has ended may linger hidden for a moment.
static BOOL CALLBACK MatchCaption(HWND hwnd, LPARAM lParam)
{
    FindRequest* pReq = (FindRequest*)lParam;
    char szText[256];
    if (!IsWindowVisible(hwnd) || !GetWindowTextA(hwnd, szText, sizeof szText))
        return TRUE;
    if (strcmp(szText, pReq->pszCaption) != 0)
        return TRUE;
    pReq->hwndFound = hwnd;
    return FALSE;
}

static HWND FindMain()
{
    HWND hwnd = FindWindowA(kMainClass, nullptr);
    return hwnd && IsWindowVisible(hwnd) ? hwnd : nullptr;
}

// CAPTION may name alternatives, "A|B": the first of them that is shown is found.
static HWND FindByCaption(const char* pszCaption)
{
    if (strcmp(pszCaption, kMainClass) == 0)
        return FindMain();
    std::string all = pszCaption;
    for (size_t start = 0; start <= all.size();) {
        size_t end = all.find('|', start);
        if (end == std::string::npos)
            end = all.size();
        std::string one = all.substr(start, end - start);
        FindRequest req = {one.c_str(), nullptr};
        EnumWindows(MatchCaption, (LPARAM)&req);
        if (req.hwndFound)
            return req.hwndFound;
        start = end + 1;
    }
    return nullptr;
}

// Polls every 50 ms; the program under test runs in another process and answers in its own time.
template <class Pred>
static bool WaitUntil(Pred pred, int ms)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if ((int)(GetTickCount() - dwStart) >= ms)
            return false;
        Sleep(50);
    }
}

// WM_GETTEXT is marshalled between processes, and unlike GetWindowText it reaches the text an
// edit control keeps for itself. A busy target must not hang the driver, hence the time-out.
static std::string ControlText(HWND hwnd)
{
    char szText[1024] = "";
    DWORD_PTR dwResult = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof szText, (LPARAM)szText, SMTO_ABORTIFHUNG, 3000,
                        &dwResult);
    szText[sizeof szText - 1] = 0;
    return szText;
}

// Newlines inside a text would split its line of output; they are shown as "\n".
static std::string OneLine(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\r')
            continue;
        if (c == '\n' || c == '\t')
            out += c == '\n' ? "\\n" : "\\t";
        else
            out += c;
    }
    return out;
}

static BOOL CALLBACK PrintControl(HWND hwnd, LPARAM)
{
    char szClass[64] = "";
    GetClassNameA(hwnd, szClass, sizeof szClass);
    printf("%d\t%s\t%s\n", (int)(short)GetDlgCtrlID(hwnd), szClass,
           OneLine(ControlText(hwnd)).c_str());
    return TRUE;
}

static void PrintWindow(HWND hwnd)
{
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    printf("caption\t%s\nrect\t%ldx%ld+%ld+%ld\n", OneLine(ControlText(hwnd)).c_str(),
           rc.right - rc.left, rc.bottom - rc.top, rc.left, rc.top);
    EnumChildWindows(hwnd, PrintControl, 0);
    fflush(stdout);
}

// Presses a button the way a click does: the dialog hears BN_CLICKED from the button.
static void PressButton(HWND hwndDlg, int id)
{
    HWND hwndBtn = GetDlgItem(hwndDlg, id);
    PostMessageA(hwndDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)hwndBtn);
}

// A list view answers LVM_GETITEMTEXT only with pointers into its own process, so the item
// record and the text buffer are placed there and read back.
class RemoteBuffer {
public:
    explicit RemoteBuffer(HWND hwnd)
    {
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hwnd, &dwPid);
        m_hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                                 dwPid);
        if (m_hProcess)
            m_pRemote = (char*)VirtualAllocEx(m_hProcess, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBuffer()
    {
        if (m_pRemote)
            VirtualFreeEx(m_hProcess, m_pRemote, 0, MEM_RELEASE);
        if (m_hProcess)
            CloseHandle(m_hProcess);
    }
    bool Ok() const { return m_pRemote != nullptr; }

    std::string ItemText(HWND hwndList, int iItem, int iSubItem)
    {
        char* pRemoteText = m_pRemote + 512;
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iSubItem = iSubItem;
        item.pszText = pRemoteText;
        item.cchTextMax = 512;
        char zero = 0;
        WriteProcessMemory(m_hProcess, m_pRemote, &item, sizeof item, nullptr);
        WriteProcessMemory(m_hProcess, pRemoteText, &zero, 1, nullptr);
        DWORD_PTR dwResult = 0;
        SendMessageTimeoutA(hwndList, LVM_GETITEMTEXTA, iItem, (LPARAM)m_pRemote, SMTO_ABORTIFHUNG,
                            3000, &dwResult);
        char szText[512] = "";
        ReadProcessMemory(m_hProcess, pRemoteText, szText, sizeof szText, nullptr);
        szText[sizeof szText - 1] = 0;
        return szText;
    }

private:
    HANDLE m_hProcess = nullptr;
    char* m_pRemote = nullptr;
};

static int ColumnCount(HWND hwndList)
{
    HWND hwndHeader = (HWND)SendMessageA(hwndList, LVM_GETHEADER, 0, 0);
    int n = hwndHeader ? (int)SendMessageA(hwndHeader, HDM_GETITEMCOUNT, 0, 0) : 1;
    return n > 0 ? n : 1;
}

static int CmdPost(int id)
{
    HWND hwnd = FindMain();
    if (!hwnd) {
        printf("error\tno main window\n");
        return 1;
    }
    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return 0;
}

// With a control id and a text, waits until that control of the window shows the text.
// A window counts as shown once one of its static texts is set: a message box shows before
// it has set its message.
static BOOL CALLBACK FindFilledChild(HWND hwnd, LPARAM lParam)
{
    char szClass[16], szText[8];
    GetClassNameA(hwnd, szClass, sizeof szClass);
    if (lstrcmpiA(szClass, "Static") != 0 || !GetWindowTextA(hwnd, szText, sizeof szText))
        return TRUE;
    *(bool*)lParam = true;
    return FALSE;
}

static bool IsFilled(HWND hwnd)
{
    bool bFilled = false;
    EnumChildWindows(hwnd, FindFilledChild, (LPARAM)&bFilled);
    return bFilled;
}

static int CmdWait(const char* pszCaption, int ms, int idCtl, const char* pszWant)
{
    HWND hwnd = nullptr;
    bool bSeen = WaitUntil([&] {
        hwnd = FindByCaption(pszCaption);
        if (!hwnd || !pszWant)
            return hwnd != nullptr && (hwnd == FindMain() || IsFilled(hwnd));
        HWND hwndCtl = GetDlgItem(hwnd, idCtl);
        return hwndCtl && ControlText(hwndCtl).find(pszWant) != std::string::npos;
    }, ms);
    if (!bSeen) {
        printf("timeout\t%s\n", pszCaption);
        if (hwnd)
            PrintWindow(hwnd);
        return 1;
    }
    PrintWindow(hwnd);
    return 0;
}

static int CmdGone(const char* pszCaption, int ms)
{
    if (!WaitUntil([&] { return FindByCaption(pszCaption) == nullptr; }, ms)) {
        printf("timeout\t%s still shown\n", pszCaption);
        return 1;
    }
    return 0;
}

static int CmdClick(const char* pszCaption, int id, int ms)
{
    HWND hwnd = nullptr;
    if (!WaitUntil([&] { return (hwnd = FindByCaption(pszCaption)) != nullptr; }, ms)) {
        printf("timeout\t%s\n", pszCaption);
        return 1;
    }
    printf("clicked\t%s\n", OneLine(ControlText(hwnd)).c_str());
    PressButton(hwnd, id);
    return WaitUntil([&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, ms) ? 0 : 1;
}

static int CmdBox(const char* pszCaption, int ms)
{
    if (CmdWait(pszCaption, ms, 0, nullptr))
        return 1;
    return CmdClick(pszCaption, IDOK, 5000);
}

static int CmdTimed(int id, const char* pszCaption, int ms, const char* pszMark)
{
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    auto Seconds = [&] {
        QueryPerformanceCounter(&t1);
        return (double)(t1.QuadPart - t0.QuadPart) / (double)f.QuadPart;
    };
    QueryPerformanceCounter(&t0);
    if (CmdPost(id))
        return 1;
    // The mark may be up for a moment only: it is looked for at once, every millisecond, and
    // the box at the usual pace once the mark was seen.
    DWORD dwStart = GetTickCount();
    while (pszMark && (int)(GetTickCount() - dwStart) < ms) {
        if (FindByCaption(pszMark)) {
            printf("mark\t%.3f\n", Seconds());
            break;
        }
        if (FindByCaption(pszCaption))
            break;
        Sleep(1);
    }
    if (!WaitUntil([&] { return FindByCaption(pszCaption) != nullptr; }, ms)) {
        printf("timeout\t%s\n", pszCaption);
        return 1;
    }
    printf("elapsed\t%.3f\n", Seconds());
    return CmdBox(pszCaption, 5000);
}

static int CmdList(int idCtl)
{
    HWND hwndMain = FindMain();
    HWND hwndList = hwndMain ? GetDlgItem(hwndMain, idCtl) : nullptr;
    if (!hwndList) {
        printf("error\tno list %d\n", idCtl);
        return 1;
    }
    RemoteBuffer remote(hwndList);
    if (!remote.Ok()) {
        printf("error\tcannot reach the program's memory\n");
        return 1;
    }
    int nRows = (int)SendMessageA(hwndList, LVM_GETITEMCOUNT, 0, 0);
    int nCols = ColumnCount(hwndList);
    printf("count\t%d\n", nRows);
    for (int i = 0; i < nRows; i++) {
        printf("row");
        for (int c = 0; c < nCols; c++)
            printf("\t%s", OneLine(remote.ItemText(hwndList, i, c)).c_str());
        printf("\n");
    }
    return 0;
}

// The process of the main window, opened to be read; null when there is none.
static HANDLE OpenMainProcess(DWORD* pdwPid)
{
    HWND hwndMain = FindMain();
    *pdwPid = 0;
    if (hwndMain)
        GetWindowThreadProcessId(hwndMain, pdwPid);
    return *pdwPid ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, *pdwPid) : nullptr;
}

// What a long run watches for growth, read from outside the program as a task manager would.
static int CmdStats()
{
    DWORD dwPid;
    HANDLE hProc = OpenMainProcess(&dwPid);
    if (!hProc) {
        printf("error\tno process\n");
        return 1;
    }
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    DWORD dwHandles = 0;
    GetProcessMemoryInfo(hProc, &pmc, sizeof pmc);
    GetProcessHandleCount(hProc, &dwHandles);
    CloseHandle(hProc);
    int nThreads = 0;
    HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te = {};
    te.dwSize = sizeof te;
    for (BOOL b = Thread32First(hSnap, &te); b; b = Thread32Next(hSnap, &te))
        nThreads += te.th32OwnerProcessID == dwPid;
    CloseHandle(hSnap);
    printf("workingset_kib\t%lu\nhandles\t%lu\nthreads\t%d\n",
           (unsigned long)(pmc.WorkingSetSize / 1024), (unsigned long)dwHandles, nThreads);
    return 0;
}

// Which common controls a program runs with shows in the comctl32 it loaded: the side-by-side
// one of version 6, or the system's own.
static int CmdModules()
{
    DWORD dwPid;
    HANDLE hProc = OpenMainProcess(&dwPid);
    HMODULE ahMods[512];
    DWORD cbNeeded = 0;
    if (!hProc || !EnumProcessModules(hProc, ahMods, sizeof ahMods, &cbNeeded)) {
        printf("error\tno process\n");
        if (hProc)
            CloseHandle(hProc);
        return 1;
    }
    for (DWORD i = 0; i < cbNeeded / sizeof(HMODULE) && i < 512; i++) {
        char szPath[MAX_PATH] = "";
        if (GetModuleFileNameExA(hProc, ahMods[i], szPath, sizeof szPath))
            printf("module\t%s\n", szPath);
    }
    CloseHandle(hProc);
    return 0;
}

// The fixed part's two versions, then the strings of the first translation the file names.
static int CmdVersion(const char* pszPath)
{
    DWORD dwIgnored = 0;
    DWORD cb = GetFileVersionInfoSizeA(pszPath, &dwIgnored);
    std::string data(cb, '\0');
    if (!cb || !GetFileVersionInfoA(pszPath, 0, cb, &data[0])) {
        printf("error\tno version resource in %s\n", pszPath);
        return 1;
    }
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT uLen = 0;
    if (VerQueryValueA(data.data(), "\\", (void**)&pFixed, &uLen) && pFixed) {
        printf("fixed_file\t%u.%u.%u.%u\n", HIWORD(pFixed->dwFileVersionMS),
               LOWORD(pFixed->dwFileVersionMS), HIWORD(pFixed->dwFileVersionLS),
               LOWORD(pFixed->dwFileVersionLS));
        printf("fixed_product\t%u.%u.%u.%u\n", HIWORD(pFixed->dwProductVersionMS),
               LOWORD(pFixed->dwProductVersionMS), HIWORD(pFixed->dwProductVersionLS),
               LOWORD(pFixed->dwProductVersionLS));
    }
    WORD* pLang = nullptr;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", (void**)&pLang, &uLen) ||
        uLen < 4) {
        printf("error\tno translation\n");
        return 1;
    }
    static const char* const kNames[] = {"CompanyName", "FileDescription", "FileVersion",
                                         "InternalName", "LegalCopyright", "OriginalFilename",
                                         "ProductName", "ProductVersion"};
    for (const char* pszName : kNames) {
        char szKey[96];
        snprintf(szKey, sizeof szKey, "\\StringFileInfo\\%04x%04x\\%s", pLang[0], pLang[1], pszName);
        char* pszValue = nullptr;
        if (VerQueryValueA(data.data(), szKey, (void**)&pszValue, &uLen) && pszValue)
            printf("%s\t%s\n", pszName, OneLine(pszValue).c_str());
    }
    return 0;
}

static int CmdLink(const char* pszPath)
{
    CoInitialize(nullptr);
    IShellLinkA* pLink = nullptr;
    IPersistFile* pFile = nullptr;
    int rc = 1;
    WCHAR wszPath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, pszPath, -1, wszPath, MAX_PATH);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   (void**)&pLink)) &&
        SUCCEEDED(pLink->QueryInterface(IID_IPersistFile, (void**)&pFile)) &&
        SUCCEEDED(pFile->Load(wszPath, STGM_READ))) {
        char szTarget[MAX_PATH] = "", szArgs[1024] = "", szDir[MAX_PATH] = "", szDesc[1024] = "";
        pLink->GetPath(szTarget, sizeof szTarget, nullptr, 0);
        pLink->GetArguments(szArgs, sizeof szArgs);
        pLink->GetWorkingDirectory(szDir, sizeof szDir);
        pLink->GetDescription(szDesc, sizeof szDesc);
        printf("target\t%s\nargs\t%s\nworkdir\t%s\ndescription\t%s\n", szTarget, szArgs, szDir,
               szDesc);
        rc = 0;
    } else {
        printf("error\tcannot read the shortcut %s\n", pszPath);
    }
    if (pFile)
        pFile->Release();
    if (pLink)
        pLink->Release();
    CoUninitialize();
    return rc;
}

static int Usage()
{
    fprintf(stderr, "usage: e2edriver main|post|wait|click|box|timed|gone|list|stats|modules|version|link ...\n");
    return 2;
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    std::string cmd = argv[1];
    int n = argc - 2;
    char** a = argv + 2;
    int rc = 2;
    if (cmd == "main" && n == 1)
        rc = CmdWait(kMainClass, atoi(a[0]), 0, nullptr);
    else if (cmd == "post" && n == 1)
        rc = CmdPost(atoi(a[0]));
    else if (cmd == "wait" && n == 2)
        rc = CmdWait(a[0], atoi(a[1]), 0, nullptr);
    else if (cmd == "wait" && n == 4)
        rc = CmdWait(a[0], atoi(a[1]), atoi(a[2]), a[3]);
    else if (cmd == "click" && n == 3)
        rc = CmdClick(a[0], atoi(a[1]), atoi(a[2]));
    else if (cmd == "box" && n == 2)
        rc = CmdBox(a[0], atoi(a[1]));
    else if (cmd == "timed" && (n == 3 || n == 4))
        rc = CmdTimed(atoi(a[0]), a[1], atoi(a[2]), n == 4 ? a[3] : nullptr);
    else if (cmd == "gone" && n == 2)
        rc = CmdGone(a[0], atoi(a[1]));
    else if (cmd == "list" && n == 1)
        rc = CmdList(atoi(a[0]));
    else if (cmd == "stats" && n == 0)
        rc = CmdStats();
    else if (cmd == "modules" && n == 0)
        rc = CmdModules();
    else if (cmd == "version" && n == 1)
        rc = CmdVersion(a[0]);
    else if (cmd == "link" && n == 1)
        rc = CmdLink(a[0]);
    else
        return Usage();
    fflush(stdout);
    return rc;
}
