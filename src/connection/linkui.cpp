// The one place the link and transfer code's reports to the user are passed on.
#include "connection/linkui.h"

#include <atomic>

static std::atomic<const LinkUi*> s_pUi{nullptr};

void SetLinkUi(const LinkUi* pUi)
{
    s_pUi = pUi;
}

// Passes a report to the table's entry, if there is a table and it has that entry.
template <class Fn, class... Args>
static void Report(Fn LinkUi::*pfn, Args... args)
{
    const LinkUi* p = s_pUi;
    if (p && p->*pfn)
        (p->*pfn)(args...);
}

void UiReceiveBegan() { Report(&LinkUi::pfnReceiveBegan); }
void UiFileName(const char* pszName) { Report(&LinkUi::pfnFileName, pszName); }
void UiCloseStatus(int bWait) { Report(&LinkUi::pfnCloseStatus, bWait); }
void UiConnectEnded() { Report(&LinkUi::pfnConnectEnded); }
void UiPlaySound(const char* pszName) { Report(&LinkUi::pfnPlaySound, pszName); }
void UiDestFolderGone(const char* pszDir) { Report(&LinkUi::pfnDestFolderGone, pszDir); }
void UiAskReceive(const ReceiveQuestion* pQuestion) { Report(&LinkUi::pfnAskReceive, pQuestion); }
void UiWithdrawQuestion(uint32_t dwId) { Report(&LinkUi::pfnWithdrawQuestion, dwId); }
