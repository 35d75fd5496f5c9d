#include "config/CEncryptedItemReader.h"

#include <cstring>

#include "config/ZipResult.h"

namespace {
constexpr unsigned int kInputPiece = 16384;
}

CEncryptedItemReader::CEncryptedItemReader(unzFile archive, const unz_file_info64& info, const std::string& password)
    : m_archive(archive), m_info(info), m_keys(password) {}

CEncryptedItemReader::~CEncryptedItemReader() {
    if (m_inflate) inflateEnd(m_inflate.get());
    if (m_open) unzCloseCurrentFile(m_archive);
}

DWORD CEncryptedItemReader::Open() {
    if (m_info.compression_method != 0 && m_info.compression_method != Z_DEFLATED) return ZIP_CORRUPT;
    if (unzOpenCurrentFile3(m_archive, nullptr, nullptr, 1, nullptr) != UNZ_OK) return ZIP_CORRUPT;
    m_open = true;
    std::uint8_t header[12];
    if (unzReadCurrentFile(m_archive, header, sizeof header) != static_cast<int>(sizeof header)) return ZIP_CORRUPT;
    for (std::uint8_t& byte : header) byte = m_keys.Decrypt(byte);
    // The last header byte repeats the CRC's high byte, or the time's when the
    // sizes follow the data.
    const std::uint8_t expected = (m_info.flag & 8) ? static_cast<std::uint8_t>(m_info.dosDate >> 8)
                                                    : static_cast<std::uint8_t>(m_info.crc >> 24);
    if (header[11] != expected) return ZIP_PASSWORD;
    if (m_info.compression_method == Z_DEFLATED) {
        m_inflate = std::make_unique<z_stream>();
        std::memset(m_inflate.get(), 0, sizeof(z_stream));
        if (inflateInit2(m_inflate.get(), -MAX_WBITS) != Z_OK) {
            m_inflate.reset();
            return ZIP_CORRUPT;
        }
        m_input.resize(kInputPiece);
    }
    m_remaining = m_info.uncompressed_size;
    m_crc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
    return ZIP_OK;
}

int CEncryptedItemReader::ReadRaw(std::uint8_t* buffer, unsigned int length) {
    int got = unzReadCurrentFile(m_archive, buffer, length);
    for (int i = 0; i < got; ++i) buffer[i] = m_keys.Decrypt(buffer[i]);
    return got;
}

int CEncryptedItemReader::Read(void* buffer, unsigned int length) {
    if (!m_open) return UNZ_PARAMERROR;
    std::uint8_t* out = static_cast<std::uint8_t*>(buffer);
    const unsigned int wanted = m_remaining < length ? static_cast<unsigned int>(m_remaining) : length;
    unsigned int produced = 0;
    if (!m_inflate) {
        int got = wanted ? ReadRaw(out, wanted) : 0;
        if (got < 0) return got;
        m_crc = static_cast<std::uint32_t>(crc32(m_crc, out, static_cast<uInt>(got)));
        m_remaining -= static_cast<unsigned int>(got);
        return got == 0 && wanted > 0 ? UNZ_BADZIPFILE : got;  // 0 with data left: the item ended early
    }
    {
        z_stream& stream = *m_inflate;
        while (produced < wanted) {
            if (stream.avail_in == 0) {
                int got = ReadRaw(m_input.data(), kInputPiece);
                if (got < 0) return got;
                if (got == 0) return produced ? static_cast<int>(produced) : UNZ_BADZIPFILE;
                stream.next_in = m_input.data();
                stream.avail_in = static_cast<uInt>(got);
            }
            stream.next_out = out + produced;
            stream.avail_out = wanted - produced;
            const int result = inflate(&stream, Z_SYNC_FLUSH);
            const unsigned int made = (wanted - produced) - stream.avail_out;
            m_crc = static_cast<std::uint32_t>(crc32(m_crc, out + produced, made));
            m_remaining -= made;
            produced += made;
            if (result == Z_STREAM_END) {
                if (produced < wanted) return UNZ_BADZIPFILE;  // shorter than its stated size
                break;
            }
            if (result != Z_OK && result != Z_BUF_ERROR) return UNZ_BADZIPFILE;
            if (made == 0 && stream.avail_in != 0) return UNZ_BADZIPFILE;  // no progress possible
        }
    }
    return static_cast<int>(produced);
}

DWORD CEncryptedItemReader::Close() {
    if (m_open) unzCloseCurrentFile(m_archive);
    m_open = false;
    return m_remaining == 0 && m_crc != static_cast<std::uint32_t>(m_info.crc) ? ZIP_CORRUPT : ZIP_OK;
}
