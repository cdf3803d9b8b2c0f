// The main window's side of a transfer: the Send and Receive commands and the poll.
#pragma once

int CmdSend();
int CmdReceive();
void OnPollTimer();
