// The table-file readers over an arbitrary document: version, enable table, the DPR, TAS and MIPI
// tables and parameters, for every table and tuner number.
#include <cstdint>
#include <map>
#include <string>

#include "config/CXmlCfgReader.h"
#include "config/XmlCfgParams.h"
#include "tests/fuzz/fuzz_machine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    kvfuzz::WriteDriveFile("table.xml", data, size);
    const char* path = "C:\\table.xml";

    CXmlCfgReader reader;
    std::string text;
    reader.GetXmlVersion(path, text);
    for (const char* posture : {"Lowest Power", "tablet", ""}) reader.GetXmlEnableTable(path, posture, text);
    std::map<std::string, std::string> items;
    for (int index = 0; index < CXmlCfgReader::kNineProfileTables; ++index) {
        reader.GetDprXmlTableData(path, items, index);
        reader.GetTasXmlTableData(path, items, index);
    }
    for (int index = 0; index < CXmlCfgReader::kTwoProfileTables; ++index)
        reader.GetDprXmlTableData_NonMutilMode(path, items, index);
    TasCfgParam tas;
    reader.GetTasXmlCfg(path, tas);
    AntBasicParam basic;
    reader.GetMipiXmlParam(path, basic);
    reader.GetAntGpoXmlParam(path, basic);
    for (int tuner = 0; tuner < CXmlCfgReader::kTuners; ++tuner) {
        AntMipiTunerParam mipi;
        reader.GetMipiXmlTunerCfg(path, mipi, tuner);
        reader.GetMipiXmlTurnerData(path, items, tuner);
        reader.GetAntGpoXmlTableData(path, items, tuner);
    }
    return 0;
}
