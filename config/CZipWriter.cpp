#include "config/CZipWriter.h"

#include <cctype>
#include <cstring>
#include <string_view>

#include "config/ZipHandle.h"
#include "config/ZipResult.h"
#include "config/ZipTime.h"
#include "platform/file_info.h"
#include "platform/file_mapping.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "platform/window.h"

namespace {

constexpr DWORD kWorkBuffer = 16384;
constexpr std::uint32_t kStreamAttributes = 0x80000000;  // a regular file, no facts known
constexpr std::uint32_t kFolderAttributes = 0x41C00010;  // a folder, rwx for its owner
constexpr std::uint16_t kFlagEncrypted = 1;
constexpr std::uint16_t kFlagMaximumDeflate = 2;
constexpr std::uint16_t kFlagDataDescriptor = 8;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::vector<std::uint8_t> LocalHeader(const ZipWriterEntry& entry) {
    std::vector<std::uint8_t> out;
    Put32(out, 0x04034B50);
    Put16(out, entry.versionNeeded);
    Put16(out, entry.localFlags);
    Put16(out, entry.method);
    Put32(out, entry.dosDateTime);
    Put32(out, entry.crc);
    Put32(out, entry.compressedSize);
    Put32(out, entry.uncompressedSize);
    Put16(out, static_cast<std::uint32_t>(entry.name.size()));
    Put16(out, static_cast<std::uint32_t>(entry.localExtra.size()));
    return out;
}

std::vector<std::uint8_t> CentralHeader(const ZipWriterEntry& entry) {
    std::vector<std::uint8_t> out;
    Put32(out, 0x02014B50);
    Put16(out, entry.versionMadeBy);
    Put16(out, entry.versionNeeded);
    Put16(out, entry.centralFlags);
    Put16(out, entry.method);
    Put32(out, entry.dosDateTime);
    Put32(out, entry.crc);
    Put32(out, entry.compressedSize);
    Put32(out, entry.uncompressedSize);
    Put16(out, static_cast<std::uint32_t>(entry.name.size()));
    Put16(out, static_cast<std::uint32_t>(entry.centralExtra.size()));
    Put16(out, static_cast<std::uint32_t>(entry.comment.size()));
    Put16(out, entry.diskNumber);
    Put16(out, entry.internalAttributes);
    Put32(out, entry.externalAttributes);
    Put32(out, entry.localHeaderOffset);
    out.insert(out.end(), entry.name.begin(), entry.name.end());
    out.insert(out.end(), entry.centralExtra.begin(), entry.centralExtra.end());
    return out;
}

bool SeekHandle(HANDLE handle, std::int64_t position, DWORD method, std::int64_t* result) {
    LONG high = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(static_cast<DWORD>(position)), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return false;
    if (result) *result = static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low);
    return true;
}

bool ReadAt(HANDLE handle, DWORD offset, void* buffer, DWORD size) {
    DWORD got = 0;
    return SeekHandle(handle, offset, FILE_BEGIN, nullptr) && ReadFile(handle, buffer, size, &got, nullptr) &&
           got == size;
}

std::uint32_t Little(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

}  // namespace

bool HasZipSuffix(const char* name) {
    if (!name) return false;
    const char* dot = std::strrchr(name, '.');
    if (!dot) return false;
    static const char* const stored[] = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};
    for (const char* suffix : stored) {
        if (std::strlen(suffix) != std::strlen(dot)) continue;
        bool same = true;
        for (std::size_t i = 0; suffix[i] && same; ++i)
            same = std::tolower(static_cast<unsigned char>(suffix[i])) == std::tolower(static_cast<unsigned char>(dot[i]));
        if (same) return true;
    }
    return false;
}

CZipWriter::CZipWriter(const char* password) : m_work(kWorkBuffer) {
    if (password && *password) m_password = password;
}

CZipWriter::~CZipWriter() {
    Release();
    if (m_deflate) deflateEnd(m_deflate.get());
}

void CZipWriter::Release() {
    if (m_mapping) {
        if (m_memory) UnmapViewOfFile(m_memory);
        CloseHandle(m_mapping);
        m_mapping = nullptr;
        m_memory = nullptr;
    }
    if (m_ownsOutput && m_output) CloseHandle(m_output);
    m_output = nullptr;
    m_ownsOutput = false;
    CloseInput();
}

