// The shared session state and the constant tables that follow the communication type.
#include "connection/session.h"

SessionState g_state;

const int32_t BlockSizeByCommType[CT_COUNT] = {4096, 8192, 4096, 4096, 2048, 32768, 32768};

int IsSocketType(int iType)
{
    return iType == CT_IRDA || iType == CT_LAN || iType == CT_WAN;
}

void MoveWorkerState(int32_t iNew)
{
    int32_t iState = g_state.iWorkerState;
    while (iState != WS_QUIT && !g_state.iWorkerState.compare_exchange_weak(iState, iNew)) {
    }
}
