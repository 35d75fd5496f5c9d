// The carrier-switching, firmware-package, eSIM black-list and flash-layout readers.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "common/CLog.h"
#include "common/TextHelpers.h"
#include "config/CXmlFile.h"
#include "config/CXmlTableWalk.h"
#include "config/CXmlTableReader.h"
#include "config/CfgPkInfo.h"
#include "config/FirmwareFileInfo.h"
#include "config/FwPackageInfo.h"
#include "core/CStateWork.h"
#include "core/CarrierPackInfo.h"

using tinyxml2::XMLElement;

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

std::string Text(const XMLElement* element) {
    const char* text = element ? element->GetText() : nullptr;
    return text ? text : "";
}

std::string Attr(const XMLElement* element, const char* name) {
    const char* value = element ? element->Attribute(name) : nullptr;
    return value ? value : "";
}

bool AttrIs(const XMLElement* element, const char* name, const std::string& wanted) {
    const char* value = element->Attribute(name);
    return value && wanted == value;
}

// The first child named `name`, then every following sibling of any name.
template <class Visit>
void ForEach(XMLElement* parent, const char* name, Visit visit) {
    for (XMLElement* e = parent ? parent->FirstChildElement(name) : nullptr; e; e = e->NextSiblingElement())
        if (!visit(e)) return;
}

XMLElement* Path(XMLElement* from, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (!from) return nullptr;
        from = from->FirstChildElement(name);
    }
    return from;
}

// Hexadecimal as strtoll reads it: blanks, a sign, "0x", digits up to the first
// other character; saturates at the 64-bit limits.
std::int64_t ReadHex(const std::string& text) {
    long long value = 0;
    ParseNumber(text, {.base = 16, .lowest = LLONG_MIN, .highest = LLONG_MAX}, value);
    return value;
}

// Decimal as atoi reads it, held within the 32-bit range.
int ReadDecimal(const std::string& text) {
    long long value = 0;
    ParseNumber(text, {}, value);
    return static_cast<int>(value);
}

bool RangeMatches(const std::string& iccid, const std::string& min, const std::string& max) {
    // Equal bounds name one ICCID; reading empty rests as 0 would let longer ones in.
    if (min == max) return iccid == min;
    std::size_t split = 0;
    for (std::size_t i = 0; i < min.size(); ++i) {
        if (i >= max.size() || min[i] != max[i]) {
            split = i;
            break;
        }
    }
    if (iccid.size() < split || iccid.compare(0, split, min, 0, split) != 0) return false;
    const std::int64_t lo = ReadHex(min.substr(split));
    const std::int64_t hi = ReadHex(max.substr(split));
    const std::int64_t value = ReadHex(iccid.substr(split));
    return lo <= value && value <= hi;
}

// File, Ver, Type and Count of one firmware element.
void TakeFirmware(const XMLElement* firmware, std::string& file, std::string& ver, std::string& type,
                  std::string& count) {
    file = Attr(firmware, "File");
    ver = Attr(firmware, "Ver");
    type = Attr(firmware, "Type");
    count = Attr(firmware, "Count");
}

void TakeParamFirmware(const XMLElement* firmware, FirmwareFileInfo& info) {
    TakeFirmware(firmware, info.m_strParamFile, info.m_strParamVer, info.m_strParamType, info.m_strParamCount);
}

}  // namespace

int CXmlTableReader::GetCarrierByIccidRange(std::string iccid, std::string filePath, std::string& carrier) {
    CXmlFile file;
    if (!file.Load(filePath)) return 0;
    XMLElement* table = Path(file.Root(), {"SwitchingRule", "SelectionRule", "ICCIDTable"});
    int result = 0;
    ForEach(table, "Range", [&](XMLElement* range) {
        const char* min = range->Attribute("min");
        const char* max = range->Attribute("max");
        if (!min || !max || !RangeMatches(iccid, min, max)) return true;
        carrier = Text(range);
        result = 1;
        return false;
    });
    return result;
}

bool CXmlTableReader::GetCarrierByMcc(std::string mcc, std::string filePath, std::string& carrier) {
    CXmlFile file;
    if (!file.Load(filePath)) return false;
    bool found = false;
    ForEach(Path(file.Root(), {"SwitchingRule", "SelectionRule", "MCCTable"}), "Item", [&](XMLElement* item) {
        if (!AttrIs(item, "mcc", mcc)) return true;
        carrier = Text(item);
        found = true;
        return false;
    });
    return found;
}

