// Readers of the XML mapping tables, and single registry values under HKEY_LOCAL_MACHINE.
// Stateless: build one on the stack for a call; every call loads its own document.
#pragma once

#include <string>

#include "platform/types.h"

struct FirmwareFileInfo;
class FwPackageInfo;
struct CfgPkInfo;
struct CarrierPackInfo;

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

    // --- Carrier, firmware-package and flash-layout readers (CXmlTableReaderCarrier.cpp) ---
    // Out texts and records are written only on a match (unless noted).

    // 1 when an ICCID range matched, else 0.
    int GetCarrierByIccidRange(std::string iccid, std::string filePath, std::string& carrier);
    bool GetCarrierByMcc(std::string mcc, std::string filePath, std::string& carrier);
    // True when the MCC-MNC table was found, matched or not.
    bool GetCarrierIdByMccmnc(std::string mccmnc, std::string filePath, std::string& carrierId);
    // Finds the selection rule's item for the MCC but hands it to no one: always 0.
    int GetSelectionRuleItemByMcc(std::string mcc, std::string filePath);
    bool GetCarrierFirmwareList(std::string carrierId, std::string filePath, FirmwareFileInfo& info);
    // 1 when found, else 0; an empty id reads nothing.
    int GetOemFirmwareByCustModel(std::string custModelId, std::string filePath, FirmwareFileInfo& info);
    // The last matching SKU and area wins.
    bool GetParamFirmwareBySku(std::string skuId, std::string areaId, std::string filePath, FirmwareFileInfo& info);
    int GetParamFirmwareByRegistered(std::string mcc, std::string filePath, FirmwareFileInfo& info);
    // Exact carrier, else the "default" carrier, else four empty texts; true when the list was found.
    bool GetPackageInfo(std::string carrierId, std::string filePath, CarrierPackInfo& info);
    // An empty path reads "FwPackageInfo.xml" of the current folder.
    bool GetFwPackageInfo(std::string filePath, FwPackageInfo& info);
    // Reads the worker's image mapping table; 1 on a match, else 0.
    int getCfgPkInfo(std::string configId, std::string mcc, CfgPkInfo& info);
    // -1 do not act, 0 enabled, 0x100 SKU black-listed, 1 MCC-MNC black-listed.
    // An empty text stands for a value not given.
    int getEsimDisableType(std::string filePath, std::string sku, std::string mccmnc);
    // Marks the worker's flash layout's partitions and saves it; true when saved.
    bool GetScatterDownloadInfo(std::string downloadList);
};
