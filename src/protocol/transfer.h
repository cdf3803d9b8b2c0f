// Sending and receiving a batch of files over either link.
#pragma once

void CommSendFiles();
void SockSendFiles();
void CommServePeer();
void SockServePeer();
void EndSocketExchange();
int AnyNameConflict();
