// Reading zip archives: open over a file name, a handle or a memory block,
// list and find items, extract them to a file, a handle or memory. Every
// operation reports a zip result code (config/ZipResult.h) and stores it as
// the last zip result; nothing is logged.
#pragma once

#include "config/ZipEntry.h"
#include "config/ZipHandle.h"
#include "config/ZipResult.h"
#include "platform/types.h"

// Null when the open failed; the reason is then the last zip result. The
// password may be null.
ZipHandle* OpenZip(const char* fileName, const char* password);
ZipHandle* OpenZipHandle(HANDLE handle, const char* password);
ZipHandle* OpenZipMemory(void* buffer, DWORD length, const char* password);
ZipHandle* OpenZipInternal(const void* source, DWORD length, DWORD kind, const char* password);

// Index -1 gives the number of items in the entry's index.
DWORD GetZipItem(ZipHandle* handle, int index, ZipEntry* entry);
// `index` and `entry` may each be null.
DWORD FindZipItem(ZipHandle* handle, const char* name, bool ignoreCase, int* index, ZipEntry* entry);

// A relative file name is taken below the base folder (the current folder at
// open, or SetUnzipBaseDir's). To memory: ZIP_MORE while data remains; call
// again with the same index for the rest.
DWORD UnzipItem(ZipHandle* handle, int index, const char* fileName);
DWORD UnzipItemToHandle(ZipHandle* handle, int index, HANDLE fileHandle);
DWORD UnzipItemToMemory(ZipHandle* handle, int index, void* buffer, DWORD length);
DWORD UnzipItemGeneric(ZipHandle* handle, int index, void* destination, DWORD length, DWORD kind);

DWORD SetUnzipBaseDir(ZipHandle* handle, const char* folder);
// Frees the handle (one of this layer's).
DWORD CloseZip(ZipHandle* handle);

// Code 1 stands for the last zip result. Returns the full text's length.
unsigned int FormatZipMessage(DWORD code, char* buffer, unsigned int size);
bool IsUnzipHandle(const ZipHandle* handle);

// True for the name an item's file has beside its target until it is complete.
bool IsUnzipTemporaryName(const char* name);
