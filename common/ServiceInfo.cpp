#include "common/ServiceInfo.h"

namespace {
std::string Bounded(const char* text) {
    std::string copy = text ? text : "";
    if (copy.size() >= ServiceInfo::kTextSize) copy.resize(ServiceInfo::kTextSize - 1);
    return copy;
}
}  // namespace

ServiceInfo::ServiceInfo(const char* serviceName, const char* binaryPath, const char* displayName)
    : m_strServiceName(Bounded(serviceName)), m_strBinaryPath(Bounded(binaryPath)), m_strDisplayName(Bounded(displayName)) {}
