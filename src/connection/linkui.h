// How the links, the worker and the transfer code reach the user without naming a window.
#pragma once

// The main window fills in this table at its creation (SetLinkUi); until then, and in a
// program without windows (a test, a bench), each report goes nowhere. The calls come from
// the worker's thread: an implementation posts, or sends only what must be done before the
// worker goes on.
struct LinkUi {
    void (*pfnReceiveBegan)();                  // a peer's batch was taken: show its status
    void (*pfnFileName)(const char* pszName);   // the file now being sent or received
    // The batch is over: close its status dialog; bWait, once it has gone.
    void (*pfnCloseStatus)(int bWait);
    void (*pfnConnectEnded)();                  // a connect attempt ended, not by a cancel
    void (*pfnPlaySound)(const char* pszName);  // "infbeg", "infintr" or "infend"
    // A peer's batch was refused because the destination folder pszDir no longer exists.
    void (*pfnDestFolderGone)(const char* pszDir);
};

void SetLinkUi(const LinkUi* pUi);

void UiReceiveBegan();
void UiFileName(const char* pszName);
void UiCloseStatus(int bWait);
void UiConnectEnded();
void UiPlaySound(const char* pszName);
void UiDestFolderGone(const char* pszDir);