DWORD CZipWriter::Create(void* target, DWORD size, DWORD kind) {
    if (m_output || m_mapping || m_memory || m_written || m_writeError || m_centralWritten) return ZIP_NOT_INITED;
    switch (kind) {
        case ZIP_SOURCE_HANDLE: {
            if (!target || target == INVALID_HANDLE_VALUE) return ZIP_ARGS;
            m_output = target;
            std::int64_t position = 0;
            m_seekable = SeekHandle(m_output, 0, FILE_CURRENT, &position);
            m_startOffset = m_seekable ? static_cast<DWORD>(position) : 0;
            return ZIP_OK;
        }
        case ZIP_SOURCE_FILE: {
            if (!target) return ZIP_ARGS;
            HANDLE file = CreateFileA(static_cast<const char*>(target), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) return ZIP_NO_FILE;
            m_output = file;
            m_ownsOutput = true;
            m_seekable = true;
            m_startOffset = 0;
            return ZIP_OK;
        }
        case ZIP_SOURCE_MEMORY: {
            if (size == 0) return ZIP_MEMORY_SIZE;
            if (target) {
                m_memory = static_cast<std::uint8_t*>(target);
            } else {
                m_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, nullptr);
                if (!m_mapping) return ZIP_NO_ALLOC;
                m_memory = static_cast<std::uint8_t*>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, size));
                if (!m_memory) {
                    CloseHandle(m_mapping);
                    m_mapping = nullptr;
                    return ZIP_NO_ALLOC;
                }
            }
            m_seekable = true;
            m_memoryPosition = 0;
            m_memorySize = size;
            return ZIP_OK;
        }
        default:
            return ZIP_ARGS;
    }
}

std::uint32_t CZipWriter::Random() {
    m_random = m_random * 214013u + 2531011u;
    return (m_random >> 16) & 0x7FFF;
}

void CZipWriter::TakeCurrentLocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    FILETIME time{};
    SystemTimeToFileTime(&now, &time);
    m_input.accessTime = m_input.writeTime = m_input.creationTime = FileTimeToTimeT(time);
    m_input.dosDateTime = FileTimeToDosDateTime(time);
}

DWORD CZipWriter::GetInputFileInfo(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return ZIP_NO_FILE;
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    std::uint32_t attributes = (info.dwFileAttributes & 0x37) | (folder ? 0x40000000u : 0x80000000u) | 0x01000000u;
    if (!readOnly) attributes |= 0x00800000u;
    const DWORD size = info.nFileSizeLow;
    if (size > 40) {
        std::uint8_t first[2];
        std::uint8_t offset[4];
        if (ReadAt(handle, 0, first, 2) && ReadAt(handle, 36, offset, 4) && Little(first, 2) == 0x54AD) {
            const std::uint64_t at = Little(offset, 4);
            std::uint8_t mark[4];
            if (at + 52 < size && ReadAt(handle, static_cast<DWORD>(at), mark, 4)) {
                const std::uint32_t value = Little(mark, 4);
                if (value == 0x5A4D || value == 0x454C || value == 0x454E || value == 0x4550) attributes |= 0x00400000u;
            }
        }
    }
    m_input.attributes = attributes;
    m_input.announcedSize = size;
    m_input.accessTime = FileTimeToTimeT(info.ftLastAccessTime);
    m_input.writeTime = FileTimeToTimeT(info.ftLastWriteTime);
    m_input.creationTime = FileTimeToTimeT(info.ftCreationTime);
    m_input.dosDateTime = FileTimeToDosDateTime(info.ftLastWriteTime);
    return ZIP_OK;
}

