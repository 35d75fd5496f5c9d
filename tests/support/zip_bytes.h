// Zip archives built byte by byte for the reader's tests, so that a test can
// give an item any name, host, attributes, extra field or damage it needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ziptest {

struct RawItem {
    explicit RawItem(std::string name, std::string data = "") : name(std::move(name)), data(std::move(data)) {}
    RawItem& Deflated() { deflate = true; return *this; }
    RawItem& Host(std::uint16_t madeBy, std::uint32_t attributes) {
        versionMadeBy = madeBy;
        external = attributes;
        return *this;
    }
    RawItem& Attributes(std::uint32_t attributes) { external = attributes; return *this; }
    RawItem& Extra(std::string extra) { localExtra = std::move(extra); return *this; }
    RawItem& BadCrc() { badCrc = true; return *this; }

    std::string name;
    std::string data;
    bool deflate = false;
    std::uint16_t versionMadeBy = 0x0014;  // host 0: DOS attributes
    std::uint32_t external = 0x20;
    std::uint32_t dosDateTime = (((2024 - 1980) << 9 | 5 << 5 | 17) << 16) | (10 << 11 | 20 << 5 | 15);
    std::string localExtra;
    bool badCrc = false;
};

std::string BuildZip(const std::vector<RawItem>& items);
std::string RawDeflate(const std::string& data);
// An extra field: header id, little-endian data size, data.
std::string ExtraField(const std::string& id, const std::string& data, int announcedSize = -1);
std::string Le16(std::uint32_t value);
std::string Le32(std::uint32_t value);

// What a reader sees of one item: its central header, its local flags, and
// whether a data descriptor follows its data.
struct ParsedItem {
    std::string name;
    std::uint16_t localFlags = 0;
    std::uint16_t centralFlags = 0;
    std::uint16_t method = 0;
    std::uint32_t dosDateTime = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t localCompressedSize = 0;
    std::uint32_t external = 0;
    std::uint32_t offset = 0;
    bool dataDescriptor = false;
};
// Empty when the bytes hold no end record.
std::vector<ParsedItem> ParseZip(const std::string& archive);

}  // namespace ziptest
