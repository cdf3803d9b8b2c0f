// The one transfer of the program.
#include "protocol/transfer.h"

TransferState g_xfer;
