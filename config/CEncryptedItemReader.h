// Reads one item encrypted with traditional PKWARE encryption: minizip hands
// over its raw bytes, this reader decrypts them and inflates them with zlib.
// minizip as packaged is built without decryption (it refuses any password),
// and its cipher header does not build against zlib's CRC table type.
#pragma once

#include <minizip/unzip.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/CZipCrypto.h"
#include "platform/types.h"

class CEncryptedItemReader {
public:
    // `archive` is positioned on the item that `info` describes.
    CEncryptedItemReader(unzFile archive, const unz_file_info64& info, const std::string& password);
    ~CEncryptedItemReader();
    CEncryptedItemReader(const CEncryptedItemReader&) = delete;
    CEncryptedItemReader& operator=(const CEncryptedItemReader&) = delete;

    // ZIP_PASSWORD when the encryption header does not match the password.
    DWORD Open();
    // As minizip's read: bytes copied, 0 at the end, negative on a failure.
    int Read(void* buffer, unsigned int length);
    bool AtEnd() const { return m_remaining == 0; }
    // ZIP_CORRUPT when the whole item was read and its CRC does not match.
    DWORD Close();

private:
    int ReadRaw(std::uint8_t* buffer, unsigned int length);

    unzFile m_archive;
    unz_file_info64 m_info;
    CZipCrypto m_keys;
    bool m_open = false;
    std::unique_ptr<z_stream> m_inflate;
    std::vector<std::uint8_t> m_input;
    std::uint64_t m_remaining = 0;
    std::uint32_t m_crc = 0;
};
