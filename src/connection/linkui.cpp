// The one place the link and transfer code's reports to the user are passed on.
#include "connection/linkui.h"

#include <atomic>

static std::atomic<const LinkUi*> s_pUi{nullptr};

void SetLinkUi(const LinkUi* pUi)
{
    s_pUi = pUi;
}

void UiReceiveBegan()
{
    if (const LinkUi* p = s_pUi)
        p->pfnReceiveBegan();
}

void UiFileName(const char* pszName)
{
    if (const LinkUi* p = s_pUi)
        p->pfnFileName(pszName);
}

void UiCloseStatus(int bWait)
{
    if (const LinkUi* p = s_pUi)
        p->pfnCloseStatus(bWait);
}

void UiConnectEnded()
{
    if (const LinkUi* p = s_pUi)
        p->pfnConnectEnded();
}

void UiPlaySound(const char* pszName)
{
    if (const LinkUi* p = s_pUi)
        p->pfnPlaySound(pszName);
}

void UiDestFolderGone(const char* pszDir)
{
    if (const LinkUi* p = s_pUi)
        p->pfnDestFolderGone(pszDir);
}

void UiAskReceive(const ReceiveQuestion* pQuestion)
{
    if (const LinkUi* p = s_pUi)
        p->pfnAskReceive(pQuestion);
}

void UiWithdrawQuestion(uint32_t dwId)
{
    if (const LinkUi* p = s_pUi)
        p->pfnWithdrawQuestion(dwId);
}
