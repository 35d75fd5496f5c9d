// One carrier's firmware description; each reader fills only its own fields.
#pragma once

#include <string>

struct FirmwareFileInfo {
    std::string m_strId;  // carrier id or customer-model id
    std::string m_strPackageVer;
    std::string m_strImageFile;
    std::string m_strImageVer;
    std::string m_strCustPackFile;
    std::string m_strCustPackVer;
    std::string m_strExtra;  // no reader fills it
    std::string m_strApFile;
    std::string m_strApVer;
    std::string m_strApType;
    std::string m_strApCount;
    std::string m_strMdFile;
    std::string m_strMdVer;
    std::string m_strMdType;
    std::string m_strMdCount;
    std::string m_strOpFile;
    std::string m_strOpVer;
    std::string m_strOpType;
    std::string m_strOpCount;
    std::string m_strParamFile;  // parameter or OEM firmware
    std::string m_strParamVer;
    std::string m_strParamType;
    std::string m_strParamCount;
    std::string m_strSwitchTableFile;
};
