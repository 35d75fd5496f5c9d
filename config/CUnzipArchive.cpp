#include "config/CUnzipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

#include "config/CZipCrypto.h"
#include "config/Unzip.h"
#include "config/ZipHandle.h"
#include "config/ZipInputFile.h"
#include "config/ZipResult.h"
#include "config/ZipTime.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/sync.h"

namespace {

constexpr std::size_t kExtractionBuffer = 16384;
// An item's file is named so until it is complete ("a.xml.~0").
constexpr const char kTemporarySuffix[] = ".~";

// Drops drive letters, leading separators and everything up to a ".." part,
// so that a stored name cannot name a place above the destination by itself.
std::string GuardName(std::string_view name) {
    static const char* const climbs[] = {"\\..\\", "\\../", "/../", "/..\\"};
    for (;;) {
        if (name.size() >= 2 && name[1] == ':') {
            name.remove_prefix(2);
            continue;
        }
        if (!name.empty() && (name[0] == '\\' || name[0] == '/')) {
            name.remove_prefix(1);
            continue;
        }
        bool cut = false;
        for (const char* climb : climbs) {
            std::size_t at = name.find(climb);
            if (at != std::string_view::npos) {
                name.remove_prefix(at + 4);
                cut = true;
                break;
            }
        }
        if (!cut) break;
    }
    return std::string(name);
}

std::uint32_t AttributesOf(std::uint32_t external, std::uint32_t versionMadeBy) {
    const std::uint32_t host = versionMadeBy >> 8;
    bool directory = (external & 0x40000000) != 0;
    bool readOnly = (external & 0x00800000) == 0;
    bool hidden = false;
    bool system = false;
    bool archive = true;
    if (host == 0 || host == 7 || host == 11 || host == 14) {  // hosts that keep DOS attributes
        readOnly = (external & 0x01) != 0;
        hidden = (external & 0x02) != 0;
        system = (external & 0x04) != 0;
        directory = (external & 0x10) != 0;
        archive = (external & 0x20) != 0;
    }
    return (directory ? FILE_ATTRIBUTE_DIRECTORY : 0) | (archive ? FILE_ATTRIBUTE_ARCHIVE : 0) |
           (hidden ? FILE_ATTRIBUTE_HIDDEN : 0) | (readOnly ? FILE_ATTRIBUTE_READONLY : 0) |
           (system ? FILE_ATTRIBUTE_SYSTEM : 0);
}

std::uint32_t Little16(const std::uint8_t* bytes) { return bytes[0] | static_cast<std::uint32_t>(bytes[1]) << 8; }

std::int32_t Little32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(bytes[0] | static_cast<std::uint32_t>(bytes[1]) << 8 |
                                     static_cast<std::uint32_t>(bytes[2]) << 16 |
                                     static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The extended timestamp ("UT") of a local extra field. A field shorter than
// its flags announce gives the times it holds and no more.
void ReadExtendedTimes(const std::vector<std::uint8_t>& extra, ZipEntry* entry) {
    std::size_t start = 0;
    while (start + 4 < extra.size()) {
        const std::size_t announced = Little16(&extra[start + 2]);
        const std::size_t dataStart = start + 4;
        if (extra[start] == 'U' && extra[start + 1] == 'T') {
            const std::size_t size = std::min(announced, extra.size() - dataStart);
            if (size == 0) return;
            const std::uint8_t* data = &extra[dataStart];
            const std::uint8_t flags = data[0];
            std::size_t at = 1;
            FILETIME* targets[] = {&entry->writeTime, &entry->accessTime, &entry->creationTime};
            for (int bit = 0; bit < 3; ++bit) {
                if (!(flags & (1u << bit))) continue;
                if (at + 4 > size) return;
                *targets[bit] = TimeTToFileTime(Little32(data + at));
                at += 4;
            }
            return;
        }
        start = dataStart + announced;
    }
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() >= 2 && path[1] == ':'));
}

