// One zip archive opened for reading, over minizip and the input layer.
#pragma once

#include <minizip/unzip.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/CEncryptedItemReader.h"
#include "config/ZipEntry.h"
#include "platform/types.h"

class CUnzipArchive {
public:
    // `password` may be null.
    explicit CUnzipArchive(const char* password);
    ~CUnzipArchive();
    CUnzipArchive(const CUnzipArchive&) = delete;
    CUnzipArchive& operator=(const CUnzipArchive&) = delete;

    // `kind`: 1 handle, 2 file name, 3 memory block of `length` bytes.
    DWORD Open(const void* source, DWORD length, DWORD kind);
    // Index -1 asks for the number of items.
    DWORD Get(int index, ZipEntry* entry);
    DWORD Find(const char* name, bool ignoreCase, int* index, ZipEntry* entry);
    // `kind`: 1 handle, 2 file name (relative to the base folder unless
    // absolute), 3 memory block of `length` bytes.
    DWORD Unzip(int index, void* destination, DWORD length, DWORD kind);
    DWORD SetBaseFolder(const char* folder);
    DWORD Close();

private:
    int ItemCount();
    int CurrentNumber();
    DWORD PositionOn(int index);
    DWORD OpenItem();
    int ReadItem(void* buffer, unsigned int length);
    bool ItemAtEnd();
    // Closes the item open for reading; ZIP_CORRUPT when it was read to its
    // end and failed its CRC.
    DWORD CloseItem();
    DWORD UnzipToMemory(int index, void* destination, DWORD length);
    DWORD UnzipToFile(int index, void* destination, DWORD kind);
    DWORD CopyItem(HANDLE output, const ZipEntry& entry);
    static DWORD PutInPlace(const std::string& temporary, const std::string& full, DWORD itemAttributes);
    static void EnsureFolder(const std::string* base, const std::string& path);

    unzFile m_archive = nullptr;
    bool m_empty = false;  // an archive of an end record alone, which minizip does not open
    std::unique_ptr<CEncryptedItemReader> m_encrypted;
    int m_currentItem = -1;
    std::uint32_t m_itemCrc = 0;    // the CRC the open item's entry states
    std::uint32_t m_memoryCrc = 0;  // of what extraction to memory has handed out of it
    ZipEntry m_cachedEntry{};
    unz_file_info64 m_cachedInfo{};  // minizip's information of the cached entry
    int m_cachedIndex = -1;
    std::optional<std::string> m_password;
    std::vector<std::uint8_t> m_buffer;
    std::string m_baseFolder;
};
