// The destination files of a received batch: each made as a part file, written block by block
// through a mapping, and given its name once it is whole.
#pragma once

#include "protocol/destname.h"

struct XferLink;
struct XFERFILE;

// The batch of a list that passed its checks so far: its files go into pszDir, replacing
// files of the same name when bOverwrite, as both were when the list was taken. Returns the
// names its records are to be kept under.
const DestName* PrepareRecvBatch(const XFERFILE* pFiles, int nFiles, const char* pszDir,
                                 int bOverwrite);
// The batch prepared last is accepted: its files may now be opened, in order from the first.
void AcceptRecvBatch();
// No batch is accepted any more, and a file still open is deleted: a new list, or a new peer.
void ForgetRecvBatch();
// A file still open is deleted, since no close will come for it.
void DropRecvFile();

// The messages about the files of the accepted batch.
void OnOpenFile(const XferLink& link);
void OnBlock(const XferLink& link);
void OnCloseFile(const XferLink& link);

// After a cancelled receive, from the user interface: the file being written, if the worker
// still holds it, is closed and deleted, once no block is being stored into it.
void DiscardPartialFile();
// Set by tests only: called by DiscardPartialFile once it has taken the file and before it has
// let go of it, so that a test can have the worker go on in that moment.
extern void (*g_pfnDiscardHook)();
