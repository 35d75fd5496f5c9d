#include "config/CXmlTableReader.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "common/CLog.h"
#include "common/TextHelpers.h"
#include "config/CXmlFile.h"
#include "config/CXmlTableWalk.h"
#include "modem/CAtText.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/registry.h"

using tinyxml2::XMLElement;

namespace {

constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_32KEY;
constexpr REGSAM kWriteAccess = KEY_WRITE | KEY_WOW64_32KEY;
constexpr DWORD kTextBufferSize = 125;
constexpr std::size_t kMaxNameLength = 259;

void Log(int type, const std::string& message) { CLog::GetInstance()->WriteLog(type, message); }

std::string RegTypeName(DWORD type) {
    switch (type) {
        case REG_NONE: return "REG_NONE";
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_QWORD: return "REG_QWORD";
        default: return std::to_string(type);
    }
}

// What a 260-character buffer would hold.
std::string Bounded(const std::string& text) {
    std::string bounded(text.c_str());
    if (bounded.size() > kMaxNameLength) bounded.resize(kMaxNameLength);
    return bounded;
}

// A missing attribute reads as an empty text.
std::string Attr(const XMLElement* element, const char* name) {
    const char* value = element->Attribute(name);
    return value ? value : "";
}

// A missing attribute matches nothing.
bool AttrEquals(const XMLElement* element, const char* name, const std::string& expected) {
    const char* value = element->Attribute(name);
    return value && expected == value;
}

// Leading decimal digits (after blanks and tabs, with an optional sign) as a number; false when
// there are none or the number does not fit an int.
bool ParseDecimal(const std::string& text, long long& number) {
    return ParseNumber(text, {.blanks = " \t", .lowest = -0x7FFFFFFFLL, .highest = 0x7FFFFFFFLL, .saturate = false},
                       number);
}

// The settings INI: "KvConfigService\kvwwanConfig.ini" under the parent folder of the
// executable's folder; empty when the executable path has fewer than two backslashes.
std::string SettingsIniPath() {
    std::vector<char> module(520, '\0');
    DWORD length = GetModuleFileNameA(nullptr, module.data(), static_cast<DWORD>(module.size()));
    std::string path(module.data(), std::min<std::size_t>(length, module.size() - 1));
    std::size_t last = path.rfind('\\');
    if (last == std::string::npos || last == 0) return "";
    std::size_t parent = path.rfind('\\', last - 1);
    if (parent == std::string::npos) return "";
    return path.substr(0, parent + 1) + "KvConfigService\\kvwwanConfig.ini";
}

std::string ReadSarMapType() {
    std::string ini = SettingsIniPath();
    if (ini.empty()) return "";
    char buffer[20] = {};
    GetPrivateProfileStringA("Setting", "SarMapType", "", buffer, sizeof buffer, ini.c_str());
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

// 1 to 5 for the map types, 0 for a name that is none of them.
int MapTypeOf(const std::string& name) {
    if (name == "MapType_1") return 1;
    for (int type = 2; type <= 5; ++type)
        if (name.find("MapType_" + std::to_string(type)) != std::string::npos) return type;
    return 0;
}

struct ItemKey {
    const char* name;
    const std::string* value;
};

}  // namespace

// --- Registry values ----------------------------------------------------------------

int CXmlTableReader::GetRegKeyValue(std::string keyPath, std::string valueName, DWORD& result) {
    Log(4, "GetRegKeyValue enter.");
    Log(4, keyPath);
    Log(4, valueName);
    const std::string key = Bounded(keyPath);
    const std::string name = Bounded(valueName);
    int status = 1;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, kReadAccess, &handle) != ERROR_SUCCESS) {
        Log(1, "RegOpenKeyEx error");
    } else {
        DWORD value = 0;
        DWORD size = sizeof value;
        DWORD type = REG_NONE;
        const LSTATUS query =
            RegQueryValueExA(handle, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
        // Only a REG_DWORD is a number: the bytes of a text or a binary value
        // would read as one that nobody wrote.
        const bool found = query == ERROR_SUCCESS || query == ERROR_MORE_DATA;
        if (!found || type != REG_DWORD || size != sizeof value) {
            Log(1, "RegQueryValueEx error");
            if (found && type != REG_DWORD) Log(1, "RegQueryValueEx type " + RegTypeName(type) + " is not REG_DWORD");
        } else {
            result = value;
            status = 0;
        }
        RegCloseKey(handle);
    }
    Log(4, "GetRegKeyValue done.");
    return status;
}

