// Serving a peer in answer mode: the dispatch of its messages and the checks on its file list.
#pragma once

// One message from the serial peer.
void CommServePeer();
// The messages of the socket peer, until its exchange ends or the worker is wanted elsewhere.
void SockServePeer();
// A socket peer has just been accepted: nothing of the exchange before it carries over.
void BeginSocketExchange();
// The socket exchange is over: the peer is told, the unfinished file dropped, the link closed.
void EndSocketExchange();
// 1 when a record of the received list names a file that is already in the destination.
int AnyNameConflict();
