// The Bluetooth serial-port library. The host opens the connection; the module
// only reads it and closes it. Both calls return 0 for success.
#pragma once

extern "C" {
int BT_SPP_RecvData(unsigned int connection, unsigned char* buffer, unsigned int* length);
int BT_SPP_Disconnect(unsigned int connection);
}