int CXmlTableReader::GetRegKeyValue(std::string keyPath, std::string valueName, std::string& result) {
    Log(4, "GetRegKeyValue enter.");
    int status = 1;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, kReadAccess, &handle) != ERROR_SUCCESS) {
        Log(1, "RegOpenKeyEx error");
    } else {
        char buffer[kTextBufferSize] = {};
        DWORD size = kTextBufferSize;
        bool read = RegQueryValueExA(handle, valueName.c_str(), nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer),
                                     &size) == ERROR_SUCCESS;
        if (read) {
            // The value need not end in a zero: only the bytes returned count.
            std::size_t length = strnlen(buffer, std::min<DWORD>(size, kTextBufferSize));
            read = length < kTextBufferSize;
            if (read) result.assign(buffer, length);
        }
        if (read) {
            status = 0;
        } else {
            Log(1, "RegQueryValueEx error");
        }
        RegCloseKey(handle);
    }
    if (status != 0) result.clear();
    Log(4, "GetRegKeyValue done.");
    return status;
}

int CXmlTableReader::SetRegKeyValue(std::string keyPath, std::string valueName, DWORD value, DWORD type) {
    Log(4, keyPath);
    Log(4, valueName);
    const std::string key = Bounded(keyPath);
    const std::string name = Bounded(valueName);
    int status = 1;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, kWriteAccess, &handle) != ERROR_SUCCESS) {
        Log(1, "RegOpenKeyEx error");
    } else {
        if (RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(&value), sizeof value) !=
            ERROR_SUCCESS) {
            Log(1, "RegSetValueEx error");
        } else {
            status = 0;
        }
        RegCloseKey(handle);
    }
    Log(4, "SetRegKeyValue done.");
    return status;
}

int CXmlTableReader::SetRegKeyValueString(std::string keyPath, std::string valueName, std::string value) {
    Log(4, keyPath);
    Log(4, valueName);
    Log(4, value);
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, kWriteAccess, &handle) != ERROR_SUCCESS) {
        Log(1, "RegOpenKeyEx error");
        return 1;
    }
    int status = 0;
    if (RegSetValueExA(handle, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS) {
        Log(1, "RegSetValueEx error");
        status = 1;
    }
    RegCloseKey(handle);
    return status;
}

// --- Mapping tables -------------------------------------------------------------------

int CXmlTableReader::getRegulatoryByMcc(std::string tablePath, std::string mcc, std::string& region) {
    Log(4, "getRegulatoryByMcc enter.");
    Log(4, tablePath);
    Log(4, mcc);
    region.clear();
    int result = 0;

    CXmlFile file;
    XMLElement* selectionRule =
        WalkXmlLevels(LoadXmlRoot(file, tablePath, "RegionMappingTable load faild.", "RootElement xml item error."),
                      {{"RegionSwitch", "RegionSwitch xml item error."}, {"SelectionRule", "SelectionRule xml item error."}});
    if (selectionRule) {
        for (XMLElement* entry = selectionRule->FirstChildElement("Region"); entry;
             entry = entry->NextSiblingElement()) {
            const char* entryMcc = entry->Attribute("mcc");
            if (!entryMcc) continue;
            const std::string lowered = ToLowerCopy(entryMcc);
            if (lowered == mcc) {
                region = Attr(entry, "Regulatory");
                result = 1;
                break;
            }
            if (lowered == "default") {
                region = Attr(entry, "Regulatory");
                result = 2;
            }
        }
    }

    std::string closing;
    if (region.empty()) {
        region = "FCC";
        closing = "region not find, and not default region, so set region=FCC";
    } else if (result == 1) {
        closing = "region find, region=" + region;
    } else {
        closing = "registration mcc is null, or region not find, default region=" + region;
    }
    region = CAtText::Upper(region);
    Log(4, closing);
    Log(4, "getRegulatoryByMcc done.");
    return result;
}

