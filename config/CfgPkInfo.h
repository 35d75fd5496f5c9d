// The firmware image chosen for a WWAN device configuration and MCC.
#pragma once

#include <string>

struct CfgPkInfo {
    std::string m_strInfo1;
    std::string m_strInfo2;
    std::string m_strInfo3;  // emptied on a match
    std::string m_strFwFile;
    std::string m_strFwVer;
    std::string m_strFwType;
    std::string m_strStandard;  // the matched Standard value
    int m_nFwCount = 0;
};
