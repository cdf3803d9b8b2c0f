// How the links, the worker and the transfer code reach the user without naming a window.
#pragma once

#include <windows.h>

#include <cstdint>

// What the receiving user is asked about a batch before it is taken (when the settings say
// so). The implementation copies it: the worker's copy is gone once the call returns.
enum { RQ_NAMES = 5 };
struct ReceiveQuestion {
    uint32_t dwId;              // the number the answer is given for
    char szFrom[128];           // the sender's owner name or address; "" when a serial peer gave none
    int nFiles;
    uint64_t qwBytes;
    int nNames;                 // the first names the files would be stored under
    char aszNames[RQ_NAMES][144];
    DWORD msWait;               // unanswered for this long, the question is declined
};

// The main window fills in this table at its creation (SetLinkUi); until then, and in a
// program without windows (a test, a bench), each report goes nowhere, as does one whose entry
// a table leaves empty. The calls come from the worker's thread: an implementation posts, or
// sends only what must be done before the worker goes on.
struct LinkUi {
    void (*pfnReceiveBegan)();                  // a peer's batch was taken: show its status
    void (*pfnFileName)(const char* pszName);   // the file now being sent or received
    // The batch is over: close its status dialog; bWait, once it has gone.
    void (*pfnCloseStatus)(int bWait);
    void (*pfnConnectEnded)();                  // a connect attempt ended, not by a cancel
    void (*pfnPlaySound)(const char* pszName);  // "infbeg", "infintr" or "infend"
    // A peer's batch was refused because the destination folder pszDir no longer exists.
    void (*pfnDestFolderGone)(const char* pszDir);
    // Asks the user whether to take a batch; the answer goes to AnswerReceiveQuestion.
    void (*pfnAskReceive)(const ReceiveQuestion* pQuestion);
    // Question dwId is over unanswered (the sender moved on, or time ran out): take it down.
    void (*pfnWithdrawQuestion)(uint32_t dwId);
};

void SetLinkUi(const LinkUi* pUi);

void UiReceiveBegan();
void UiFileName(const char* pszName);
void UiCloseStatus(int bWait);
void UiConnectEnded();
void UiPlaySound(const char* pszName);
void UiDestFolderGone(const char* pszDir);
void UiAskReceive(const ReceiveQuestion* pQuestion);
void UiWithdrawQuestion(uint32_t dwId);