bool CXmlTableReader::getWwanDeviceConfigID(std::string tablePath, std::string& configId) {
    Log(4, "getWwanDeviceConfigID enter.");
    Log(4, tablePath);

    CXmlFile file;
    XMLElement* table = WalkXmlLevels(
        LoadXmlRoot(file, tablePath, "WwanDeviceIdImageMappingTable.xml load faild. ", "RootElement xml item error."),
        {{"WwanDeviceConfigureIDTable", "WwanDeviceConfigureidTable xml item error."}});
    if (!table) return false;
    XMLElement* skuTable = WalkXmlLevels(
        table, {{"UniqueSkuIDToWwanDeviceConfigureIDMappingTable", "UniqueSkuIDToWwanDeviceConfigureIDMappingTable error."}});
    if (!skuTable) return false;
    XMLElement* pathTable =
        WalkXmlLevels(table, {{"CustProductNamePathToUniqueSkuID", "CustProductNamePathToUniqueSkuID error."}});
    if (!pathTable) return false;

    const std::string mode = ToLowerCopy(Attr(pathTable, "CombineMode"));
    const std::string pathNumber = Attr(pathTable, "CustProductNamePathNumber");

    // Reads the value one "RegistryPath" names; false when it is malformed or unreadable.
    auto readPath = [this](const XMLElement* element, std::string& value) {
        const std::string registryPath = Attr(element, "RegistryPath");
        const std::size_t comma = registryPath.find(',');
        if (comma == std::string::npos || comma == 0) return false;
        return GetRegKeyValue(registryPath.substr(0, comma), registryPath.substr(comma + 1), value) == 0;
    };
    // The first UniqueSkuID whose ProductID equals `productId`, letter case aside.
    auto findSku = [skuTable](const std::string& productId) -> XMLElement* {
        for (XMLElement* sku = skuTable->FirstChildElement("UniqueSkuID"); sku; sku = sku->NextSiblingElement()) {
            const char* id = sku->Attribute("ProductID");
            if (id && StrEqualNoCase(id, productId)) return sku;
        }
        return nullptr;
    };
    auto found = [&configId](const std::string& id) {
        configId = id;
        Log(4, "getWwanDeviceConfigID OK. WwanDeviceConfigID = " + id);
        return true;
    };
    XMLElement* firstPath = pathTable->FirstChildElement("CustProductNamePath");

    if (mode == "single") {
        for (XMLElement* path = firstPath; path; path = path->NextSiblingElement()) {
            std::string value;
            if (!readPath(path, value)) continue;
            Log(4, "Read the Registry Key Value = " + value);
            if (XMLElement* sku = findSku(value)) {
                const std::string id = Attr(sku, "WwanDeviceConfigID");
                Log(4, id);
                return found(id);
            }
        }
    } else if (mode == "combine") {
        std::string joined;
        for (XMLElement* path = firstPath; path; path = path->NextSiblingElement()) {
            std::string value;
            if (!readPath(path, value)) continue;
            joined += joined.empty() ? value : "_" + value;
        }
        Log(4, "Read the Registry Key Value = " + joined);
        if (XMLElement* sku = findSku(joined)) return found(Attr(sku, "WwanDeviceConfigID"));
    } else if (mode == "search") {
        long long n = 0;
        if (!ParseDecimal(pathNumber, n)) n = 0;
        std::vector<std::string> values;
        for (XMLElement* path = firstPath; path; path = path->NextSiblingElement()) {
            std::string value;
            if (!readPath(path, value)) continue;
            Log(4, "Read the Registry Key Value = " + value);
            values.push_back(value);
        }
        if (n < 1 || n > 3 || values.size() < static_cast<std::size_t>(n)) {
            Log(4, "CustProductNamePathNumber is invalid.");
            return false;
        }
        std::map<std::string, std::string> skus;
        for (XMLElement* sku = skuTable->FirstChildElement("UniqueSkuID"); sku; sku = sku->NextSiblingElement()) {
            const char* id = sku->Attribute("ProductID");
            if (id) skus[id] = Attr(sku, "WwanDeviceConfigID");
        }
        std::vector<std::string> candidates;
        const std::size_t count = values.size();
        if (n == 3)
            for (std::size_t i = 0; i < count; ++i)
                for (std::size_t j = i + 1; j < count; ++j)
                    for (std::size_t k = j + 1; k < count; ++k)
                        candidates.push_back(values[i] + "_" + values[j] + "_" + values[k]);
        if (n >= 2)
            for (std::size_t i = 0; i < count; ++i)
                for (std::size_t j = i + 1; j < count; ++j) candidates.push_back(values[i] + "_" + values[j]);
        candidates.insert(candidates.end(), values.begin(), values.end());
        for (const auto& [productId, id] : skus)
            for (const std::string& candidate : candidates)
                if (StrEqualNoCase(candidate, productId)) return found(id);
    }

    Log(4, "getWwanDeviceConfigID not find.");
    Log(4, "getWwanDeviceConfigID done.");
    return false;
}

