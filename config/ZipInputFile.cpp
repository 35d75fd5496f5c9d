#include "config/ZipInputFile.h"

#include <cstring>

#include "config/ZipHandle.h"
#include "config/ZipResult.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/sync.h"

namespace {

bool SeekHandle(HANDLE handle, std::int64_t distance, DWORD method, std::int64_t* position) {
    LONG high = static_cast<LONG>(static_cast<std::uint64_t>(distance) >> 32);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(static_cast<DWORD>(distance)), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return false;
    if (position)
        *position = static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low);
    return true;
}

voidpf ZCALLBACK OpenCallback(voidpf, const void* fileName, int) { return const_cast<void*>(fileName); }

uLong ZCALLBACK ReadCallback(voidpf, voidpf stream, void* buffer, uLong size) {
    return ZipInputRead(buffer, 1, static_cast<DWORD>(size), static_cast<ZipInputFile*>(stream));
}

uLong ZCALLBACK WriteCallback(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellCallback(voidpf, voidpf stream) {
    std::int64_t position = ZipInputTell(static_cast<ZipInputFile*>(stream));
    return position < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(position);
}

long ZCALLBACK SeekCallback(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    return ZipInputSeek(static_cast<ZipInputFile*>(stream), static_cast<std::int64_t>(offset), origin);
}

int ZCALLBACK CloseCallback(voidpf, voidpf stream) { return ZipInputClose(static_cast<ZipInputFile*>(stream)); }

int ZCALLBACK ErrorCallback(voidpf, voidpf stream) {
    return ZipInputError(static_cast<ZipInputFile*>(stream)) ? 1 : 0;
}

}  // namespace

ZipInputFile* ZipInputOpen(const void* source, DWORD length, DWORD kind, DWORD* error) {
    *error = ZIP_OK;
    if (kind != ZIP_SOURCE_HANDLE && kind != ZIP_SOURCE_FILE && kind != ZIP_SOURCE_MEMORY) {
        *error = ZIP_ARGS;
        return nullptr;
    }
    auto* input = new ZipInputFile();
    if (kind == ZIP_SOURCE_MEMORY) {
        input->buffer = static_cast<const std::uint8_t*>(source);
        input->length = length;
        input->seekable = true;
        return input;
    }
    input->handleKind = true;
    if (kind == ZIP_SOURCE_HANDLE) {
        input->handle = const_cast<HANDLE>(source);
    } else {
        input->handle = CreateFileA(static_cast<const char*>(source), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (input->handle == INVALID_HANDLE_VALUE) {
            delete input;
            *error = ZIP_NO_FILE;
            return nullptr;
        }
        input->ownsHandle = true;
    }
    std::int64_t position = 0;
    input->seekable = SeekHandle(input->handle, 0, FILE_CURRENT, &position);
    input->startOffset = input->seekable ? static_cast<DWORD>(position) : 0;
    return input;
}

DWORD ZipInputRead(void* buffer, DWORD size, DWORD count, ZipInputFile* input) {
    if (!input || size == 0 || count == 0) return 0;
    std::uint64_t wanted = static_cast<std::uint64_t>(size) * count;
    if (wanted > 0xFFFFFFFFULL) wanted = 0xFFFFFFFFULL / size * size;
    if (input->handleKind) {
        DWORD got = 0;
        if (!ReadFile(input->handle, buffer, static_cast<DWORD>(wanted), &got, nullptr)) input->readError = true;
        return got / size;
    }
    std::uint64_t left = input->position < input->length ? input->length - input->position : 0;
    if (wanted > left) wanted = left;
    if (wanted == 0) return 0;
    std::memcpy(buffer, input->buffer + input->position, static_cast<std::size_t>(wanted));
    input->position += wanted;
    return static_cast<DWORD>(wanted / size);
}

int ZipInputSeek(ZipInputFile* input, std::int64_t offset, int origin) {
    if (!input) return -1;
    if (!input->handleKind) {
        std::int64_t base = 0;
        if (origin == ZLIB_FILEFUNC_SEEK_CUR)
            base = static_cast<std::int64_t>(input->position);
        else if (origin == ZLIB_FILEFUNC_SEEK_END)
            base = static_cast<std::int64_t>(input->length);
        else if (origin != ZLIB_FILEFUNC_SEEK_SET)
            return 19;
        std::int64_t target = base + offset;
        if (target < 0) return -1;
        input->position = static_cast<std::uint64_t>(target);
        return 0;
    }
    if (!input->seekable) return 29;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            return SeekHandle(input->handle, static_cast<std::int64_t>(input->startOffset) + offset, FILE_BEGIN,
                              nullptr)
                       ? 0
                       : -1;
        case ZLIB_FILEFUNC_SEEK_CUR:
            return SeekHandle(input->handle, offset, FILE_CURRENT, nullptr) ? 0 : -1;
        case ZLIB_FILEFUNC_SEEK_END:
            return SeekHandle(input->handle, offset, FILE_END, nullptr) ? 0 : -1;
        default:
            return 19;
    }
}

std::int64_t ZipInputTell(ZipInputFile* input) {
    if (!input) return -1;
    if (!input->handleKind) return static_cast<std::int64_t>(input->position);
    if (!input->seekable) return 0;
    std::int64_t position = 0;
    if (!SeekHandle(input->handle, 0, FILE_CURRENT, &position)) return -1;
    return position - static_cast<std::int64_t>(input->startOffset);
}

bool ZipInputError(ZipInputFile* input) { return input && input->handleKind && input->readError; }

int ZipInputClose(ZipInputFile* input) {
    if (!input) return -1;
    if (input->ownsHandle) CloseHandle(input->handle);
    delete input;
    return 0;
}

zlib_filefunc64_def ZipInputFunctions() {
    zlib_filefunc64_def functions{};
    functions.zopen64_file = OpenCallback;
    functions.zread_file = ReadCallback;
    functions.zwrite_file = WriteCallback;
    functions.ztell64_file = TellCallback;
    functions.zseek64_file = SeekCallback;
    functions.zclose_file = CloseCallback;
    functions.zerror_file = ErrorCallback;
    functions.opaque = nullptr;
    return functions;
}
