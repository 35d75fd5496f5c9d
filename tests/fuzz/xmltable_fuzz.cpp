// The mapping-table readers over an arbitrary document: region by MCC, configuration ID from the
// SKU values, SAR index, antenna index, the enable flag and the version, then the carrier,
// firmware-package, image-mapping and flash-layout readers over the same bytes.
#include <cstdint>
#include <string>

#include "config/CXmlTableReader.h"
#include "config/CfgPkInfo.h"
#include "config/FirmwareFileInfo.h"
#include "config/FwPackageInfo.h"
#include "core/CStateWork.h"
#include "core/CarrierPackInfo.h"
#include "platform/sim/registry_store.h"
#include "tests/fuzz/fuzz_machine.h"

namespace {

const char kTable[] = "C:\\Kavrion\\KvConfigService\\table.xml";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::Machine& machine = kvfuzz::StartMachine();
    machine.SetExecutablePath("C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
    machine.registry().SetString("HKLM\\SYSTEM\\HardwareConfig\\Current", "SystemSKU", "SKU1");
    machine.registry().SetString("HKLM\\SYSTEM\\HardwareConfig\\Current", "BaseBoardProduct", "520R NV");
    CStateWork::GetInstance()->InitPath();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    kvfuzz::WriteDriveFile("Kavrion/KvConfigService/table.xml", data, size);
    kvfuzz::WriteDriveFile("Kavrion/FwSwitchBin/SarAntData/WwanDeviceIdImageMappingTable.xml", data, size);
    kvfuzz::WriteDriveFile("Kavrion/FwSwitchBin/FlashData/scatter.xml", data, size);

    CXmlTableReader reader;
    std::string text;
    for (const char* mcc : {"310", "208", "", "default"}) reader.getRegulatoryByMcc(kTable, mcc, text);
    std::string configId;
    reader.getWwanDeviceConfigID(kTable, configId);
    for (const char* id : {"0x1001", "default", configId.c_str()})
        for (const char* region : {"FCC", "CE"})
            for (const char* mode : {"1", "7"}) reader.GetSarIndexFromXml(kTable, id, region, "0", mode, "1", "0");
    for (const char* mode : {"0", "1", "7", ""}) reader.GetIndexByAnt(kTable, mode, text);
    reader.IsSarTableIndexEnable(kTable);
    reader.GetXmlVersion(kTable, text);

    reader.GetCarrierByIccidRange("89014104212345678901", kTable, text);
    reader.GetCarrierByMcc("310", kTable, text);
    reader.GetCarrierIdByMccmnc("310410", kTable, text);
    reader.GetSelectionRuleItemByMcc("310", kTable);
    FirmwareFileInfo firmware;
    reader.GetCarrierFirmwareList("1", kTable, firmware);
    reader.GetOemFirmwareByCustModel("1", kTable, firmware);
    reader.GetParamFirmwareBySku("SKU1", "1", kTable, firmware);
    reader.GetParamFirmwareByRegistered("310", kTable, firmware);
    CarrierPackInfo pack;
    reader.GetPackageInfo("1", kTable, pack);
    FwPackageInfo package;
    reader.GetFwPackageInfo(kTable, package);
    CfgPkInfo image;
    reader.getCfgPkInfo("0x1001", "310", image);
    reader.getEsimDisableType(kTable, "SKU1", "310410");
    reader.GetScatterDownloadInfo("a,b");
    return 0;
}
