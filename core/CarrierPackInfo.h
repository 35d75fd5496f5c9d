// One carrier record: nine text slots, all empty at construction.
#pragma once

#include <string>

struct CarrierPackInfo {
    std::string strSlot0;
    std::string strMccMnc;  // slot 1: the registered provider ID
    std::string strIccid;   // slot 2
    std::string strSlot3;
    std::string strSlot4;
    std::string strFwFile;            // slot 5
    std::string strFwVersion;         // slot 6
    std::string strCustPackFile;      // slot 7
    std::string strCustPackVersion;   // slot 8
};
