// Names one service for the install and remove helpers.
#pragma once

#include <cstddef>
#include <string>

struct ServiceInfo {
    // Each text is cut to fit its 520-character buffer; an absent one stays empty.
    explicit ServiceInfo(const char* serviceName = nullptr, const char* binaryPath = nullptr,
                         const char* displayName = nullptr);

    static constexpr std::size_t kTextSize = 520;  // characters, the terminating zero included

    std::string m_strServiceName;
    std::string m_strBinaryPath;  // as registered with the service control manager
    std::string m_strDisplayName;
};
