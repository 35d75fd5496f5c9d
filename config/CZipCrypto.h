// Traditional PKWARE encryption: the three keys and their byte steps.
#pragma once

#include <cstdint>
#include <string>

class CZipCrypto {
public:
    explicit CZipCrypto(const std::string& password);

    std::uint8_t Encrypt(std::uint8_t plain);
    std::uint8_t Decrypt(std::uint8_t cipher);

private:
    std::uint8_t KeyByte() const;
    void Update(std::uint8_t plain);

    std::uint32_t m_keys[3];
};
