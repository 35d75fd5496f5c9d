#include "config/CXmlCfgReader.h"

#include <tinyxml2.h>

#include "common/CLog.h"
#include "config/CXmlFile.h"
#include "config/CXmlTableReader.h"

using tinyxml2::XMLElement;

namespace {

void Log(int level, const std::string& text) { CLog::GetInstance()->WriteLog(level, text); }

// A missing attribute reads as the empty text.
std::string Attr(const XMLElement* element, const char* name) {
    const char* value = element->Attribute(name);
    return value ? std::string(value) : std::string();
}

// The failure lines of the steps every reader shares.
struct Steps {
    const char* file;
    const char* root;
    const char* xmlVer;
    const char* modeCfg;
};

// Loads the file and checks root, "XmlVer" and "ModeCfg"; the root, or null after
// logging the failing step.
XMLElement* OpenTableFile(CXmlFile& xml, const std::string& path, int level, const Steps& steps,
                          XMLElement** modeCfg = nullptr) {
    if (!xml.Load(path)) {
        Log(level, steps.file);
        return nullptr;
    }
    XMLElement* root = xml.Root();
    if (!root) {
        Log(level, steps.root);
        return nullptr;
    }
    if (!root->FirstChildElement("XmlVer")) {
        Log(level, steps.xmlVer);
        return nullptr;
    }
    XMLElement* mode = root->FirstChildElement("ModeCfg");
    if (!mode) {
        Log(level, steps.modeCfg);
        return nullptr;
    }
    if (modeCfg) *modeCfg = mode;
    return root;
}

// Element child number `index` (from 0), or null when there are fewer or the index is outside [0, limit).
XMLElement* NthChild(XMLElement* parent, int index, int limit) {
    if (index < 0 || index >= limit) return nullptr;
    XMLElement* child = parent->FirstChildElement();
    for (int i = 0; child && i < index; ++i) child = child->NextSiblingElement();
    return child;
}

// Items "name" -> "value"; the first of a repeated name stays.
void ReadItems(XMLElement* table, std::map<std::string, std::string>& items, int level, bool keyFirst) {
    for (XMLElement* item = table->FirstChildElement(); item; item = item->NextSiblingElement()) {
        std::string key = Attr(item, "name");
        std::string value = Attr(item, "value");
        Log(level, keyFirst ? key : value);
        Log(level, keyFirst ? value : key);
        items.emplace(std::move(key), std::move(value));
    }
}

// The "value" of the first `count` items of "Param"; extra items are ignored.
void ReadParamValues(XMLElement* param, std::string* const* fields, std::size_t count, int level) {
    std::size_t n = 0;
    for (XMLElement* item = param->FirstChildElement(); item && n < count; item = item->NextSiblingElement(), ++n) {
        std::string key = Attr(item, "name");
        std::string value = Attr(item, "value");
        Log(level, value);
        Log(level, key);
        *fields[n] = std::move(value);
    }
}

// The attributes of tuner `tuner` of "Antenna_Tuner_Cfg"; past the last tuner the last one stays.
void ReadTunerCfg(XMLElement* root, int tuner, AntMipiTunerParam& read) {
    if (!root->FirstChildElement("Param")) {
        Log(4, "Param is not found, GetMipiXmlTunerCfg failed!");
        return;
    }
    XMLElement* cfg = root->FirstChildElement("Antenna_Tuner_Cfg");
    if (!cfg) {
        Log(4, "Antenna_Tuner_Cfg is not found, GetMipiXmlTunerCfg failed!");
        return;
    }
    XMLElement* element = cfg->FirstChildElement();
    if (!element || tuner < 0) {
        Log(4, "TunerId is not found, GetMipiXmlTunerCfg failed!");
        return;
    }
    for (int position = 0; element && position <= tuner; element = element->NextSiblingElement(), ++position) {
        read.strStartupTime = Attr(element, "StartupTime");
        read.strPayloadRegisterAddress = Attr(element, "PayloadRegisterAddress");
        read.strPmTrigger = Attr(element, "PmTrigger");
        read.strTunerUsid = Attr(element, "TunerUsid");
        read.strTunerId = Attr(element, "TunerId");
        for (const std::string* value : {&read.strStartupTime, &read.strPayloadRegisterAddress, &read.strPmTrigger,
                                         &read.strTunerUsid, &read.strTunerId})
            Log(4, *value);
    }
}

}  // namespace

bool CXmlCfgReader::GetXmlVersion(std::string path, std::string& version) {
    CXmlTableReader reader;
    return reader.GetXmlVersion(path, version);
}

