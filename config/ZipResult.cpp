#include "config/ZipResult.h"

#include <cstring>

std::string ZipResultText(DWORD code, bool writerTable) {
    switch (code) {
        case ZIP_OK: return "Success";
        case ZIP_NO_DUPLICATE: return "Culdn't duplicate handle";
        case ZIP_NO_FILE: return "Couldn't create/open file";
        case ZIP_NO_ALLOC: return "Failed to allocate memory";
        case ZIP_WRITE: return "Error writing to file";
        case ZIP_NOT_FOUND: return "File not found in the zipfile";
        case ZIP_MORE: return "Still more data to unzip";
        case ZIP_CORRUPT: return "Zipfile is corrupt or not a zipfile";
        case ZIP_READ: return "Error reading file";
        case ZIP_PASSWORD:
            if (writerTable) break;
            return "Correct password required";
        case ZIP_ARGS: return "Caller: faulty arguments";
        case ZIP_NOT_MEMORY: return "Caller: can only get memory of a memory zipfile";
        case ZIP_MEMORY_SIZE: return "Caller: not enough space allocated for memory zipfile";
        case ZIP_FAILED: return "Caller: there was a previous error";
        case ZIP_ENDED: return "Caller: additions to the zip have already been ended";
        case ZIP_MISSIZE: return "Zip-bug: the anticipated size turned out wrong";
        case ZIP_PARTIAL_UNZIP: return "Caller: the file had already been partially unzipped";
        case ZIP_MIXED: return "Caller: mixing creation and opening of zip";
        case ZIP_NOT_INITED: return "Zip-bug: internal initialisation not completed";
        case ZIP_SEEK: return "Zip-bug: trying to seek the unseekable";
        case ZIP_NO_CHANGE: return "Zip-bug: tried to change mind, but not allowed";
        case ZIP_FLATE: return "Zip-bug: an internal error during flation";
        default: break;
    }
    return "unknown zip result code";
}

unsigned int CopyZipMessage(const std::string& text, char* buffer, unsigned int size) {
    if (buffer && size != 0) {
        std::size_t count = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), count);
        buffer[count] = '\0';
    }
    return static_cast<unsigned int>(text.size());
}
