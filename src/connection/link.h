// The link's state: the serial port or the sockets, and the peer found over them.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>

// Owner: the link code, on the worker's thread. The user-interface thread opens and closes
// the port and the listening socket only while it changes the communication type, at start-up
// and at shut-down, and finds the USB port's name.
struct LinkState {
    std::atomic<HANDLE> hComm{nullptr};
    std::atomic<SOCKET> hListenSock{0};
    std::atomic<SOCKET> hDataSock{INVALID_SOCKET};
    std::atomic<SOCKET> hUdpSock{0};
    // The address (network order) at the other end of the data connection, set when it is
    // made, either way; 0 for a link with no address (IrDA, serial).
    std::atomic<uint32_t> dwDataPeerAddr{0};
    char szPeerName[128] = "";
    char szUsbPort[16] = "";
    char szRawIrPort[16] = "";
};

extern LinkState g_link;

// The listening socket of a socket type, ready for peers; nothing for a serial type.
void OpenListener();
// Closes the link of the type in the settings: its listening and probe sockets, or its port.
void CloseLink();
