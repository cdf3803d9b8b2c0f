// The IrDA calls of the socket transport, behind one small layer of our own.
//
// Neither Wine nor Linux has IrDA sockets, so this layer can stand in for the infrared
// medium: where the platform refuses AF_IRDA and the environment variable TALMOX_IRDA_AIR
// names a folder, a listener announces itself there as a device in range and connects run
// over TCP on 127.0.0.1. On a Windows with IrDA every call goes straight to Winsock.
#pragma once
#include <winsock2.h>
#include <cstdint>

enum {
    IRDA_DEVICELIST_BYTES = 512,     // the buffer handed to IRLMP_ENUMDEVICES
    IRDA_DEVICE_INFO_BYTES = 29,     // id 4, name 22, hints 2, character set 1
    IRDA_DEVICE_NAME_BYTES = 22,
    IRDA_MAX_DEVICES = (IRDA_DEVICELIST_BYTES - 4) / IRDA_DEVICE_INFO_BYTES
};

extern const char kIrdaServiceName[];   // "TALMOX"

// A new IrDA stream socket, or INVALID_SOCKET when the platform (and the medium) has none.
SOCKET IrdaSocket();
// Binds the socket to the service "TALMOX" (a listener); 1 on success.
int IrdaBindService(SOCKET s);
// Fills the zeroed 512-byte buffer with a DEVICELIST of the devices in range; 1 when the
// enumeration call itself succeeded (the count may still be 0).
int IrdaEnumDevices(SOCKET s, uint8_t* pList);
// Connects to the service "TALMOX" of the device with the given 4-byte id; 1 on success.
int IrdaConnect(SOCKET s, const uint8_t* pDeviceId);
