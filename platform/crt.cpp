#include "platform/crt.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace fs = std::filesystem;

namespace {
std::optional<fs::path> Resolve(const char* path) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine || !path || !*path) return std::nullopt;
    return machine->files().Resolve(path);
}
bool WriteDenied(const char* path) {
    sim::Machine* machine = sim::Machine::Current();
    return machine && machine->files().WriteDenied(path);
}

// Windows' runtime opens a stream in text mode unless its mode says "b": a line feed written goes
// out as CR LF; reading gives CR LF as a line feed and ends at a CTRL+Z. Positions told and sought
// are the file's. The C library's stream over this one counts a position as one byte for each
// character it was given, which a CR LF read as one breaks; so a read gives it one character, and a
// CR LF's line feed is left in the file until the next read (a position told after the line feed
// counts it).
struct TextStream {
    std::FILE* raw;
    std::FILE* file = nullptr;  // the text stream itself
    bool ended = false;         // at a CTRL+Z
    bool lineFeedOwed = false;  // the CR LF just read still has its LF in `raw`
};

ssize_t TextRead(void* cookie, char* buffer, size_t size) {
    auto* stream = static_cast<TextStream*>(cookie);
    if (size == 0 || stream->ended) return 0;
    if (stream->lineFeedOwed) {
        std::fgetc(stream->raw);
        stream->lineFeedOwed = false;
    }
    int c = std::fgetc(stream->raw);
    if (c == EOF) return std::ferror(stream->raw) ? -1 : 0;
    if (c == 0x1A) {
        std::ungetc(c, stream->raw);
        stream->ended = true;
        return 0;
    }
    if (c == '\r') {
        const int next = std::fgetc(stream->raw);
        if (next != EOF) std::ungetc(next, stream->raw);
        if (next == '\n') {
            c = '\n';
            stream->lineFeedOwed = true;
        }
    }
    buffer[0] = static_cast<char>(c);
    return 1;
}

ssize_t TextWrite(void* cookie, const char* data, size_t size) {
    auto* stream = static_cast<TextStream*>(cookie);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' && std::fputc('\r', stream->raw) == EOF) return -1;
        if (std::fputc(data[i], stream->raw) == EOF) return -1;
    }
    // A flush of the text stream reaches the file.
    return std::fflush(stream->raw) == 0 ? static_cast<ssize_t>(size) : -1;
}

int TextSeek(void* cookie, off64_t* offset, int whence) {
    auto* stream = static_cast<TextStream*>(cookie);
    // An offset of 0 from here asks where the stream is. Any other seek starts afresh; the C
    // library seeks on from where it believes a read left off (a byte for each character).
    if (whence != SEEK_CUR || *offset != 0) {
        if (fseeko(stream->raw, *offset, whence) != 0) return -1;
        stream->ended = false;
        stream->lineFeedOwed = false;
    }
    off_t at = ftello(stream->raw);
    if (at < 0) return -1;
    if (stream->lineFeedOwed) ++at;
    // The C library tells a position with the characters it holds to write added: each line
    // feed among them will be two bytes.
    if (stream->file) at += std::count(stream->file->_IO_write_base, stream->file->_IO_write_ptr, '\n');
    *offset = at;
    return 0;
}

int TextClose(void* cookie) {
    auto* stream = static_cast<TextStream*>(cookie);
    const int result = std::fclose(stream->raw);
    delete stream;
    return result;
}

// Reading and appending in text mode takes one CTRL+Z off the end of the file at the opening.
void TakeOffControlZ(const fs::path& host) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(host, error);
    if (error || size == 0) return;
    std::ifstream in(host, std::ios::binary);
    char last = 0;
    if (!in.seekg(static_cast<std::streamoff>(size - 1)) || !in.get(last) || last != '\x1A') return;
    sim::FileSystem& files = sim::Machine::Current()->files();
    files.NoteWrite(host);
    fs::resize_file(host, size - 1, error);
    if (!error) files.GiveSpaceBack(1);
}

std::FILE* InTextMode(std::FILE* raw, const std::string& mode) {
    if (!raw) return nullptr;
    auto* stream = new TextStream{raw};
    std::FILE* file = fopencookie(stream, mode.c_str(), {TextRead, TextWrite, TextSeek, TextClose});
    if (!file)
        TextClose(stream);
    else
        stream->file = file;
    return file;
}
}  // namespace

std::FILE* _fsopen(const char* fileName, const char* mode, int) {
    auto host = Resolve(fileName);
    if (!host || !mode) {
        errno = ENOENT;
        return nullptr;
    }
    std::string hostMode;
    for (const char* c = mode; *c; ++c)
        if (*c != 't') hostMode += *c;  // the host stream is binary; text mode is InTextMode's
    std::error_code error;
    if (fs::is_directory(*host, error)) {
        errno = EACCES;
        return nullptr;
    }
    if (hostMode.find_first_of("wa+") != std::string::npos && WriteDenied(fileName)) {
        errno = EACCES;
        return nullptr;
    }
    const bool existed = fs::exists(*host, error);
    std::FILE* file = sim::OpenHostStream(*host, hostMode);
    if (hostMode.find('b') == std::string::npos) {
        if (file && hostMode[0] == 'a' && hostMode.find('+') != std::string::npos) TakeOffControlZ(*host);
        file = InTextMode(file, hostMode);
    }
    if (file && hostMode.find_first_of("wa+") != std::string::npos)
        sim::Machine::Current()->transcript().Add(
            "file", (!existed ? "created " : hostMode[0] == 'w' ? "emptied " : "opened to write ") +
                        sim::Machine::Current()->files().Normalize(fileName));
    return file;
}

int _mkdir(const char* dirName) {
    auto host = Resolve(dirName);
    std::error_code error;
    if (!host) {
        errno = ENOENT;
        return -1;
    }
    if (fs::exists(*host, error)) {
        errno = EEXIST;
        return -1;
    }
    if (!fs::is_directory(host->parent_path(), error) || !fs::create_directory(*host, error)) {
        errno = ENOENT;
        return -1;
    }
    sim::Machine::Current()->files().Tell("created folder", dirName);
    return 0;
}

int _access(const char* path, int mode) {
    auto host = Resolve(path);
    std::error_code error;
    if (!host || !fs::exists(*host, error)) {
        errno = ENOENT;
        return -1;
    }
    auto perms = fs::status(*host, error).permissions();
    if ((mode & 2) && (perms & fs::perms::owner_write) == fs::perms::none) {
        errno = EACCES;
        return -1;
    }
    return 0;
}
