// The question to the receiving user before a peer's batch is taken.
#pragma once
#include <windows.h>

struct ReceiveQuestion;

// Posted to the main window with a heap copy of the question, which the handler frees; posted
// to the question's dialog, with the question's number, when the worker takes it back.
#define WM_ASKRECEIVE (WM_USER + 1001)
#define WM_ASKWITHDRAWN (WM_USER + 1002)

// Shows the question and gives the worker the user's answer: Accept, or Decline, which is
// also what Escape, closing the box and letting the time run out give.
void OnAskReceive(const ReceiveQuestion* pQuestion);
// The sender as the user is told of it: pszFrom, or, when a serial peer gave no name, the
// device on the port of the communication type; into cb bytes.
void SenderText(const char* pszFrom, char* pszOut, size_t cb);