bool CXmlTableReader::GetCarrierIdByMccmnc(std::string mccmnc, std::string filePath, std::string& carrierId) {
    Log(4, "GetCarrierId by Mccmnc enter.");
    auto fail = [](const char* message) {
        Log(1, message);
        Log(4, "GetCarrierId by Mccmnc done.");
        return false;
    };
    CXmlFile file;
    if (!file.Load(filePath)) {
        Log(1, "load xml error.");
        return fail(filePath.c_str());
    }
    XMLElement* root = file.Root();
    if (!root) return fail("RootElement xml item error.");
    XMLElement* switching = root->FirstChildElement("SwitchingRule");
    if (!switching) return fail("switchingRuleNode is null.");
    XMLElement* selection = switching->FirstChildElement("SelectionRule");
    if (!selection) return fail("selectionRuleNode is null.");
    XMLElement* table = selection->FirstChildElement("MCCMNCTable");
    if (!table) return fail("MCCMNCTable node is null.");
    ForEach(table, "Item", [&](XMLElement* item) {
        if (!AttrIs(item, "mccmnc", mccmnc)) return true;
        carrierId = Text(item);
        return false;
    });
    Log(4, "Carrier id:");
    Log(4, carrierId);
    Log(4, "GetCarrierId by Mccmnc done.");
    return true;
}

int CXmlTableReader::GetSelectionRuleItemByMcc(std::string mcc, std::string filePath) {
    CXmlFile file;
    if (!file.Load(filePath)) return 0;
    std::string carrier;
    ForEach(Path(file.Root(), {"SelectionRule"}), "Item", [&](XMLElement* item) {
        if (!AttrIs(item, "mcc", mcc)) return true;
        carrier = Text(item);
        return false;
    });
    return 0;
}

bool CXmlTableReader::GetCarrierFirmwareList(std::string carrierId, std::string filePath, FirmwareFileInfo& info) {
    CXmlFile file;
    if (!file.Load(filePath)) return false;
    bool found = false;
    ForEach(Path(file.Root(), {"CarrierList"}), "Carrier", [&](XMLElement* carrier) {
        if (!AttrIs(carrier, "id", carrierId)) return true;
        // A firmware element the carrier lacks leaves its fields as they were.
        if (XMLElement* ap = carrier->FirstChildElement("APFirmware"))
            TakeFirmware(ap, info.m_strApFile, info.m_strApVer, info.m_strApType, info.m_strApCount);
        if (XMLElement* md = carrier->FirstChildElement("MDFirmware"))
            TakeFirmware(md, info.m_strMdFile, info.m_strMdVer, info.m_strMdType, info.m_strMdCount);
        if (XMLElement* op = carrier->FirstChildElement("OPFirmware"))
            TakeFirmware(op, info.m_strOpFile, info.m_strOpVer, info.m_strOpType, info.m_strOpCount);
        info.m_strId = carrierId;
        found = true;
        return false;
    });
    return found;
}

int CXmlTableReader::GetOemFirmwareByCustModel(std::string custModelId, std::string filePath, FirmwareFileInfo& info) {
    if (custModelId.empty()) return 0;
    CXmlFile file;
    if (!file.Load(filePath)) return 0;
    int result = 0;
    ForEach(Path(file.Root(), {"CarrierList"}), "CustModel", [&](XMLElement* model) {
        XMLElement* oem = AttrIs(model, "id", custModelId) ? model->FirstChildElement("OEMFirmware") : nullptr;
        if (!oem) return true;
        TakeParamFirmware(oem, info);
        if (XMLElement* table = oem->FirstChildElement("Switch_table")) info.m_strSwitchTableFile = Attr(table, "File");
        info.m_strId = custModelId;
        result = 1;
        return false;
    });
    return result;
}

bool CXmlTableReader::GetParamFirmwareBySku(std::string skuId, std::string areaId, std::string filePath,
                                            FirmwareFileInfo& info) {
    CXmlFile file;
    if (!file.Load(filePath)) return false;
    bool found = false;
    ForEach(file.Root(), "SKU_GUID", [&](XMLElement* sku) {
        if (!AttrIs(sku, "ID", skuId)) return true;
        ForEach(sku, "Area", [&](XMLElement* area) {
            XMLElement* param = AttrIs(area, "ID", areaId) ? area->FirstChildElement("PARAMFirmware") : nullptr;
            if (!param) return true;
            TakeParamFirmware(param, info);
            found = true;
            return false;
        });
        return true;  // a later SKU_GUID may match again and overwrite
    });
    return found;
}

