#include "config/CZipCrypto.h"

#include <zlib.h>

namespace {
std::uint32_t Crc32Byte(std::uint32_t crc, std::uint8_t byte) {
    const z_crc_t* table = get_crc_table();
    return table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}
}  // namespace

CZipCrypto::CZipCrypto(const std::string& password) : m_keys{0x12345678, 0x23456789, 0x34567890} {
    for (char c : password) Update(static_cast<std::uint8_t>(c));
}

std::uint8_t CZipCrypto::KeyByte() const {
    std::uint32_t temp = (m_keys[2] | 2) & 0xFFFF;
    return static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
}

void CZipCrypto::Update(std::uint8_t plain) {
    m_keys[0] = Crc32Byte(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
    m_keys[2] = Crc32Byte(m_keys[2], static_cast<std::uint8_t>(m_keys[1] >> 24));
}

std::uint8_t CZipCrypto::Encrypt(std::uint8_t plain) {
    std::uint8_t cipher = plain ^ KeyByte();
    Update(plain);
    return cipher;
}

std::uint8_t CZipCrypto::Decrypt(std::uint8_t cipher) {
    std::uint8_t plain = cipher ^ KeyByte();
    Update(plain);
    return plain;
}
