// One AT command in flight on the command channel, and its reply once it came.
#pragma once

#include <vector>

#include "platform/types.h"

struct PendingRequest {
    LONG commandLength = 0;
    LONG responseLength = 0;       // 0 until the reply arrives
    std::vector<BYTE> command;     // commandLength bytes and a zero byte
    std::vector<BYTE> response;    // responseLength bytes
    ULONG requestId = 0;           // as SetCommand returned it
};
