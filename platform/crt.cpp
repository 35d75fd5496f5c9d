#include "platform/crt.h"

#include <cerrno>
#include <filesystem>
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
// out as CR LF; reading gives CR LF as a line feed and ends at a CTRL+Z. Positions are the file's.
struct TextStream {
    std::FILE* raw;
    bool ended = false;  // a CTRL+Z was read
};

ssize_t TextRead(void* cookie, char* buffer, size_t size) {
    auto* stream = static_cast<TextStream*>(cookie);
    size_t n = 0;
    while (n < size && !stream->ended) {
        int c = std::fgetc(stream->raw);
        if (c == EOF) break;
        if (c == 0x1A) {
            stream->ended = true;
            break;
        }
        if (c == '\r') {
            int next = std::fgetc(stream->raw);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, stream->raw);
        }
        buffer[n++] = static_cast<char>(c);
    }
    return n == 0 && std::ferror(stream->raw) ? -1 : static_cast<ssize_t>(n);
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
    if (fseeko(stream->raw, *offset, whence) != 0) return -1;
    stream->ended = false;
    const off_t at = ftello(stream->raw);
    if (at < 0) return -1;
    *offset = at;
    return 0;
}

int TextClose(void* cookie) {
    auto* stream = static_cast<TextStream*>(cookie);
    const int result = std::fclose(stream->raw);
    delete stream;
    return result;
}

std::FILE* InTextMode(std::FILE* raw, const std::string& mode) {
    if (!raw) return nullptr;
    auto* stream = new TextStream{raw};
    std::FILE* file = fopencookie(stream, mode.c_str(), {TextRead, TextWrite, TextSeek, TextClose});
    if (!file) TextClose(stream);
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
    if (hostMode.find('b') == std::string::npos) file = InTextMode(file, hostMode);
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
