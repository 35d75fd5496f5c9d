// Writing zip archives to a file, a caller's handle or memory. Every
// operation reports a zip result code (config/ZipResult.h) and stores it as
// the writer's last result, kept apart from the reader's; nothing is logged.
#pragma once

#include "config/ZipHandle.h"
#include "config/ZipResult.h"
#include "platform/types.h"

// Null when the archive cannot be made; the reason is then the writer's last
// result. An empty password counts as none.
ZipHandle* CreateZip(const char* fileName, const char* password);
ZipHandle* CreateZipHandle(HANDLE handle, const char* password);
// Without a block, a page-file-backed block of `size` bytes is made.
ZipHandle* CreateZipMemory(void* block, DWORD size, const char* password);
ZipHandle* CreateZipInternal(void* target, DWORD size, DWORD kind, const char* password);

DWORD AddZipItem(ZipHandle* handle, const char* name, const char* fileName);
DWORD AddZipItemHandle(ZipHandle* handle, const char* name, HANDLE source);
DWORD AddZipItemHandleSized(ZipHandle* handle, const char* name, HANDLE source, DWORD size);
DWORD AddZipItemMemory(ZipHandle* handle, const char* name, const void* block, DWORD length);
DWORD AddZipFolder(ZipHandle* handle, const char* name);
DWORD AddZipItemGeneric(ZipHandle* handle, const char* name, const void* source, DWORD length, DWORD kind);

// Finishes the archive; hands out its block and length (ZIP_NOT_MEMORY, with
// the length, for an archive not in memory).
DWORD GetZipMemory(ZipHandle* handle, void** block, DWORD* length);
// Finishes the archive unless done and frees the handle.
DWORD CloseZipWriter(ZipHandle* handle);

// Code 1 stands for the writer's last result. Returns the full text's length.
unsigned int FormatZipWriterMessage(DWORD code, char* buffer, unsigned int size);
bool IsZipWriterHandle(const ZipHandle* handle);
