// The question put to the receiving user before a batch is taken, when the settings ask for
// it, and the time-outs that bound what a peer may hold on this side.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

struct DestName;

// How a question was answered; ANSWER_NONE while it is still open.
enum ReceiveAnswer { ANSWER_NONE, ANSWER_ACCEPT, ANSWER_DECLINE };

// The receiver's time-outs. Production runs with the defaults; a test may shorten them, since
// waiting out the real ones would make the suite minutes longer.
enum {
    QUESTION_WAIT_MS = 60000,   // a question not answered by then is declined
    PEER_IDLE_MS = 30000        // a socket peer with no batch under way is dropped after it
};
struct ReceiverTimeouts {
    std::atomic<DWORD> msQuestion{QUESTION_WAIT_MS};
    // From the connection, or from the peer's last file list, while no batch is under way
    // and no question is open.
    std::atomic<DWORD> msPeerIdle{PEER_IDLE_MS};
};
extern ReceiverTimeouts g_recvTimeouts;

// The worker's side. A batch of nFiles files, qwTotal bytes, whose list passed every check:
// the first time the question is put to the user and ANSWER_NONE returned, and the list is
// left unanswered; the same list again (same count and CRC, the sender repeating it for want
// of a reply) is the same question, and gets the answer once there is one. A question left
// unanswered for msQuestion is declined. pszFrom names the sender ("" for a serial peer that
// gave no name); pNames are the names the files would be stored under.
ReceiveAnswer AskAboutBatch(int nFiles, uint32_t crc, uint64_t qwTotal, const char* pszFrom,
                            const DestName* pNames);
// The sender has moved on (another message, a new connection, the setting turned off): an
// open question is taken back from the user, unanswered.
void WithdrawReceiveQuestion();
// 1 while a question is open, unanswered, and its time is not up: the sender is waiting on
// the user, not holding the line.
int ReceiveQuestionWaiting();

// The user interface's side: the answer to question dwId, kept only while that question is
// the one open; and whether it still is, for a dialog that comes up late.
void AnswerReceiveQuestion(uint32_t dwId, ReceiveAnswer answer);
int IsReceiveQuestionOpen(uint32_t dwId);
