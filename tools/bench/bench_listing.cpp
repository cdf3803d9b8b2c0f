// Benchmark: listing a large folder into the file pane, as the main window does.
//   bench_listing FOLDER [RUNS]   prints "listing_ms <median>" and "listing_rows <count>"
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "browser/listing.h"
#include "winshared/uistate.h"

static LRESULT CALLBACK BenchWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A plain top-level window of the main window's wide size, holding the real panes.
static HWND CreateHostWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BenchWndProc;
    wc.hInstance = g_wnd.hInst;
    wc.lpszClassName = "TALMOXBENCH";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                           800, 600, nullptr, nullptr, g_wnd.hInst, nullptr);
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_listing FOLDER [RUNS]\n");
        return 2;
    }
    int nRuns = argc > 2 ? atoi(argv[2]) : 3;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    g_wnd.hInst = GetModuleHandleA(nullptr);
    HWND hwnd = CreateHostWindow();
    if (!hwnd) {
        fprintf(stderr, "no window (is there a display?)\n");
        return 1;
    }
    CreateFilePanes(hwnd);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    std::vector<double> ms;
    for (int i = 0; i < nRuns; i++) {
        QueryPerformanceCounter(&t0);
        FillFileList(g_wnd.hwndFileList, argv[1], 0);
        QueryPerformanceCounter(&t1);
        ms.push_back(1000.0 * (double)(t1.QuadPart - t0.QuadPart) / (double)f.QuadPart);
    }
    std::sort(ms.begin(), ms.end());
    printf("listing_ms %.0f\nlisting_rows %d\n", ms[ms.size() / 2],
           (int)SendMessageA(g_wnd.hwndFileList, LVM_GETITEMCOUNT, 0, 0));
    return 0;
}
