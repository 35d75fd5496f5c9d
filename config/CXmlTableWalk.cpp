#include "config/CXmlTableWalk.h"

#include "common/CLog.h"

using tinyxml2::XMLElement;

namespace {

XMLElement* Missing(const char* message) {
    CLog::GetInstance()->WriteLog(1, message);
    return nullptr;
}

}  // namespace

XMLElement* LoadXmlRoot(CXmlFile& file, const std::string& path, const char* loadFailed, const char* rootMissing) {
    if (!file.Load(path)) return Missing(loadFailed);
    XMLElement* root = file.Root();
    return root ? root : Missing(rootMissing);
}

XMLElement* WalkXmlLevels(XMLElement* from, std::initializer_list<CXmlLevel> levels) {
    for (const CXmlLevel& level : levels) {
        if (!from) return nullptr;
        from = from->FirstChildElement(level.name);
        if (!from) return Missing(level.missing);
    }
    return from;
}
