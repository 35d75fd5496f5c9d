// The handle the zip operations take and give: an archive opened for reading
// (kind 1) or one being written (kind 2).
#pragma once

#include <memory>

#include "platform/types.h"

class CUnzipArchive;
class CZipWriter;

constexpr DWORD ZIP_HANDLE_UNZIP = 1;
constexpr DWORD ZIP_HANDLE_ZIP = 2;

// Where an archive or an item comes from or goes to.
constexpr DWORD ZIP_SOURCE_HANDLE = 1;
constexpr DWORD ZIP_SOURCE_FILE = 2;
constexpr DWORD ZIP_SOURCE_MEMORY = 3;
constexpr DWORD ZIP_SOURCE_FOLDER = 4;  // writer only

struct ZipHandle {
    explicit ZipHandle(std::unique_ptr<CUnzipArchive> archive);
    explicit ZipHandle(std::unique_ptr<CZipWriter> writer);
    ~ZipHandle();
    ZipHandle(const ZipHandle&) = delete;
    ZipHandle& operator=(const ZipHandle&) = delete;

    DWORD kind;
    std::unique_ptr<CUnzipArchive> archive;  // kind 1
    std::unique_ptr<CZipWriter> writer;      // kind 2
};
