// Asking the receiving user before a batch is taken: the open question, its answer, and the
// receiver's time-outs.
#include "protocol/askreceive.h"

#include "connection/linkui.h"
#include "protocol/destname.h"

#include <cstring>

ReceiverTimeouts g_recvTimeouts;

// The open question. Owner: the worker, which poses and withdraws it; the user interface
// writes only the answer, through AnswerReceiveQuestion. Both sides take s_lock, so that an
// answer meant for a question that has been withdrawn can never be taken for the next one.
static SRWLOCK s_lock = SRWLOCK_INIT;
static uint32_t s_dwOpen;               // the open question's number, 0 for none
static uint32_t s_dwLast;               // the last number given out
static ReceiveAnswer s_answer = ANSWER_NONE;

// The worker's own notes on the open question: its number (0 when none is open, so that the
// worker, which alone opens and closes questions, looks without the lock on every message),
// the list it is about and when it was put.
static struct {
    uint32_t dwId;
    int nFiles;
    uint32_t crc;
    DWORD dwAskedTick;
} s_asked;

static uint32_t OpenQuestion()
{
    AcquireSRWLockExclusive(&s_lock);
    if (++s_dwLast == 0)
        s_dwLast = 1;
    s_dwOpen = s_dwLast;
    s_answer = ANSWER_NONE;
    ReleaseSRWLockExclusive(&s_lock);
    s_asked.dwId = s_dwLast;
    return s_dwLast;
}

// Closes the open question and returns its answer, ANSWER_NONE when it had none.
static ReceiveAnswer CloseQuestion()
{
    AcquireSRWLockExclusive(&s_lock);
    ReceiveAnswer answer = s_dwOpen ? s_answer : ANSWER_NONE;
    s_dwOpen = 0;
    s_answer = ANSWER_NONE;
    ReleaseSRWLockExclusive(&s_lock);
    s_asked.dwId = 0;
    return answer;
}

static ReceiveAnswer AnswerSoFar()
{
    AcquireSRWLockShared(&s_lock);
    ReceiveAnswer answer = s_answer;
    ReleaseSRWLockShared(&s_lock);
    return answer;
}

void AnswerReceiveQuestion(uint32_t dwId, ReceiveAnswer answer)
{
    AcquireSRWLockExclusive(&s_lock);
    if (dwId != 0 && dwId == s_dwOpen && s_answer == ANSWER_NONE)
        s_answer = answer;
    ReleaseSRWLockExclusive(&s_lock);
}

int IsReceiveQuestionOpen(uint32_t dwId)
{
    AcquireSRWLockShared(&s_lock);
    int bOpen = dwId != 0 && dwId == s_dwOpen;
    ReleaseSRWLockShared(&s_lock);
    return bOpen;
}

int ReceiveQuestionWaiting()
{
    return s_asked.dwId && AnswerSoFar() == ANSWER_NONE &&
           GetTickCount() - s_asked.dwAskedTick < g_recvTimeouts.msQuestion;
}

void WithdrawReceiveQuestion()
{
    uint32_t dwOpen = s_asked.dwId;
    if (!dwOpen)
        return;
    CloseQuestion();
    UiWithdrawQuestion(dwOpen);
}

static void PoseQuestion(int nFiles, uint32_t crc, uint64_t qwTotal, const char* pszFrom,
                         const DestName* pNames)
{
    ReceiveQuestion q = {};
    q.dwId = OpenQuestion();
    strncpy(q.szFrom, pszFrom, sizeof q.szFrom - 1);
    q.nFiles = nFiles;
    q.qwBytes = qwTotal;
    q.msWait = g_recvTimeouts.msQuestion;
    for (int i = 0; i < nFiles && q.nNames < RQ_NAMES; i++)
        if (pNames[i].szName[0])
            strcpy(q.aszNames[q.nNames++], pNames[i].szName);
    s_asked.nFiles = nFiles;
    s_asked.crc = crc;
    s_asked.dwAskedTick = GetTickCount();
    UiAskReceive(&q);
}

ReceiveAnswer AskAboutBatch(int nFiles, uint32_t crc, uint64_t qwTotal, const char* pszFrom,
                            const DestName* pNames)
{
    uint32_t dwOpen = s_asked.dwId;
    if (dwOpen && s_asked.nFiles == nFiles && s_asked.crc == crc) {
        ReceiveAnswer answer = AnswerSoFar();
        if (answer == ANSWER_NONE &&
            GetTickCount() - s_asked.dwAskedTick < g_recvTimeouts.msQuestion)
            return ANSWER_NONE;
        answer = CloseQuestion();
        if (answer == ANSWER_NONE) {
            UiWithdrawQuestion(dwOpen);     // nobody answered in time
            return ANSWER_DECLINE;
        }
        return answer;
    }
    WithdrawReceiveQuestion();      // a different list: the question it was is gone
    PoseQuestion(nFiles, crc, qwTotal, pszFrom, pNames);
    return ANSWER_NONE;
}
