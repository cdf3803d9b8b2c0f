// The read-back requests, with which a peer reads a file of the last list back.
#pragma once

#include <cstdint>

struct XferLink;

// Serves XC_OPEN_READ, XC_READ_BLOCK or XC_CLOSE_READ on a link that serves read-back (the
// serial line); 0 for any other code. The file being read is kept apart from the one being
// received, so neither request can close, cut or delete a file that is being written, nor the
// reverse. Unless the user lets the other device read files from this computer, the requests
// get no reply.
int ServeReadBack(const XferLink& link, uint8_t code);