int CXmlTableReader::GetSarIndexFromXml(std::string tablePath, std::string configId, std::string region,
                                        std::string sensor3, std::string deviceMode, std::string sensor2,
                                        std::string sensor1) {
    Log(4, "GetSarIndexFromXml enter");
    if (region.empty()) {
        Log(1, "regmcc is null");
        return -1;
    }
    Log(4, tablePath);
    CXmlFile file;
    auto fail = [](const char* message) {
        Log(1, message);
        return -1;
    };
    XMLElement* root = LoadXmlRoot(file, tablePath, "LoadFile Failed", "RootElement xml item error.");
    XMLElement* banned = WalkXmlLevels(root, {{"WwanDeviceConfigID_BlackList", "WwanDeviceConfigID_BlackList xml item error."},
                                              {"WwanDeviceConfigID", "WwanDeviceConfigIDElement xml item error."}});
    if (!banned) return -1;
    for (; banned; banned = banned->NextSiblingElement())
        if (AttrEquals(banned, "WwanDeviceConfigIDValue", configId))
            return fail("WwanDeviceConfigID is in WwanDeviceConfigID_BlackList!Stop config!");
    Log(4, "WwanDeviceConfigID is not in WwanDeviceConfigID_BlackList,continue...");

    const std::string sarMapType = ReadSarMapType();
    Log(4, "Find SarMapType from kvwwanConfig.ini,SarMapType = " + sarMapType);

    XMLElement* entry = WalkXmlLevels(root, {{"WwanDeviceConfigIDList", "WwanDeviceConfigIDListElement xml item error."},
                                             {"WwanDeviceConfigID", "WwanDeviceConfigIDElement xml item error."}});
    if (!entry) return -1;
    Log(4, "Find WwanDeviceConfigID begin ----------------------------");
    XMLElement* chosen = nullptr;
    XMLElement* fallback = nullptr;
    for (; entry; entry = entry->NextSiblingElement()) {
        Log(4, Attr(entry, "ID"));
        if (AttrEquals(entry, "ID", configId)) {
            Log(4, "WwanDeviceConfigID find in WwanDeviceConfigIDList.");
            chosen = entry;
            break;
        }
        if (AttrEquals(entry, "ID", "default")) {
            Log(4, "Defalut_WwanDeviceConfigID find in WwanDeviceConfigIDList.");
            fallback = entry;
        }
    }
    Log(4, "Find WwanDeviceConfigID end ----------------------------");
    if (!chosen) {
        if (!fallback) return fail("WwanDeviceConfigID and Default_WwanDeviceConfigID not exist in WwanDeviceConfigIDList.");
        Log(4, "Use default WwanDeviceConfigID in WwanDeviceConfigIDList.");
        chosen = fallback;
    }

    // An empty map name names no element.
    XMLElement* standard = WalkXmlLevels(chosen, {{"SwitchTable", "SwitchTableElement xml item error."},
                                                  {"SarTableIndex", "SarTableIndexElement xml item error."},
                                                  {sarMapType.c_str(), "MapTypeElement xml item error."},
                                                  {"Standard", "StandardElement xml item error."}});
    if (!standard) return -1;

    const int mapType = MapTypeOf(sarMapType);
    std::string index;
    if (mapType == 1) {
        // A table may end in a catch-all: without a match the last Standard's index holds.
        for (; standard; standard = standard->NextSiblingElement()) {
            index = Attr(standard, "Index");
            const char* value = standard->Attribute("Value");
            if (value && CAtText::Upper(value) == region) break;
        }
    } else if (mapType >= 2) {
        for (; standard; standard = standard->NextSiblingElement()) {
            const char* value = standard->Attribute("Value");
            if (value && CAtText::Upper(value) == region) break;
        }
        if (!standard) return fail("StandardElement xml item error.");

        const ItemKey keyDeviceMode{"DeviceMode", &deviceMode};
        const ItemKey keySensor1{"Sensor1", &sensor1};
        const ItemKey keySensor2{"Sensor2", &sensor2};
        const ItemKey keySensor3{"Sensor3", &sensor3};
        std::vector<ItemKey> keys;
        std::vector<ItemKey> checks;
        switch (mapType) {
            case 2:
                keys = checks = {keyDeviceMode};
                break;
            case 3:
                keys = checks = {keyDeviceMode, keySensor1};
                break;
            case 4:
                keys = checks = {keySensor1, keyDeviceMode, keySensor2};
                break;
            default:
                keys = {keySensor1, keySensor2, keySensor3, keyDeviceMode};
                checks = {keySensor1, keyDeviceMode, keySensor2, keySensor3};
                break;
        }
        for (const ItemKey& check : checks)
            if (check.value->empty()) {
                Log(1, std::string(check.name) + " is null!");
                return -1;
            }

        XMLElement* item = standard->FirstChildElement();
        if (!item) return fail("ItemElement xml item error.");
        for (; item; item = item->NextSiblingElement()) {
            bool match = true;
            for (const ItemKey& key : keys) match = match && AttrEquals(item, key.name, *key.value);
            if (match) break;
        }
        if (!item) return fail("ItemElement xml item not found.");
        index = Attr(item, "Index");
        Log(4, "SarIndex:" + index);
    } else {
        return -1;
    }

    // An index that is no number must not select table 0.
    long long number = 0;
    if (!ParseDecimal(index, number) || number < 0) {
        Log(1, "SarIndex is invalid:" + index);
        return -1;
    }
    Log(4, "GetSarIndexFromXml done");
    return static_cast<int>(number);
}