int CXmlTableReader::GetParamFirmwareByRegistered(std::string mcc, std::string filePath, FirmwareFileInfo& info) {
    CXmlFile file;
    if (!file.Load(filePath)) return 0;
    int result = 0;
    ForEach(Path(file.Root(), {"SwitchingRule"}), "Registered", [&](XMLElement* registered) {
        XMLElement* param = AttrIs(registered, "mcc", mcc) ? registered->FirstChildElement("PARAMFirmware") : nullptr;
        if (!param) return true;
        TakeParamFirmware(param, info);
        result = 1;
        return false;
    });
    return result;
}

bool CXmlTableReader::GetPackageInfo(std::string carrierId, std::string filePath, CarrierPackInfo& info) {
    CXmlFile file;
    XMLElement* list = WalkXmlLevels(LoadXmlRoot(file, filePath, "package_info.xml load failed", "RootElement failed"),
                                     {{"CarrierList", "CarrierList failed"}});
    if (!list) return false;
    struct Values {
        std::string firmwareFile, firmwareVer, custPackFile, custPackVer;
    };
    auto take = [](XMLElement* carrier) {
        XMLElement* firmware = carrier->FirstChildElement("Firmware");
        XMLElement* custPack = carrier->FirstChildElement("CustPack");
        return Values{Attr(firmware, "File"), Attr(firmware, "Ver"), Attr(custPack, "File"), Attr(custPack, "Ver")};
    };
    Values chosen;
    ForEach(list, "Carrier", [&](XMLElement* carrier) {
        if (AttrIs(carrier, "id", carrierId)) {
            chosen = take(carrier);
            return false;
        }
        if (AttrIs(carrier, "id", "default")) chosen = take(carrier);
        return true;
    });
    info.strFwFile = chosen.firmwareFile;
    info.strFwVersion = chosen.firmwareVer;
    info.strCustPackFile = chosen.custPackFile;
    info.strCustPackVersion = chosen.custPackVer;
    return true;
}

bool CXmlTableReader::GetFwPackageInfo(std::string filePath, FwPackageInfo& info) {
    if (filePath.empty()) filePath = "FwPackageInfo.xml";
    CXmlFile file;
    if (!file.Load(filePath)) return false;
    XMLElement* root = file.Root();
    XMLElement* version = root ? root->FirstChildElement("PackageVer") : nullptr;
    XMLElement* type = root ? root->FirstChildElement("PackageType") : nullptr;
    XMLElement* list = root ? root->FirstChildElement("CarrierList") : nullptr;
    if (!version || !type || !list) return false;
    FwPackageInfo package;
    package.m_strPackageVer = Text(version);
    package.m_strPackageType = Text(type);
    ForEach(list, "Carrier", [&](XMLElement* carrier) {
        FirmwareFileInfo firmware;
        firmware.m_strId = Attr(carrier, "id");
        firmware.m_strPackageVer = Attr(carrier, "ver");
        XMLElement* image = carrier->FirstChildElement("FWImage");
        firmware.m_strImageFile = Attr(image, "file");
        firmware.m_strImageVer = Attr(image, "ver");
        XMLElement* custPack = carrier->FirstChildElement("CustPack");
        firmware.m_strCustPackFile = Attr(custPack, "file");
        firmware.m_strCustPackVer = Attr(custPack, "ver");
        package.AppendFirmware(firmware);
        return true;
    });
    package.CopyTo(info);
    return true;
}

