// Nine text slots about the SIM's carrier and its package; the worker keeps two.
#pragma once

#include <string>

struct CarrierPackInfo {
    std::string m_strSlot0;
    std::string m_strProviderId;  // slot 1
    std::string m_strIccid;       // slot 2
    std::string m_strSlot3;
    std::string m_strSlot4;
    std::string m_strFirmwareFile;  // slots 5 to 8: from the carrier package list
    std::string m_strFirmwareVer;
    std::string m_strCustPackFile;
    std::string m_strCustPackVer;
};
