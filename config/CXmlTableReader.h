// Readers of the XML mapping tables, and single registry values under HKEY_LOCAL_MACHINE.
// Stateless: build one on the stack for a call; every call loads its own document.
#pragma once

#include <string>

#include "platform/types.h"

class CXmlTableReader {
public:
    CXmlTableReader() {}
    ~CXmlTableReader() {}

    // --- Registry values (CXmlTableReader.cpp) -----------------------------------
    // HKEY_LOCAL_MACHINE, 32-bit view, the key opened anew for each call.
    // 0 on success, 1 on failure.

    // Exactly 4 bytes; `result` is written only on success.
    int GetRegKeyValue(std::string keyPath, std::string valueName, DWORD& result);
    // At most 124 characters; `result` is emptied on failure.
    int GetRegKeyValue(std::string keyPath, std::string valueName, std::string& result);
    int SetRegKeyValue(std::string keyPath, std::string valueName, DWORD value, DWORD type);
    // REG_SZ with its terminating zero.
    int SetRegKeyValueString(std::string keyPath, std::string valueName, std::string value);

    // --- Mapping tables (CXmlTableReader.cpp) --------------------------------------
    // Region by MCC: 1 exact match, 2 fallback used, 0 neither; `region` is always
    // set, upper case ("FCC" when nothing applies).
    int getRegulatoryByMcc(std::string tablePath, std::string mcc, std::string& region);
    // The WWAN device configuration ID from the SKU registry values; true when found.
    bool getWwanDeviceConfigID(std::string tablePath, std::string& configId);
    // The SAR table index, or -1. Mind the order of the last four arguments.
    int GetSarIndexFromXml(std::string tablePath, std::string configId, std::string region, std::string sensor3,
                           std::string deviceMode, std::string sensor2, std::string sensor1);
    // The antenna-tuner index text for a device mode; true when found.
    bool GetIndexByAnt(std::string tablePath, std::string deviceMode, std::string& index);
    // 0 when the SAR table index is switched off in the table, else 1.
    int IsSarTableIndexEnable(std::string tablePath);

    // The "XmlVer" text of any table file; true when read.
    bool GetXmlVersion(std::string path, std::string& version);

    // --- Text helpers ---------------------------------------------------------------
    static std::string ToLowerCopy(std::string text);
    static bool StrEqualNoCase(std::string a, std::string b);
    static int AlwaysTrue(std::string text);

    // --- Carrier, firmware-package and flash-layout readers -------------------------
};
