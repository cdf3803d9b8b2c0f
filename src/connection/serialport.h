// The serial port of the serial communication types: finding the USB device and opening it.
#pragma once
#include <windows.h>

void FindUsbSerialPort();
// The port of the serial type chosen, set up for the link; nullptr when it cannot be opened,
// and for the socket types, which have none.
HANDLE OpenCommPort();
