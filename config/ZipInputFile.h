// The input layer minizip reads an archive through: an open handle, a file
// opened by name, or a block of memory. Handles go through the platform's file
// calls, so archive paths map like every other file.
#pragma once

#include <minizip/ioapi.h>

#include <cstdint>

#include "platform/types.h"

struct ZipInputFile {
    bool handleKind = false;  // handle or file name; false for memory
    bool seekable = false;
    HANDLE handle = nullptr;
    bool readError = false;
    DWORD startOffset = 0;  // where the archive begins in the handle
    bool ownsHandle = false;
    const std::uint8_t* buffer = nullptr;
    std::uint64_t length = 0;
    std::uint64_t position = 0;
};

// Null with *error set when the source cannot be used.
ZipInputFile* ZipInputOpen(const void* source, DWORD length, DWORD kind, DWORD* error);
DWORD ZipInputRead(void* buffer, DWORD size, DWORD count, ZipInputFile* input);
int ZipInputSeek(ZipInputFile* input, std::int64_t offset, int origin);
std::int64_t ZipInputTell(ZipInputFile* input);
bool ZipInputError(ZipInputFile* input);
int ZipInputClose(ZipInputFile* input);

// minizip's file functions over this layer. The "file name" minizip is given
// is an input already made by ZipInputOpen; minizip owns it from then on.
zlib_filefunc64_def ZipInputFunctions();
