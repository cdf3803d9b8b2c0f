// Waits of the user-interface thread that keep its windows painting and answering, and the
// guard that keeps what must not start meanwhile from starting.
#pragma once
#include <windows.h>

#include <functional>

// Waits until done() holds or msBound milliseconds have passed, dispatching this thread's
// messages all the while; done() is looked at before the first message and at least every
// few milliseconds. Returns done()'s last value. A WM_QUIT taken during the wait is posted
// again as it ends, so that the message loop still ends.
bool WaitDispatching(const std::function<bool()>& done, DWORD msBound);

// 1 while this thread is inside WaitDispatching.
int InDispatchingWait();
