// One zip archive being written to a file, a caller's handle or memory.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/CZipCrypto.h"
#include "config/ZipWriterEntry.h"
#include "platform/types.h"

class CZipWriter {
public:
    // An empty password counts as none.
    explicit CZipWriter(const char* password);
    ~CZipWriter();
    CZipWriter(const CZipWriter&) = delete;
    CZipWriter& operator=(const CZipWriter&) = delete;

    // `kind`: 1 caller's handle, 2 file name, 3 memory (the caller's block,
    // or a page-file-backed mapping of `size` bytes when `target` is null).
    DWORD Create(void* target, DWORD size, DWORD kind);
    // `kind`: 1 handle (`length` announces a stream's size, 0 for none), 2 file
    // name, 3 memory block of `length` bytes, 4 folder (no source).
    DWORD Add(const char* name, const void* source, DWORD length, DWORD kind);
    // Finishes the archive and hands out the memory block and the archive length.
    DWORD GetMemory(void** block, DWORD* length);
    DWORD Close();

private:
    struct CurrentInput {
        std::uint32_t attributes = 0;
        std::int64_t accessTime = 0;  // seconds since 1970
        std::int64_t writeTime = 0;
        std::int64_t creationTime = 0;
        std::uint32_t dosDateTime = 0;
        bool seekable = false;
        std::int64_t announcedSize = -1;
        std::uint32_t bytesRead = 0;
        std::uint32_t crc = 0;
        HANDLE handle = nullptr;
        bool ownsHandle = false;
        const std::uint8_t* memory = nullptr;
        std::uint32_t memoryLength = 0;
        std::uint32_t memoryPosition = 0;
        std::uint32_t compressedSize = 0;
    };

    DWORD OpenInput(const void* source, DWORD length, DWORD kind);
    DWORD GetInputFileInfo(HANDLE handle);
    void TakeCurrentLocalTime();
    DWORD ReadInput(std::uint8_t* buffer, DWORD size);
    void CloseInput();
    DWORD Write(const void* data, DWORD length);
    DWORD WriteBytes(const std::vector<std::uint8_t>& bytes);
    bool Seek(DWORD position);
    bool StoreData(bool* shortWrite);
    bool DeflateData(bool* shortWrite, bool* compressorFailed);
    DWORD AddCentral();
    std::uint32_t Random();
    void Release();

    std::optional<std::string> m_password;
    HANDLE m_output = nullptr;
    bool m_ownsOutput = false;
    HANDLE m_mapping = nullptr;
    DWORD m_startOffset = 0;
    DWORD m_writeError = 0;
    DWORD m_written = 0;
    bool m_seekable = false;
    std::uint8_t* m_memory = nullptr;
    DWORD m_memoryPosition = 0;
    DWORD m_memorySize = 0;
    bool m_centralWritten = false;
    bool m_encrypting = false;
    std::optional<CZipCrypto> m_keys;
    std::vector<std::uint8_t> m_cryptBuffer;
    std::vector<ZipWriterEntry> m_entries;
    std::unique_ptr<z_stream> m_deflate;
    CurrentInput m_input;
    std::vector<std::uint8_t> m_work;
    std::uint32_t m_random = 0;
};

// True when the name's suffix marks an already compressed kind, stored as it is.
bool HasZipSuffix(const char* name);
