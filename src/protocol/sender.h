// Sending the batch table over the serial line or the data socket.
#pragma once

void CommSendFiles();
void SockSendFiles();
