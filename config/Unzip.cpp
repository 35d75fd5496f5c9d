#include "config/Unzip.h"

#include <atomic>
#include <memory>

#include "config/CUnzipArchive.h"

namespace {

std::atomic<DWORD> lastUnzipResult{ZIP_OK};

DWORD Store(DWORD result) {
    lastUnzipResult = result;
    return result;
}

DWORD Check(const ZipHandle* handle) {
    if (!handle) return ZIP_ARGS;
    if (handle->kind != ZIP_HANDLE_UNZIP || !handle->archive) return ZIP_MIXED;
    return ZIP_OK;
}

}  // namespace

ZipHandle* OpenZipInternal(const void* source, DWORD length, DWORD kind, const char* password) {
    auto archive = std::make_unique<CUnzipArchive>(password);
    DWORD result = archive->Open(source, length, kind);
    Store(result);
    if (result != ZIP_OK) return nullptr;
    return new ZipHandle(std::move(archive));
}

ZipHandle* OpenZip(const char* fileName, const char* password) {
    return OpenZipInternal(fileName, 0, ZIP_SOURCE_FILE, password);
}

ZipHandle* OpenZipHandle(HANDLE handle, const char* password) {
    return OpenZipInternal(handle, 0, ZIP_SOURCE_HANDLE, password);
}

ZipHandle* OpenZipMemory(void* buffer, DWORD length, const char* password) {
    return OpenZipInternal(buffer, length, ZIP_SOURCE_MEMORY, password);
}

DWORD GetZipItem(ZipHandle* handle, int index, ZipEntry* entry) {
    if (entry) {
        entry->index = 0;
        entry->name[0] = '\0';
        entry->uncompressedSize = 0;
    }
    if (DWORD result = Check(handle)) return Store(result);
    return Store(handle->archive->Get(index, entry));
}

DWORD FindZipItem(ZipHandle* handle, const char* name, bool ignoreCase, int* index, ZipEntry* entry) {
    if (DWORD result = Check(handle)) return Store(result);
    return Store(handle->archive->Find(name, ignoreCase, index, entry));
}

DWORD UnzipItemGeneric(ZipHandle* handle, int index, void* destination, DWORD length, DWORD kind) {
    if (DWORD result = Check(handle)) return Store(result);
    return Store(handle->archive->Unzip(index, destination, length, kind));
}

DWORD UnzipItem(ZipHandle* handle, int index, const char* fileName) {
    return UnzipItemGeneric(handle, index, const_cast<char*>(fileName), 0, ZIP_SOURCE_FILE);
}

DWORD UnzipItemToHandle(ZipHandle* handle, int index, HANDLE fileHandle) {
    return UnzipItemGeneric(handle, index, fileHandle, 0, ZIP_SOURCE_HANDLE);
}

DWORD UnzipItemToMemory(ZipHandle* handle, int index, void* buffer, DWORD length) {
    return UnzipItemGeneric(handle, index, buffer, length, ZIP_SOURCE_MEMORY);
}

DWORD SetUnzipBaseDir(ZipHandle* handle, const char* folder) {
    if (DWORD result = Check(handle)) return Store(result);
    return Store(handle->archive->SetBaseFolder(folder));
}

DWORD CloseZip(ZipHandle* handle) {
    if (DWORD result = Check(handle)) return Store(result);
    handle->archive->Close();
    delete handle;
    return Store(ZIP_OK);
}

unsigned int FormatZipMessage(DWORD code, char* buffer, unsigned int size) {
    if (code == ZIP_LAST_RESULT) code = lastUnzipResult;
    return CopyZipMessage(ZipResultText(code, false), buffer, size);
}

bool IsUnzipHandle(const ZipHandle* handle) { return handle && handle->kind == ZIP_HANDLE_UNZIP; }
