// The main window's side of a transfer: the Send and Receive commands and the poll.
#pragma once

int CmdSend();
int CmdReceive();
void OnPollTimer();
// Opens the chosen type's port as the link, with the window title and Send button that
// follow it; bReport: a port that cannot be opened is reported in a message box.
void OpenPortForUser(int bReport);