namespace {

// root / WwanDeviceConfigIDList / first WwanDeviceConfigID / SwitchTable / AntTurnerTableIndex,
// logging the first missing level; null then.
XMLElement* FindAntTurnerTable(CXmlFile& file, const std::string& path) {
    return WalkXmlLevels(
        LoadXmlRoot(file, path, "Xml is not found,GetXmlVersion failed!", "rootElement is not found,GetXmlVersion failed!"),
        {{"WwanDeviceConfigIDList", "WwanDeviceConfigIDList is not found,GetXmlVersion failed!"},
         {"WwanDeviceConfigID", "WwanDeviceConfigID is not found,GetXmlVersion failed!"},
         {"SwitchTable", "SwitchTable is not found,GetXmlVersion failed!"},
         {"AntTurnerTableIndex", "AntTurnerTableIndex is not found,GetXmlVersion failed!"}});
}

}  // namespace

bool CXmlTableReader::GetIndexByAnt(std::string tablePath, std::string deviceMode, std::string& index) {
    Log(1, "GetIndexByAnt enter");
    CXmlFile file;
    XMLElement* antTable = FindAntTurnerTable(file, tablePath);
    if (!antTable) return false;
    XMLElement* item = antTable->FirstChildElement("Item");
    if (!item) {
        Log(1, "Item is not found,GetXmlVersion failed!");
        return false;
    }
    for (; item; item = item->NextSiblingElement()) {
        if (!AttrEquals(item, "DeviceMode", deviceMode)) continue;
        index = Attr(item, "Index");
        Log(4, "AntTurnerTableIndex:" + index);
        Log(1, "GetIndexByAnt end");
        return true;
    }
    Log(1, "ItemNode xml item not found.");
    return false;
}

int CXmlTableReader::IsSarTableIndexEnable(std::string tablePath) {
    Log(1, "IsSarTableIndexEnable enter");
    CXmlFile file;
    XMLElement* antTable = FindAntTurnerTable(file, tablePath);
    if (!antTable) return 0;
    // Only an explicit "false" switches the SAR index off; a table without the element keeps it on.
    XMLElement* sarTable = antTable->NextSiblingElement("SarTableIndex");
    if (sarTable && AttrEquals(sarTable, "FlagValue", "false")) {
        Log(4, "SarTableIndex FlagValue is false,stop config SarTableIndex!");
        return 0;
    }
    Log(1, "IsSarTableIndexEnable end");
    return 1;
}

bool CXmlTableReader::GetXmlVersion(std::string path, std::string& version) {
    CXmlFile file;
    XMLElement* element = WalkXmlLevels(
        LoadXmlRoot(file, path, "Xml is not found,GetXmlVersion failed!", "rootElement is not found,GetXmlVersion failed!"),
        {{"XmlVer", "XmlVer is not found,GetXmlVersion failed!"}});
    if (!element) return false;
    const char* text = element->GetText();
    version = text ? text : "";
    Log(4, "Xml version:" + version);
    return true;
}

// --- Text helpers -----------------------------------------------------------------------

std::string CXmlTableReader::ToLowerCopy(std::string text) { return ::ToLowerCopy(std::move(text)); }

bool CXmlTableReader::StrEqualNoCase(std::string a, std::string b) { return ::StrEqualNoCase(a, b); }

int CXmlTableReader::AlwaysTrue(std::string) { return 1; }