bool CXmlCfgReader::GetXmlEnableTable(std::string path, std::string posture, std::string& table) {
    Log(4, "GetXmlEnableTable enter");
    static constexpr Steps steps{"Xml is not found, GetXmlEnableTable failed!",
                                 "rootElement is not found, GetXmlEnableTable failed!",
                                 "XmlVer is not found, GetXmlEnableTable failed!",
                                 "ModeCfg is not found, GetXmlEnableTable failed!"};
    CXmlFile xml;
    XMLElement* modeCfg = nullptr;
    if (!OpenTableFile(xml, path, 1, steps, &modeCfg)) return false;
    XMLElement* entry = modeCfg->FirstChildElement("Enable");
    if (!entry) {
        Log(1, "Enable is not found, GetXmlEnableTable failed!");
        return false;
    }
    for (; entry; entry = entry->NextSiblingElement()) {
        std::string entryTable = Attr(entry, "Table");
        if (Attr(entry, "Mode") == posture) {
            table = entryTable;
            Log(1, "strtable");
            Log(1, table);
            break;
        }
    }
    return true;
}

bool CXmlCfgReader::GetDprXmlTableData(std::string path, std::map<std::string, std::string>& items, int index) {
    Log(4, "GetDprXmlTableData enter");
    items.clear();
    static constexpr Steps steps{"Xml is not found, GetDprXmlTableData failed!",
                                 "rootElement is not found, GetDprXmlTableData failed!",
                                 "XmlVer is not found, GetDprXmlTableData failed!",
                                 "ModeCfg is not found, GetDprXmlTableData failed!"};
    CXmlFile xml;
    XMLElement* root = OpenTableFile(xml, path, 4, steps);
    if (!root) return false;
    XMLElement* data = root->FirstChildElement("Table_Data");
    if (!data) {
        Log(4, "Table_Data is not found, GetDprXmlTableData failed!");
        return false;
    }
    XMLElement* table = NthChild(data, index, kNineProfileTables);
    if (!table) {
        Log(4, "Table is not found, GetDprXmlTableData failed!");
        return false;
    }
    ReadItems(table, items, 4, false);
    return true;
}

bool CXmlCfgReader::GetDprXmlTableData_NonMutilMode(std::string path, std::map<std::string, std::string>& items,
                                                    int index) {
    Log(1, "GetDprXmlTableData_NonMutilMode enter");
    items.clear();
    static constexpr Steps steps{"Xml is not found,GetDprXmlTableData_NonMutilMode failed!",
                                 "rootElement is not found!", "XmlVer is not found!", "ModeCfg is not found!"};
    CXmlFile xml;
    XMLElement* root = OpenTableFile(xml, path, 1, steps);
    if (!root) return false;
    XMLElement* data = root->FirstChildElement("Table_Data");
    if (!data) {
        Log(1, "Table_Data is not found!");
        return false;
    }
    XMLElement* table = NthChild(data, index, kTwoProfileTables);
    if (!table) {
        Log(1, "lpItemNode is not found!");
        return false;
    }
    ReadItems(table, items, 1, false);
    return true;
}

bool CXmlCfgReader::GetTasXmlTableData(std::string path, std::map<std::string, std::string>& items, int index) {
    Log(4, "GetTasXmlTableData enter");
    items.clear();
    static constexpr Steps steps{"Xml is not found, GetTasXmlTableData failed!",
                                 "rootElement is not found, GetTasXmlTableData failed!",
                                 "XmlVer is not found, GetTasXmlTableData failed!",
                                 "ModeCfg is not found, GetTasXmlTableData failed!"};
    CXmlFile xml;
    XMLElement* root = OpenTableFile(xml, path, 4, steps);
    if (!root) return false;
    XMLElement* data = root->FirstChildElement("Tas_Data");
    if (!data) {
        Log(4, "Tas_Data is not found, GetTasXmlTableData failed!");
        return false;
    }
    XMLElement* table = NthChild(data, index, kNineProfileTables);
    if (!table) {
        Log(4, "Table is not found, GetTasXmlTableData failed!");
        return false;
    }
    if (!table->FirstChildElement()) {
        Log(4, "Band is not found, GetTasXmlTableData failed!");
        return false;
    }
    ReadItems(table, items, 4, true);
    return true;
}

