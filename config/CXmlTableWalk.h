// The walk down a table file that the table readers share.
#pragma once

#include <initializer_list>
#include <string>

#include "config/CXmlFile.h"

// One step down: the first child element of that name, and the error logged when there is none.
struct CXmlLevel {
    const char* name;
    const char* missing;
};

// Loads `path` into `file` and gives its root element; null after logging `loadFailed` or
// `rootMissing`.
tinyxml2::XMLElement* LoadXmlRoot(CXmlFile& file, const std::string& path, const char* loadFailed,
                                  const char* rootMissing);
// Walks down from `from` a level at a time; null after logging the first level that is missing.
// A null `from` (a step above failed and logged already) gives null and logs nothing.
tinyxml2::XMLElement* WalkXmlLevels(tinyxml2::XMLElement* from, std::initializer_list<CXmlLevel> levels);
