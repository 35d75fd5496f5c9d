// One written item's header data, kept until the central directory is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipWriterEntry {
    std::uint16_t versionMadeBy = 0x0B17;
    std::uint16_t versionNeeded = 20;
    std::uint16_t centralFlags = 0;
    std::uint16_t localFlags = 0;
    std::uint16_t method = 0;  // 0 stored, 8 deflated
    std::uint32_t dosDateTime = 0;  // time in the low half, date in the high half
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t diskNumber = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t localHeaderOffset = 0;  // including the output's start offset
    std::string name;  // "/" as separator
    std::vector<std::uint8_t> localExtra;
    std::vector<std::uint8_t> centralExtra;
    std::string comment;
};