DWORD CZipWriter::OpenInput(const void* source, DWORD length, DWORD kind) {
    m_input = CurrentInput{};
    m_input.crc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
    switch (kind) {
        case ZIP_SOURCE_FILE: {
            if (!source) return ZIP_ARGS;
            HANDLE file = CreateFileA(static_cast<const char*>(source), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) return ZIP_NO_FILE;
            DWORD result = OpenInput(file, 0, ZIP_SOURCE_HANDLE);
            m_input.ownsHandle = true;
            if (result != ZIP_OK) CloseInput();
            return result;
        }
        case ZIP_SOURCE_HANDLE: {
            HANDLE handle = const_cast<HANDLE>(source);
            if (!handle || handle == INVALID_HANDLE_VALUE) return ZIP_ARGS;
            m_input.handle = handle;
            if (SeekHandle(handle, 0, FILE_CURRENT, nullptr)) {
                if (DWORD result = GetInputFileInfo(handle)) return result;
                SeekHandle(handle, 0, FILE_BEGIN, nullptr);
                m_input.seekable = true;
            } else {
                m_input.attributes = kStreamAttributes;
                m_input.announcedSize = length ? static_cast<std::int64_t>(length) : -1;
                TakeCurrentLocalTime();
            }
            return ZIP_OK;
        }
        case ZIP_SOURCE_MEMORY:
            if (!source || length == 0) return ZIP_ARGS;
            m_input.memory = static_cast<const std::uint8_t*>(source);
            m_input.memoryLength = length;
            m_input.attributes = kStreamAttributes;
            m_input.announcedSize = length;
            m_input.seekable = true;
            TakeCurrentLocalTime();
            return ZIP_OK;
        case ZIP_SOURCE_FOLDER:
            m_input.attributes = kFolderAttributes;
            m_input.announcedSize = 0;
            TakeCurrentLocalTime();
            return ZIP_OK;
        default:
            return ZIP_ARGS;
    }
}

DWORD CZipWriter::ReadInput(std::uint8_t* buffer, DWORD size) {
    DWORD got = 0;
    if (m_input.handle) {
        if (!ReadFile(m_input.handle, buffer, size, &got, nullptr)) got = 0;
    } else if (m_input.memory) {
        const DWORD left = m_input.memoryLength - m_input.memoryPosition;
        got = size < left ? size : left;
        if (got) std::memcpy(buffer, m_input.memory + m_input.memoryPosition, got);
        m_input.memoryPosition += got;
    }
    if (got) m_input.crc = static_cast<std::uint32_t>(crc32(m_input.crc, buffer, got));
    m_input.bytesRead += got;
    return got;
}

void CZipWriter::CloseInput() {
    if (m_input.ownsHandle && m_input.handle) CloseHandle(m_input.handle);
    m_input.handle = nullptr;
    m_input.ownsHandle = false;
}

DWORD CZipWriter::Write(const void* data, DWORD length) {
    const std::uint8_t* bytes = static_cast<const std::uint8_t*>(data);
    if (m_encrypting && m_keys) {
        if (m_cryptBuffer.size() < length) m_cryptBuffer.resize(static_cast<std::size_t>(length) * 2);
        for (DWORD i = 0; i < length; ++i) m_cryptBuffer[i] = m_keys->Encrypt(bytes[i]);
        bytes = m_cryptBuffer.data();
    }
    if (m_memory) {
        // A write may fill the block up to its last byte.
        if (static_cast<std::uint64_t>(m_memoryPosition) + length > m_memorySize) {
            m_writeError = ZIP_MEMORY_SIZE;
            return 0;
        }
        if (length) std::memcpy(m_memory + m_memoryPosition, bytes, length);
        m_memoryPosition += length;
        return length;
    }
    if (m_output) {
        DWORD written = 0;
        WriteFile(m_output, bytes, length, &written, nullptr);
        return written;
    }
    m_writeError = ZIP_NOT_INITED;
    return 0;
}

DWORD CZipWriter::WriteBytes(const std::vector<std::uint8_t>& bytes) {
    DWORD written = 0;
    for (std::uint8_t byte : bytes) written += Write(&byte, 1);
    return written;
}

bool CZipWriter::Seek(DWORD position) {
    if (!m_seekable) {
        m_writeError = ZIP_SEEK;
        return false;
    }
    if (m_memory) {
        if (position > m_memorySize) {
            m_writeError = ZIP_MEMORY_SIZE;
            return false;
        }
        m_memoryPosition = position;
        return true;
    }
    if (m_output && SeekHandle(m_output, static_cast<std::int64_t>(position) + m_startOffset, FILE_BEGIN, nullptr))
        return true;
    m_writeError = ZIP_SEEK;
    return false;
}

bool CZipWriter::StoreData(bool* shortWrite) {
    std::uint32_t total = 0;
    for (;;) {
        const DWORD got = ReadInput(m_work.data(), kWorkBuffer);
        if (got == 0) break;
        const DWORD written = Write(m_work.data(), got);
        total += written;
        if (written != got) {
            *shortWrite = true;
            break;
        }
    }
    m_input.compressedSize = total;
    return !*shortWrite;
}

