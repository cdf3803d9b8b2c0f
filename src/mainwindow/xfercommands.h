// The main window's side of a transfer: the Send and Receive commands and the poll.
#pragma once
#include <windows.h>

int CmdSend();
int CmdReceive();
void OnPollTimer();
// The main window's message held back because a Send or Receive command is running and it
// must not be handled before that command ends (it is posted again then): 1 when it was held.
int HoldUntilTransferEnds(UINT msg, WPARAM wParam, LPARAM lParam);
// Opens the chosen type's port as the link, with the window title and Send button that
// follow it; bReport: a port that cannot be opened is reported in a message box.
void OpenPortForUser(int bReport);
