#include "tests/support/zip_bytes.h"

#include <zlib.h>

#include <cstring>

namespace ziptest {

std::string Le16(std::uint32_t value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string Le32(std::uint32_t value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }

std::string RawDeflate(const std::string& data) {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string ExtraField(const std::string& id, const std::string& data, int announcedSize) {
    return id + Le16(announcedSize < 0 ? static_cast<std::uint32_t>(data.size()) : announcedSize) + data;
}

std::string BuildZip(const std::vector<RawItem>& items) {
    std::string out;
    std::string central;
    for (const RawItem& item : items) {
        std::uint32_t crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(item.data.data()), static_cast<uInt>(item.data.size())));
        if (item.badCrc) crc ^= 0x5A5A5A5A;
        const std::string body = item.deflate ? RawDeflate(item.data) : item.data;
        const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
        const std::uint16_t method = item.deflate ? 8 : 0;
        out += Le32(0x04034B50) + Le16(20) + Le16(0) + Le16(method) + Le32(item.dosDateTime) + Le32(crc) +
               Le32(static_cast<std::uint32_t>(body.size())) + Le32(static_cast<std::uint32_t>(item.data.size())) +
               Le16(static_cast<std::uint32_t>(item.name.size())) +
               Le16(static_cast<std::uint32_t>(item.localExtra.size())) + item.name + item.localExtra + body;
        central += Le32(0x02014B50) + Le16(item.versionMadeBy) + Le16(20) + Le16(0) + Le16(method) +
                   Le32(item.dosDateTime) + Le32(crc) + Le32(static_cast<std::uint32_t>(body.size())) +
                   Le32(static_cast<std::uint32_t>(item.data.size())) +
                   Le16(static_cast<std::uint32_t>(item.name.size())) + Le16(0) + Le16(0) + Le16(0) + Le16(0) +
                   Le32(item.external) + Le32(offset) + item.name;
    }
    const std::uint32_t centralOffset = static_cast<std::uint32_t>(out.size());
    out += central;
    out += Le32(0x06054B50) + Le16(0) + Le16(0) + Le16(static_cast<std::uint32_t>(items.size())) +
           Le16(static_cast<std::uint32_t>(items.size())) + Le32(static_cast<std::uint32_t>(central.size())) +
           Le32(centralOffset) + Le16(0);
    return out;
}

namespace {
std::uint32_t Get(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    return value;
}
}  // namespace

std::vector<ParsedItem> ParseZip(const std::string& archive) {
    std::vector<ParsedItem> items;
    if (archive.size() < 22) return items;
    const std::size_t end = archive.size() - 22;
    if (Get(archive, end, 4) != 0x06054B50) return items;
    const std::uint32_t count = Get(archive, end + 10, 2);
    std::size_t at = Get(archive, end + 16, 4);
    for (std::uint32_t i = 0; i < count && at + 46 <= archive.size(); ++i) {
        ParsedItem item;
        item.centralFlags = static_cast<std::uint16_t>(Get(archive, at + 8, 2));
        item.method = static_cast<std::uint16_t>(Get(archive, at + 10, 2));
        item.dosDateTime = Get(archive, at + 12, 4);
        item.crc = Get(archive, at + 16, 4);
        item.compressedSize = Get(archive, at + 20, 4);
        item.uncompressedSize = Get(archive, at + 24, 4);
        const std::uint32_t nameLength = Get(archive, at + 28, 2);
        const std::uint32_t extraLength = Get(archive, at + 30, 2);
        const std::uint32_t commentLength = Get(archive, at + 32, 2);
        item.external = Get(archive, at + 38, 4);
        item.offset = Get(archive, at + 42, 4);
        item.name = archive.substr(at + 46, nameLength);
        item.localFlags = static_cast<std::uint16_t>(Get(archive, item.offset + 6, 2));
        item.localCompressedSize = Get(archive, item.offset + 18, 4);
        const std::size_t data =
            item.offset + 30 + Get(archive, item.offset + 26, 2) + Get(archive, item.offset + 28, 2);
        item.dataDescriptor = Get(archive, data + item.compressedSize, 4) == 0x08074B50;
        items.push_back(item);
        at += 46 + nameLength + extraLength + commentLength;
    }
    return items;
}

}  // namespace ziptest
