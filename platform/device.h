// Device I/O control. A device is opened with CreateFileA on its "\??\" name.
#pragma once

#include "platform/types.h"

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize, LPVOID outBuffer,
                     DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped);
