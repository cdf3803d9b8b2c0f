// The worker's control words and the named operations by which the user interface steers it.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

// Worker states (iWorkerState); 4 is never set.
enum { WS_QUIT = 0, WS_IDLE = 1, WS_CONNECT = 2, WS_CONNECTED = 3, WS_SEND = 5, WS_RECEIVING = 6 };

// Why a transfer stopped, kept with the stop by the one operation that stops it: the first
// cause is the one kept, so that what follows from it (the link dropped after an abort, the
// user's cancel of a send the peer has refused) does not hide it.
enum StopReason : int32_t {
    STOP_NONE = 0,              // not stopped
    STOP_USER,                  // the user cancelled
    STOP_QUITTING,              // the program is closing
    STOP_PEER_ABORT,            // the peer sent its abort notice
    STOP_LINK_LOST,             // the connection broke, or no socket could be had for it
    STOP_REFUSED_NO_SPACE,      // the receiver refused the list: its drive lacks the space
    STOP_REFUSED_NAMES,         // the receiver refused the list: its names are taken there
    STOP_REFUSED_CREATE,        // the receiver could not create a file
    STOP_SOURCE_UNREADABLE,     // a file being sent could not be read (iUnreadableFile)
    STOP_CANT_CREATE,           // a file sent here could not be created
    STOP_DRIVE_FAILED,          // the drive here refused a block
    STOP_FILE_NOT_WHOLE         // the sender closed a file that had not arrived whole
};

// Owner: the worker. The user-interface thread changes it only through the named operations
// below; the transfer and link code stop a transfer only through StopTransfer. Each word is atomic with
// sequentially consistent order, so a named operation's writes are seen by the worker in the
// order they are made.
struct WorkerControl {
    std::atomic<int32_t> iWorkerState{WS_QUIT};
    std::atomic<int32_t> bAnswerMode{1};
    // The transfer under way is to stop (every loop of it looks), and why (a StopReason); both
    // are written only by StopTransfer and ClearStop.
    std::atomic<int32_t> bAbort{0};
    std::atomic<int32_t> iStopReason{STOP_NONE};
    // 1 while the worker runs the sender: a cancel returns the state to answer mode at once,
    // but the send ends, with its abort notices, only when the sender next looks.
    std::atomic<int32_t> bSending{0};
    std::atomic<HANDLE> hWorkerThread{nullptr};
    std::atomic<HANDLE> hResponderThread{nullptr};
};

extern WorkerControl g_worker;

// Stops the transfer under way for the reason given, unless it has been stopped already.
void StopTransfer(StopReason why);
// The stop seen through: the next transfer starts unstopped.
void ClearStop();
inline int TransferStopped()
{
    return g_worker.bAbort.load() != 0;
}
inline StopReason TransferStopReason()
{
    return (StopReason)g_worker.iStopReason.load();
}

// The worker's own change of iWorkerState. A quit the user interface set meanwhile stays:
// written over, it would leave the worker running with nothing left to stop it.
void MoveWorkerState(int32_t iNew);

// The named operations by which the user interface (and the tests) steer the worker. Each
// writes the worker's words in the order the worker reads them and ends its pause.

// Leaves answer mode and has the worker connect to the peer.
void StartConnect();
// Leaves answer mode and has the worker send the batch table over the link that stands.
void StartSend();
// Stops the connect or transfer under way and returns the worker to answer mode. The stop goes
// first, so that a connect loop or a transfer sees it before the state changes.
void CancelTransfer();
// Answer mode again after a send that the worker has finished, or that was given up on.
void ReturnToAnswerMode();
// Asks the worker, and the discovery responder, to end.
void QuitWorker();
// The user interface has seen a cancel or a stop through. A sender that has not returned yet
// keeps its stop, which it has still to act on.
void ClearCancel();

// The worker's pause between passes: it ends at once when a named operation gives the worker
// something to do. hOther, when not null, ends it too.
void AwaitWork(DWORD ms, HANDLE hOther = nullptr);
