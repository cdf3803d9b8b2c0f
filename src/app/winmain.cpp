// Program entry: prepare the session, create the main window, run the message loop, shut down.
#include "app/startup.h"
#include "mainwindow/mainwindow.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow)
{
    PrepareSession();
    if (!InitInstance(hInstance, nCmdShow, lpCmdLine))
        return 0;
    StartSession(lpCmdLine);
    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    EndSession();
    return (int)msg.wParam;
}
