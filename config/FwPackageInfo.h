// One firmware package description ("FwPackageInfo.xml").
#pragma once

#include <string>
#include <vector>

#include "config/FirmwareFileInfo.h"

class FwPackageInfo {
public:
    void AppendFirmware(const FirmwareFileInfo& firmware) { m_firmwareList.push_back(firmware); }
    // Both texts and the whole list.
    void CopyTo(FwPackageInfo& other) const {
        other.m_strPackageVer = m_strPackageVer;
        other.m_strPackageType = m_strPackageType;
        other.m_firmwareList = m_firmwareList;
    }

    std::string m_strPackageVer;
    std::string m_strPackageType;
    std::vector<FirmwareFileInfo> m_firmwareList;  // in document order
};
