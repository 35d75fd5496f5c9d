#include "config/ZipWriter.h"

#include <atomic>
#include <memory>

#include "config/CZipWriter.h"

namespace {

std::atomic<DWORD> lastZipWriterResult{ZIP_OK};

DWORD Store(DWORD result) {
    lastZipWriterResult = result;
    return result;
}

DWORD Check(const ZipHandle* handle) {
    if (!handle) return ZIP_ARGS;
    if (handle->kind != ZIP_HANDLE_ZIP || !handle->writer) return ZIP_MIXED;
    return ZIP_OK;
}

}  // namespace

ZipHandle* CreateZipInternal(void* target, DWORD size, DWORD kind, const char* password) {
    auto writer = std::make_unique<CZipWriter>(password);
    DWORD result = writer->Create(target, size, kind);
    Store(result);
    if (result != ZIP_OK) return nullptr;
    return new ZipHandle(std::move(writer));
}

ZipHandle* CreateZip(const char* fileName, const char* password) {
    return CreateZipInternal(const_cast<char*>(fileName), 0, ZIP_SOURCE_FILE, password);
}

ZipHandle* CreateZipHandle(HANDLE handle, const char* password) {
    return CreateZipInternal(handle, 0, ZIP_SOURCE_HANDLE, password);
}

ZipHandle* CreateZipMemory(void* block, DWORD size, const char* password) {
    return CreateZipInternal(block, size, ZIP_SOURCE_MEMORY, password);
}

DWORD AddZipItemGeneric(ZipHandle* handle, const char* name, const void* source, DWORD length, DWORD kind) {
    if (DWORD result = Check(handle)) return Store(result);
    return Store(handle->writer->Add(name, source, length, kind));
}

DWORD AddZipItem(ZipHandle* handle, const char* name, const char* fileName) {
    return AddZipItemGeneric(handle, name, fileName, 0, ZIP_SOURCE_FILE);
}

DWORD AddZipItemHandle(ZipHandle* handle, const char* name, HANDLE source) {
    return AddZipItemGeneric(handle, name, source, 0, ZIP_SOURCE_HANDLE);
}

DWORD AddZipItemHandleSized(ZipHandle* handle, const char* name, HANDLE source, DWORD size) {
    return AddZipItemGeneric(handle, name, source, size, ZIP_SOURCE_HANDLE);
}

DWORD AddZipItemMemory(ZipHandle* handle, const char* name, const void* block, DWORD length) {
    return AddZipItemGeneric(handle, name, block, length, ZIP_SOURCE_MEMORY);
}

DWORD AddZipFolder(ZipHandle* handle, const char* name) {
    return AddZipItemGeneric(handle, name, nullptr, 0, ZIP_SOURCE_FOLDER);
}

DWORD GetZipMemory(ZipHandle* handle, void** block, DWORD* length) {
    if (!handle) {
        if (block) *block = nullptr;
        if (length) *length = 0;
    }
    if (DWORD result = Check(handle)) return Store(result);
    return Store(handle->writer->GetMemory(block, length));
}

DWORD CloseZipWriter(ZipHandle* handle) {
    if (DWORD result = Check(handle)) return Store(result);
    DWORD result = handle->writer->Close();
    delete handle;
    return Store(result);
}

unsigned int FormatZipWriterMessage(DWORD code, char* buffer, unsigned int size) {
    if (code == ZIP_LAST_RESULT) code = lastZipWriterResult;
    return CopyZipMessage(ZipResultText(code, true), buffer, size);
}

bool IsZipWriterHandle(const ZipHandle* handle) { return handle && handle->kind == ZIP_HANDLE_ZIP; }
