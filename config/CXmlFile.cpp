#include "config/CXmlFile.h"

#include <cstdio>

#include "platform/crt.h"

CXmlFile::CXmlFile() : m_doc(true, tinyxml2::PRESERVE_WHITESPACE) {}

bool CXmlFile::Load(const std::string& path) {
    m_doc.Clear();
    std::FILE* file = _fsopen(path.c_str(), "rb", _SH_DENYNO);
    if (!file) return false;
    std::string bytes;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) return false;
    return m_doc.Parse(bytes.data(), bytes.size()) == tinyxml2::XML_SUCCESS;
}

bool CXmlFile::Save(const std::string& path) {
    std::FILE* file = _fsopen(path.c_str(), "wb", _SH_DENYNO);
    if (!file) return false;
    const bool printed = m_doc.SaveFile(file, false) == tinyxml2::XML_SUCCESS;
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    std::fclose(file);
    return printed && flushed;
}