bool CZipWriter::DeflateData(bool* shortWrite, bool* compressorFailed) {
    if (!m_deflate) {
        auto stream = std::make_unique<z_stream>();
        std::memset(stream.get(), 0, sizeof(z_stream));
        if (deflateInit2(stream.get(), 8, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            *compressorFailed = true;
            return false;
        }
        deflateTune(stream.get(), 32, 128, 258, 1024);
        m_deflate = std::move(stream);
    } else if (deflateReset(m_deflate.get()) != Z_OK) {
        *compressorFailed = true;
        return false;
    }
    z_stream& stream = *m_deflate;
    std::vector<std::uint8_t> piece(kWorkBuffer);
    std::uint32_t total = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        const DWORD got = ReadInput(piece.data(), kWorkBuffer);
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = piece.data();
        stream.avail_in = got;
        do {
            stream.next_out = m_work.data();
            stream.avail_out = kWorkBuffer;
            if (deflate(&stream, flush) == Z_STREAM_ERROR) {
                *compressorFailed = true;
                m_input.compressedSize = total;
                return false;
            }
            const DWORD have = kWorkBuffer - stream.avail_out;
            if (have) {
                const DWORD written = Write(m_work.data(), have);
                total += written;
                if (written != have) {
                    *shortWrite = true;
                    m_input.compressedSize = total;
                    return false;
                }
            }
        } while (stream.avail_out == 0);
    }
    m_input.compressedSize = total;
    return true;
}

DWORD CZipWriter::Add(const char* name, const void* source, DWORD length, DWORD kind) {
    if (m_writeError) return ZIP_FAILED;
    if (m_centralWritten) return ZIP_ENDED;
    const bool encrypted = m_password && kind != ZIP_SOURCE_FOLDER;
    const std::uint32_t encryptionHeader = encrypted ? 12 : 0;

    if (!name || !*name) return ZIP_ARGS;
    std::string stored = name;
    for (char& c : stored)
        if (c == '\\') c = '/';
    if (kind == ZIP_SOURCE_FOLDER && stored.back() != '/') stored += '/';
    if (stored.size() >= MAX_PATH) return ZIP_ARGS;
    const std::uint16_t method = kind == ZIP_SOURCE_FOLDER || HasZipSuffix(stored.c_str()) ? 0 : 8;

    if (kind < ZIP_SOURCE_HANDLE || kind > ZIP_SOURCE_FOLDER) return ZIP_ARGS;
    if (DWORD result = OpenInput(source, length, kind)) return result;

    ZipWriterEntry entry;
    entry.localFlags = entry.centralFlags = encrypted ? (kFlagDataDescriptor | kFlagEncrypted) : kFlagDataDescriptor;
    entry.method = method;
    entry.dosDateTime = m_input.dosDateTime;
    const bool sizeKnown = m_input.announcedSize >= 0;
    entry.compressedSize =
        method == 0 && sizeKnown ? static_cast<std::uint32_t>(m_input.announcedSize) + encryptionHeader : 0;
    entry.uncompressedSize = sizeKnown ? static_cast<std::uint32_t>(m_input.announcedSize) : 0;
    entry.externalAttributes = m_input.attributes;
    entry.localHeaderOffset = m_written + m_startOffset;
    entry.name = stored;
    entry.localExtra = {'U', 'T'};
    Put16(entry.localExtra, 13);
    entry.localExtra.push_back(7);
    Put32(entry.localExtra, static_cast<std::uint32_t>(m_input.writeTime));
    Put32(entry.localExtra, static_cast<std::uint32_t>(m_input.accessTime));
    Put32(entry.localExtra, static_cast<std::uint32_t>(m_input.creationTime));
    entry.centralExtra = {'U', 'T'};
    Put16(entry.centralExtra, 5);
    entry.centralExtra.push_back(7);
    Put32(entry.centralExtra, static_cast<std::uint32_t>(m_input.writeTime));
    const std::uint32_t firstCompressedSize = entry.compressedSize;

    // Local header.
    const DWORD localHeaderSize = static_cast<DWORD>(30 + entry.name.size() + entry.localExtra.size());
    WriteBytes(LocalHeader(entry));
    const std::vector<std::uint8_t> nameBytes(entry.name.begin(), entry.name.end());
    if (WriteBytes(nameBytes) != nameBytes.size() || WriteBytes(entry.localExtra) != entry.localExtra.size()) {
        CloseInput();
        return ZIP_WRITE;
    }
    m_written += localHeaderSize;
    if (m_writeError) {
        CloseInput();
        return m_writeError;
    }

    // Encryption header; the generator runs for every item alike.
    m_random = GetTickCount() ^ static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(GetDesktopWindow()));
    std::vector<std::uint8_t> header(12);
    for (std::uint8_t& byte : header) byte = static_cast<std::uint8_t>(Random() >> 7);
    header[11] = static_cast<std::uint8_t>(entry.dosDateTime >> 8);
    if (encrypted) {
        m_keys.emplace(*m_password);
        for (std::uint8_t& byte : header) byte = m_keys->Encrypt(byte);
        if (WriteBytes(header) != header.size()) {
            CloseInput();
            return m_writeError ? m_writeError : ZIP_WRITE;
        }
        m_written += 12;
    }

    // Data.
    bool shortWrite = false;
    bool compressorFailed = false;
    m_encrypting = encrypted;
    if (kind == ZIP_SOURCE_FOLDER)
        m_input.compressedSize = 0;
    else if (method == 0)
        StoreData(&shortWrite);
    else
        DeflateData(&shortWrite, &compressorFailed);
    m_encrypting = false;
    CloseInput();
    m_written += m_input.compressedSize;
    if (m_writeError) return m_writeError;
    if (shortWrite || compressorFailed) return ZIP_WRITE;
    if (method == 8) entry.centralFlags |= kFlagMaximumDeflate;

    entry.crc = m_input.crc;
    entry.compressedSize = m_input.compressedSize + encryptionHeader;
    entry.uncompressedSize = m_input.bytesRead;

    if (m_seekable && !encrypted) {
        if (!(entry.centralFlags & kFlagEncrypted)) entry.centralFlags &= static_cast<std::uint16_t>(~kFlagDataDescriptor);
        entry.localFlags = entry.centralFlags;
        if (!Seek(entry.localHeaderOffset - m_startOffset)) return ZIP_SEEK;
        std::vector<std::uint8_t> again = LocalHeader(entry);
        again.insert(again.end(), entry.name.begin(), entry.name.end());
        again.insert(again.end(), entry.localExtra.begin(), entry.localExtra.end());
        if (WriteBytes(again) != again.size()) return ZIP_WRITE;
        if (!Seek(m_written)) return ZIP_SEEK;
    } else {
        // Without a seek back, a stored item's size must have been right in
        // its first header: nothing else tells a reader where its data ends.
        if (method == 0 && firstCompressedSize != entry.compressedSize) return ZIP_NO_CHANGE;
        std::vector<std::uint8_t> descriptor;
        Put32(descriptor, 0x08074B50);
        Put32(descriptor, entry.crc);
        Put32(descriptor, entry.compressedSize);
        Put32(descriptor, entry.uncompressedSize);
        if (WriteBytes(descriptor) != descriptor.size()) return ZIP_WRITE;
        m_written += 16;
        entry.centralFlags = entry.localFlags;
    }
    if (m_writeError) return m_writeError;
    m_entries.push_back(std::move(entry));
    return ZIP_OK;
}

