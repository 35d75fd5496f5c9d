// The description of one archive item handed to callers.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct ZipEntry {
    std::int32_t index;  // for the request with index -1: the number of items
    char name[MAX_PATH];  // after the name guard, zero-terminated
    std::uint32_t attributes;
    FILETIME accessTime;
    FILETIME creationTime;
    FILETIME writeTime;
    std::int32_t compressedSize;
    std::int32_t uncompressedSize;
};
