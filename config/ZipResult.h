// Result codes of the zip layer, shared by the reader and the writer. The
// values are fixed: callers and the message texts key on them.
#pragma once

#include <string>

#include "platform/types.h"

constexpr DWORD ZIP_OK = 0x00000000;
constexpr DWORD ZIP_LAST_RESULT = 0x00000001;  // given to the formatters: the last result
constexpr DWORD ZIP_NO_DUPLICATE = 0x00000100;
constexpr DWORD ZIP_NO_FILE = 0x00000200;
constexpr DWORD ZIP_NO_ALLOC = 0x00000300;
constexpr DWORD ZIP_WRITE = 0x00000400;
constexpr DWORD ZIP_NOT_FOUND = 0x00000500;
constexpr DWORD ZIP_MORE = 0x00000600;
constexpr DWORD ZIP_CORRUPT = 0x00000700;
constexpr DWORD ZIP_READ = 0x00000800;
constexpr DWORD ZIP_PASSWORD = 0x00001000;
constexpr DWORD ZIP_ARGS = 0x00010000;
constexpr DWORD ZIP_NOT_MEMORY = 0x00020000;
constexpr DWORD ZIP_MEMORY_SIZE = 0x00030000;
constexpr DWORD ZIP_FAILED = 0x00040000;
constexpr DWORD ZIP_ENDED = 0x00050000;
constexpr DWORD ZIP_MISSIZE = 0x00060000;
constexpr DWORD ZIP_PARTIAL_UNZIP = 0x00070000;
constexpr DWORD ZIP_MIXED = 0x00080000;
constexpr DWORD ZIP_NOT_INITED = 0x01000000;
constexpr DWORD ZIP_SEEK = 0x02000000;
constexpr DWORD ZIP_NO_CHANGE = 0x04000000;
constexpr DWORD ZIP_FLATE = 0x05000000;

// The fixed text of a code; "unknown zip result code" for any other value.
// The writer's table has no password entry.
std::string ZipResultText(DWORD code, bool writerTable);

// Copies at most size - 1 characters of `text` and a terminator when a buffer
// is given and size is not 0; returns the full text's length.
unsigned int CopyZipMessage(const std::string& text, char* buffer, unsigned int size);
