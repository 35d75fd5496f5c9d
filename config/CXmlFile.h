// An XML document read from (and written to) a Windows path through the
// platform layer, as every table file of the system is read: entities
// processed, white space preserved.
#pragma once

#include <string>

#include <tinyxml2.h>

class CXmlFile {
public:
    CXmlFile();
    CXmlFile(const CXmlFile&) = delete;
    CXmlFile& operator=(const CXmlFile&) = delete;

    // false when the file cannot be read or is not well-formed XML.
    bool Load(const std::string& path);
    // Writes the document indented; false when the file cannot be written.
    bool Save(const std::string& path);

    tinyxml2::XMLDocument& Document() { return m_doc; }
    // The document's first element of any name; null when there is none.
    tinyxml2::XMLElement* Root() { return m_doc.FirstChildElement(); }

private:
    tinyxml2::XMLDocument m_doc;
};