bool EndsInSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// An end record alone, at the very start: an archive without items. minizip
// never looks for the record at offset 0, so it would call this corrupt.
bool IsEmptyArchive(ZipInputFile* input) {
    if (ZipInputSeek(input, 0, ZLIB_FILEFUNC_SEEK_END) != 0) return false;
    const std::int64_t size = ZipInputTell(input);
    if (size < 22 || size > 22 + 0xFFFF || ZipInputSeek(input, 0, ZLIB_FILEFUNC_SEEK_SET) != 0) return false;
    std::uint8_t record[22];
    if (ZipInputRead(record, 1, sizeof record, input) != sizeof record) return false;
    return Little32(record) == 0x06054B50 && Little16(record + 8) == 0 && Little16(record + 10) == 0 &&
           22 + static_cast<std::int64_t>(Little16(record + 20)) == size;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

CUnzipArchive::CUnzipArchive(const char* password) {
    if (password) m_password = password;
}

CUnzipArchive::~CUnzipArchive() { Close(); }

DWORD CUnzipArchive::Open(const void* source, DWORD length, DWORD kind) {
    if (m_archive || m_empty || m_currentItem != -1) return ZIP_NOT_INITED;
    char current[MAX_PATH] = {};
    DWORD size = GetCurrentDirectoryA(MAX_PATH, current);
    m_baseFolder = size > 0 && size < MAX_PATH ? std::string(current, size) : std::string();
    if (!EndsInSeparator(m_baseFolder)) m_baseFolder += "\\";
    if (!source && kind != ZIP_SOURCE_HANDLE) return ZIP_ARGS;
    if (kind == ZIP_SOURCE_HANDLE) {
        LONG high = 0;
        if (SetFilePointer(const_cast<HANDLE>(source), 0, &high, FILE_CURRENT) == INVALID_SET_FILE_POINTER &&
            GetLastError() != ERROR_SUCCESS)
            return ZIP_SEEK;
    }
    DWORD error = ZIP_OK;
    ZipInputFile* input = ZipInputOpen(source, length, kind, &error);
    if (!input) return error;
    if (IsEmptyArchive(input)) {
        ZipInputClose(input);
        m_empty = true;
        return ZIP_OK;
    }
    zlib_filefunc64_def functions = ZipInputFunctions();
    m_archive = unzOpen2_64(input, &functions);  // minizip owns the input from here, and frees it on failure
    return m_archive ? ZIP_OK : ZIP_NO_FILE;
}

int CUnzipArchive::ItemCount() {
    unz_global_info64 info{};
    if (!m_archive || unzGetGlobalInfo64(m_archive, &info) != UNZ_OK) return 0;
    return info.number_entry > static_cast<ZPOS64_T>(INT_MAX) ? INT_MAX : static_cast<int>(info.number_entry);
}

int CUnzipArchive::CurrentNumber() {
    unz64_file_pos position{};
    if (unzGetFilePos64(m_archive, &position) != UNZ_OK) return -1;
    return position.num_of_file > static_cast<ZPOS64_T>(INT_MAX) ? -1 : static_cast<int>(position.num_of_file);
}

DWORD CUnzipArchive::PositionOn(int index) {
    int current = CurrentNumber();
    if (current < 0 || index < current) {
        if (unzGoToFirstFile(m_archive) != UNZ_OK) return ZIP_CORRUPT;
        current = 0;
    }
    while (current < index) {
        if (unzGoToNextFile(m_archive) != UNZ_OK) return ZIP_CORRUPT;
        ++current;
    }
    return ZIP_OK;
}

DWORD CUnzipArchive::CloseItem() {
    if (m_currentItem == -1) return ZIP_OK;
    m_currentItem = -1;
    if (m_encrypted) {
        DWORD result = m_encrypted->Close();
        m_encrypted.reset();
        return result;
    }
    return unzCloseCurrentFile(m_archive) == UNZ_CRCERROR ? ZIP_CORRUPT : ZIP_OK;
}

// Opens the current item for reading. An encrypted item needs the password,
// checked against its encryption header before any data is inflated.
DWORD CUnzipArchive::OpenItem() {
    unz_file_info64 info{};
    // The entry fetched last is the one extracted, mostly: its information is read already.
    if (m_cachedIndex != -1 && CurrentNumber() == m_cachedIndex)
        info = m_cachedInfo;
    else if (unzGetCurrentFileInfo64(m_archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return ZIP_CORRUPT;
    m_itemCrc = static_cast<std::uint32_t>(info.crc);
    if (info.flag & 1) {
        if (!m_password) return ZIP_PASSWORD;
        auto reader = std::make_unique<CEncryptedItemReader>(m_archive, info, *m_password);
        if (DWORD result = reader->Open()) return result;
        m_encrypted = std::move(reader);
        return ZIP_OK;
    }
    return unzOpenCurrentFile(m_archive) == UNZ_OK ? ZIP_OK : ZIP_CORRUPT;
}

int CUnzipArchive::ReadItem(void* buffer, unsigned int length) {
    return m_encrypted ? m_encrypted->Read(buffer, length) : unzReadCurrentFile(m_archive, buffer, length);
}

bool CUnzipArchive::ItemAtEnd() { return m_encrypted ? m_encrypted->AtEnd() : unzeof(m_archive) == 1; }

DWORD CUnzipArchive::Get(int index, ZipEntry* entry) {
    const int count = ItemCount();
    if (!entry || index < -1 || index >= count) return ZIP_ARGS;
    CloseItem();
    if (index != -1 && index == m_cachedIndex) {
        *entry = m_cachedEntry;
        return ZIP_OK;
    }
    if (index == -1) {
        *entry = ZipEntry{};
        entry->index = count;
        return ZIP_OK;
    }
    if (DWORD result = PositionOn(index)) return result;

    unz_file_info64 info{};
    char name[MAX_PATH + 1] = {};
    if (unzGetCurrentFileInfo64(m_archive, &info, name, MAX_PATH, nullptr, 0, nullptr, 0) != UNZ_OK)
        return ZIP_CORRUPT;
    if (info.size_filename >= MAX_PATH) return ZIP_ARGS;  // refused rather than cut to another name
    name[info.size_filename] = '\0';

    if (unzOpenCurrentFile3(m_archive, nullptr, nullptr, 1, nullptr) != UNZ_OK) return ZIP_CORRUPT;
    std::vector<std::uint8_t> extra;
    int extraLength = unzGetLocalExtrafield(m_archive, nullptr, 0);
    if (extraLength > 0) {
        extra.resize(static_cast<std::size_t>(extraLength));
        if (unzGetLocalExtrafield(m_archive, extra.data(), static_cast<unsigned>(extraLength)) != extraLength) {
            unzCloseCurrentFile(m_archive);
            return ZIP_READ;
        }
    }
    unzCloseCurrentFile(m_archive);
    if (extraLength < 0) return ZIP_READ;

    ZipEntry found{};
    found.index = index;
    std::string guarded = GuardName(name);
    std::memcpy(found.name, guarded.c_str(), guarded.size() + 1);
    found.attributes = AttributesOf(static_cast<std::uint32_t>(info.external_fa), static_cast<std::uint32_t>(info.version));
    // Some writers mark a folder by its trailing separator alone, with no attribute bits.
    if (info.size_filename > 0 && (name[info.size_filename - 1] == '/' || name[info.size_filename - 1] == '\\'))
        found.attributes |= FILE_ATTRIBUTE_DIRECTORY;
    found.compressedSize = static_cast<std::int32_t>(info.compressed_size);
    found.uncompressedSize = static_cast<std::int32_t>(info.uncompressed_size);
    FILETIME local = DosDateTimeToFileTime(static_cast<WORD>(info.dosDate >> 16), static_cast<WORD>(info.dosDate));
    FILETIME universal{};
    if (!LocalFileTimeToFileTime(&local, &universal)) universal = local;
    found.accessTime = found.creationTime = found.writeTime = universal;
    ReadExtendedTimes(extra, &found);

    m_cachedEntry = found;
    m_cachedInfo = info;
    m_cachedIndex = index;
    *entry = found;
    return ZIP_OK;
}

DWORD CUnzipArchive::Find(const char* name, bool ignoreCase, int* index, ZipEntry* entry) {
    if (!name || std::strlen(name) >= 256) return ZIP_ARGS;
    if (!m_archive || unzLocateFile(m_archive, name, ignoreCase ? 2 : 1) != UNZ_OK) {
        if (index) *index = -1;
        if (entry) {
            *entry = ZipEntry{};
            entry->index = -1;
        }
        return ZIP_NOT_FOUND;
    }
    CloseItem();
    const int number = CurrentNumber();
    if (index) *index = number;
    if (entry) {
        if (DWORD result = Get(number, entry)) return result;
    }
    return ZIP_OK;
}

DWORD CUnzipArchive::Unzip(int index, void* destination, DWORD length, DWORD kind) {
    switch (kind) {
        case ZIP_SOURCE_MEMORY:
            return UnzipToMemory(index, destination, length);
        case ZIP_SOURCE_HANDLE:
        case ZIP_SOURCE_FILE:
            return UnzipToFile(index, destination, kind);
        default:
            return ZIP_ARGS;
    }
}

DWORD CUnzipArchive::UnzipToMemory(int index, void* destination, DWORD length) {
    if ((!destination && length != 0) || index < 0) return ZIP_ARGS;
    if (index != m_currentItem) {
        CloseItem();
        if (index >= ItemCount()) return ZIP_ARGS;
        if (DWORD result = PositionOn(index)) return result;
        if (DWORD result = OpenItem()) return result;
        m_currentItem = index;
        m_memoryCrc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
    }
    const unsigned wanted = length > static_cast<DWORD>(INT_MAX) ? static_cast<unsigned>(INT_MAX) : length;
    const int got = wanted ? ReadItem(destination, wanted) : 0;
    const bool end = got >= 0 && ItemAtEnd();
    if (got > 0) {
        m_memoryCrc = static_cast<std::uint32_t>(
            crc32(m_memoryCrc, static_cast<const Bytef*>(destination), static_cast<uInt>(got)));
        // The item stays open after its last piece, so its CRC is checked here, before that piece counts as good.
        if (end && m_memoryCrc != m_itemCrc) {
            CloseItem();
            return ZIP_CORRUPT;
        }
    } else if (CloseItem() != ZIP_OK) {
        return ZIP_CORRUPT;
    }
    if (end) return ZIP_OK;
    if (got > 0) return ZIP_MORE;
    return ZIP_FLATE;
}

DWORD CUnzipArchive::UnzipToFile(int index, void* destination, DWORD kind) {
    CloseItem();
    if (index < 0 || index >= ItemCount()) return ZIP_ARGS;
    if (DWORD result = PositionOn(index)) return result;
    ZipEntry entry{};
    if (DWORD result = Get(index, &entry)) return result;

    if (kind == ZIP_SOURCE_HANDLE) {
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) return ZIP_OK;
        return CopyItem(static_cast<HANDLE>(destination), entry);
    }

    if (!destination) return ZIP_ARGS;
    const std::string target = static_cast<const char*>(destination);
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        const bool absolute = IsAbsolute(target);
        const std::string full = absolute ? target : m_baseFolder + target;
        if (full.size() >= MAX_PATH) return ZIP_ARGS;
        EnsureFolder(absolute ? nullptr : &m_baseFolder, target);
        return PathIsDirectoryA(full.c_str()) ? ZIP_OK : ZIP_NO_FILE;
    }

    const std::size_t split = target.find_last_of("/\\");
    const std::string folder = split == std::string::npos ? std::string() : target.substr(0, split + 1);
    const std::string file = split == std::string::npos ? target : target.substr(split + 1);
    const bool absolute = IsAbsolute(folder);
    const std::string full = (absolute ? folder : m_baseFolder + folder) + file;
    if (file.empty() || full.size() >= MAX_PATH) return ZIP_ARGS;
    EnsureFolder(absolute ? nullptr : &m_baseFolder, folder);

    // The item goes to a fresh file beside its target first, so a failure
    // never leaves a part of it over a good file.
    std::string temporary;
    HANDLE output = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && output == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = full + kTemporarySuffix + std::to_string(attempt);
        if (temporary.size() >= MAX_PATH) return ZIP_ARGS;
        output = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (output == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (output == INVALID_HANDLE_VALUE) return ZIP_NO_FILE;
    DWORD result = CopyItem(output, entry);
    // On the disk before it takes the target's name, so that a power loss
    // leaves the old file or the new one whole, never a short one.
    if (result == ZIP_OK && !FlushFileBuffers(output)) result = ZIP_WRITE;
    CloseHandle(output);
    if (result == ZIP_OK) result = PutInPlace(temporary, full, entry.attributes);
    if (result != ZIP_OK) DeleteFileA(temporary.c_str());
    return result;
}

// The attributes come only once the file holds its place: a read-only file
// could neither be deleted after a failure nor be replaced.
DWORD CUnzipArchive::PutInPlace(const std::string& temporary, const std::string& full, DWORD itemAttributes) {
    DWORD attributes =
        itemAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    const DWORD old = GetFileAttributesA(full.c_str());
    const bool oldReadOnly = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY);
    if (oldReadOnly && !SetFileAttributesA(full.c_str(), old & ~FILE_ATTRIBUTE_READONLY)) return ZIP_NO_FILE;
    if (!MoveFileExA(temporary.c_str(), full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (oldReadOnly) SetFileAttributesA(full.c_str(), old);
        return ZIP_NO_FILE;
    }
    return SetFileAttributesA(full.c_str(), attributes) ? ZIP_OK : ZIP_NO_FILE;
}

bool IsUnzipTemporaryName(const char* name) {
    const std::string_view text = name ? name : "";
    const std::size_t at = text.rfind(kTemporarySuffix);
    if (at == std::string_view::npos || at == 0) return false;
    const std::string_view digits = text.substr(at + std::strlen(kTemporarySuffix));
    return !digits.empty() && digits.size() <= 2 && digits.find_first_not_of("0123456789") == std::string_view::npos;
}

// Inflates the current item into `output` and, once it is complete and its
// CRC holds, gives the output the item's times.
DWORD CUnzipArchive::CopyItem(HANDLE output, const ZipEntry& entry) {
    if (DWORD result = OpenItem()) return result;
    m_currentItem = entry.index;
    if (m_buffer.empty()) m_buffer.resize(kExtractionBuffer);
    DWORD result = ZIP_OK;
    for (;;) {
        const int got = ReadItem(m_buffer.data(), static_cast<unsigned>(m_buffer.size()));
        if (got < 0) {
            result = ZIP_FLATE;
            break;
        }
        if (got > 0) {
            DWORD written = 0;
            if (!WriteFile(output, m_buffer.data(), static_cast<DWORD>(got), &written, nullptr) ||
                written != static_cast<DWORD>(got)) {
                result = ZIP_WRITE;
                break;
            }
        }
        if (ItemAtEnd()) break;
        if (got == 0) {
            result = ZIP_FLATE;
            break;
        }
    }
    const DWORD closed = CloseItem();
    if (result == ZIP_OK) result = closed;
    if (result == ZIP_OK) SetFileTime(output, &entry.creationTime, &entry.accessTime, &entry.writeTime);
    return result;
}

void CUnzipArchive::EnsureFolder(const std::string* base, const std::string& path) {
    // Most items go to a folder an earlier item made: one look then, not one per level.
    if (!path.empty()) {
        const std::string full = (base ? *base : std::string()) + path;
        if (full.size() < MAX_PATH && PathIsDirectoryA(full.c_str())) return;
    }
    if (base && !Exists(*base) && base->size() < MAX_PATH) CreateDirectoryA(base->c_str(), nullptr);
    if (path.empty()) return;
    const std::size_t last = path.find_last_of("/\\");
    if (last != std::string::npos && last != 0) EnsureFolder(base, path.substr(0, last));
    const std::string full = (base ? *base : std::string()) + path;
    if (full.size() < MAX_PATH && !Exists(full)) CreateDirectoryA(full.c_str(), nullptr);
}

DWORD CUnzipArchive::SetBaseFolder(const char* folder) {
    if (!folder) return ZIP_ARGS;
    std::string base = folder;
    if (!EndsInSeparator(base)) base += "\\";
    if (base.size() >= MAX_PATH) return ZIP_ARGS;
    m_baseFolder = base;
    return ZIP_OK;
}

DWORD CUnzipArchive::Close() {
    CloseItem();
    if (m_archive) unzClose(m_archive);
    m_archive = nullptr;
    m_empty = false;
    m_cachedIndex = -1;
    return ZIP_OK;
}
