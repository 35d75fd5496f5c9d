#include "config/ZipHandle.h"

#include "config/CUnzipArchive.h"
#include "config/CZipWriter.h"

ZipHandle::ZipHandle(std::unique_ptr<CUnzipArchive> archive) : kind(ZIP_HANDLE_UNZIP), archive(std::move(archive)) {}
ZipHandle::ZipHandle(std::unique_ptr<CZipWriter> writer) : kind(ZIP_HANDLE_ZIP), writer(std::move(writer)) {}
ZipHandle::~ZipHandle() = default;