int CXmlCfgReader::GetTasXmlCfg(std::string path, TasCfgParam& param) {
    Log(1, "GetTasXmlCfg enter");
    TasCfgParam read;
    static constexpr Steps steps{"Xml is not found,GetTasXmlCfg failed!", "RootElement is not found,GetTasXmlCfg failed!",
                                 "XmlVer is not found,GetTasXmlCfg failed!",
                                 "ModeCfg is not found,GetTasXmlCfg failed!"};
    CXmlFile xml;
    if (XMLElement* root = OpenTableFile(xml, path, 1, steps)) {
        if (XMLElement* items = root->FirstChildElement("Param")) {
            std::string* const fields[] = {&read.strParam1, &read.strParam2, &read.strParam3, &read.strParam4};
            ReadParamValues(items, fields, 4, 1);
        } else {
            Log(1, "Param is not found,GetTasXmlCfg failed!");
        }
    }
    param = read;
    return 1;
}

int CXmlCfgReader::GetMipiXmlParam(std::string path, AntBasicParam& param) {
    Log(4, "GetMipiXmlParam enter");
    AntBasicParam read;
    static constexpr Steps steps{"Xml is not found, GetMipiXmlParam failed!",
                                 "rootElement is not found, GetMipiXmlParam failed!",
                                 "XmlVer is not found, GetMipiXmlParam failed!",
                                 "ModeCfg is not found, GetMipiXmlParam failed!"};
    CXmlFile xml;
    if (XMLElement* root = OpenTableFile(xml, path, 4, steps)) {
        XMLElement* items = root->FirstChildElement("Param");
        if (items && items->FirstChildElement()) {
            std::string* const fields[] = {&read.strAntTuningEnable, &read.strAntCtrlMode, &read.strAntTuneMode};
            ReadParamValues(items, fields, 3, 4);
        } else {
            Log(4, "Param is not found, GetMipiXmlParam failed!");
        }
    }
    param = read;
    return 1;
}

int CXmlCfgReader::GetMipiXmlTunerCfg(std::string path, AntMipiTunerParam& param, int tuner) {
    Log(4, "GetMipiXmlTunerCfg enter");
    AntMipiTunerParam read;
    static constexpr Steps steps{"Xml is not found, GetMipiXmlTunerCfg failed!",
                                 "rootElement is not found, GetMipiXmlTunerCfg failed!",
                                 "XmlVer is not found, GetMipiXmlTunerCfg failed!",
                                 "ModeCfg is not found, GetMipiXmlTunerCfg failed!"};
    CXmlFile xml;
    if (XMLElement* root = OpenTableFile(xml, path, 4, steps)) ReadTunerCfg(root, tuner, read);
    param = read;
    return 1;
}

int CXmlCfgReader::GetMipiXmlTurnerData(std::string path, std::map<std::string, std::string>& items, int tuner) {
    Log(4, "GetMipiXmlTurnerData enter");
    items.clear();
    static constexpr Steps steps{"Xml is not found, GetMipiXmlTurnerData failed!",
                                 "RootElement is not found, GetMipiXmlTurnerData failed!",
                                 "XmlVer is not found, GetMipiXmlTurnerData failed!",
                                 "ModeCfg is not found, GetMipiXmlTurnerData failed!"};
    CXmlFile xml;
    XMLElement* root = OpenTableFile(xml, path, 4, steps);
    if (!root) return 1;
    if (!root->FirstChildElement("Param")) {
        Log(4, "Param is not found, GetMipiXmlTurnerData failed!");
        return 1;
    }
    if (!root->FirstChildElement("Antenna_Tuner_Cfg")) {
        Log(4, "Antenna_Tuner_Cfg is not found, GetMipiXmlTurnerData failed!");
        return 1;
    }
    XMLElement* data = root->FirstChildElement("Antenna_Tuner_Data");
    if (!data) {
        Log(4, "Antenna_Tuner_Data is not found, GetMipiXmlTurnerData failed!");
        return 1;
    }
    XMLElement* bands = NthChild(data, tuner, kTuners);
    if (!bands) {
        Log(4, "Tuner is not found, GetMipiXmlTurnerData failed!");
        return 1;
    }
    if (!bands->FirstChildElement()) {
        Log(4, "Band is not found, GetMipiXmlTurnerData failed!");
        return 1;
    }
    for (XMLElement* item = bands->FirstChildElement(); item; item = item->NextSiblingElement()) {
        const char* value = item->Attribute("GD");
        if (!value) value = item->Attribute("GE");
        if (!value) {
            Log(1, "GetMipiXmlTurnerData failed");
            return 0;
        }
        std::string key = Attr(item, "name");
        Log(4, key);
        Log(4, value);
        items.emplace(std::move(key), std::string(value));
    }
    return 1;
}

int CXmlCfgReader::GetAntGpoXmlParam(std::string, AntBasicParam&) { return 0; }

int CXmlCfgReader::GetAntGpoXmlTableData(std::string, std::map<std::string, std::string>&, int) { return 0; }
