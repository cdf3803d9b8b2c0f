// The windows' state, one for the program.
#include "winshared/uistate.h"

WindowState g_wnd;