int CXmlTableReader::getEsimDisableType(std::string filePath, std::string sku, std::string mccmnc) {
    Log(4, "getEsimDisableType enter.");
    Log(4, filePath);
    if (sku.empty() && mccmnc.empty()) {
        Log(1, "SKU & Imsi is null");
        return -1;
    }
    CXmlFile file;
    if (!file.Load(filePath)) {
        Log(1, "Esim disable xml load faild.");
        Log(1, filePath);
        return -1;
    }
    XMLElement* root = file.Root();
    if (!root) {
        Log(1, "RootElement xml item error.");
        return -1;
    }
    XMLElement* flag = root->FirstChildElement("TableEnableFlag");
    if (!flag) {
        Log(1, "TableEnableFlag xml item error.");
        return -1;
    }
    const std::string flagValue = Attr(flag, "FlagValue");
    if (StrEqualNoCase(flagValue, "False")) {
        Log(4, "FlagValue is false,not need to set esim disable.");
        return -1;
    }
    if (!StrEqualNoCase(flagValue, "True")) {
        Log(4, "Main disable error.");
        return -1;
    }
    if (!sku.empty()) {
        XMLElement* list = root->FirstChildElement("SKU_BlackList");
        if (!list) {
            Log(4, "SKU black xml item error.");
            return -1;
        }
        bool listed = false;
        ForEach(list, "SKU", [&](XMLElement* entry) {
            listed = StrEqualNoCase(Attr(entry, "SKUValue"), sku);
            return !listed;
        });
        if (listed) {
            Log(4, "Sku in black list");
            Log(4, "getEsimDisableType done.");
            return 0x100;
        }
    }
    if (!mccmnc.empty()) {
        XMLElement* list = root->FirstChildElement("IMSI_BlackList");
        if (!list) {
            Log(4, "IMSI black xml item error.");
            return -1;
        }
        bool listed = false;
        ForEach(list, "MCCMNC", [&](XMLElement* entry) {
            const std::string value = Attr(entry, "MCCMNCValue");
            Log(4, mccmnc);
            Log(4, value);
            listed = value == mccmnc;
            return !listed;
        });
        if (listed) {
            Log(4, "MccMnc in black list");
            Log(4, "getEsimDisableType done.");
            return 1;
        }
    }
    Log(4, "getEsimDisableType done.");
    return 0;
}

int CXmlTableReader::getCfgPkInfo(std::string configId, std::string mcc, CfgPkInfo& info) {
    Log(4, "getCfgPkInfo enter.");
    Log(4, configId);
    Log(4, mcc);
    const std::string path = CStateWork::GetInstance()->GetDeviceIdImageMappingTablePath();
    if (!mcc.empty()) {
        Log(4, "getCfgPkInfo mcc is not null.");
        CXmlFile file;
        if (!file.Load(path)) {
            Log(4, "LoadFile xml failed:");
            Log(1, path);
        } else if (!file.Root()) {
            Log(4, "RootElement failed:");
        } else {
            bool found = false;
            XMLElement* table = file.Root()->FirstChildElement("WwanDeviceConfigureIDToImageMappingTable");
            ForEach(table, "WwanDeviceConfigID", [&](XMLElement* device) {
                if (!AttrIs(device, "ID", configId)) return true;
                ForEach(device, "Standard", [&](XMLElement* standard) {
                    XMLElement* firmware =
                        AttrIs(standard, "Value", mcc) ? standard->FirstChildElement("DEVFirmware") : nullptr;
                    if (!firmware) return true;
                    info.m_strFwFile = Attr(firmware, "File");
                    info.m_strFwVer = Attr(firmware, "Ver");
                    info.m_strFwType = Attr(firmware, "Type");
                    info.m_nFwCount = ReadDecimal(Attr(firmware, "Count"));
                    info.m_strStandard = Attr(standard, "Value");
                    info.m_strInfo3.clear();
                    found = true;
                    return false;
                });
                return !found;
            });
            if (found) {
                Log(4, "getCfgPkInfo find map.");
                Log(4, "getCfgPkInfo done.");
                return 1;
            }
        }
    }
    Log(4, "getCfgPkInfo not find map.");
    Log(4, "getCfgPkInfo done.");
    return 0;
}

bool CXmlTableReader::GetScatterDownloadInfo(std::string downloadList) {
    if (downloadList.empty()) return false;
    const std::string path = CStateWork::GetInstance()->GetScatterFilePath();
    CXmlFile file;
    if (!file.Load(path)) return false;
    XMLElement* root = file.Root();
    XMLElement* storage = root ? root->FirstChildElement("storage_type") : nullptr;
    if (!root || !root->FirstChildElement("general") || !storage) return false;
    ForEach(storage, "partition_index", [&](XMLElement* partition) {
        if (XMLElement* mark = partition->FirstChildElement("is_download")) {
            const bool listed = downloadList.find(";" + Text(mark) + ";") != std::string::npos;
            mark->SetText(listed ? "true" : "false");
        }
        return true;
    });
    // A layout that could not be written back is no success.
    return file.Save(path);
}