DWORD CZipWriter::AddCentral() {
    const DWORD start = m_written;
    bool good = true;
    for (const ZipWriterEntry& entry : m_entries) {
        if (!good) continue;
        const std::vector<std::uint8_t> header = CentralHeader(entry);
        if (WriteBytes(header) != header.size())
            good = false;
        else
            m_written += static_cast<DWORD>(header.size());
    }
    const std::size_t count = m_entries.size();
    m_entries.clear();
    if (good) {
        std::vector<std::uint8_t> end;
        Put32(end, 0x06054B50);
        Put16(end, 0);
        Put16(end, 0);
        Put16(end, static_cast<std::uint32_t>(count & 0xFFFF));
        Put16(end, static_cast<std::uint32_t>(count & 0xFFFF));
        Put32(end, m_written - start);
        Put32(end, start + m_startOffset);
        Put16(end, 0);
        if (WriteBytes(end) != end.size())
            good = false;
        else
            m_written += 22;
    }
    return good ? ZIP_OK : ZIP_WRITE;
}

DWORD CZipWriter::GetMemory(void** block, DWORD* length) {
    DWORD result = ZIP_OK;
    if (!m_centralWritten) result = AddCentral();
    m_centralWritten = true;
    if (block) *block = m_memory;
    if (length) *length = m_written;
    if (!m_memory) return ZIP_NOT_MEMORY;
    return result;
}

DWORD CZipWriter::Close() {
    DWORD result = ZIP_OK;
    if (!m_centralWritten) result = AddCentral();
    m_centralWritten = true;
    Release();
    return result;
}
