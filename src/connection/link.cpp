// The one link of the program.
#include "connection/link.h"

LinkState g_link;
