// The serial port of the serial communication types: finding the USB device and opening it.
#pragma once
#include <windows.h>

void FindUsbSerialPort();
HANDLE OpenCommPort(int bReport);
