// A notebook for the worker's modem, registry and service work: the installation under C:\Kavrion\,
// the control key, a modem interface, and the system's log in its file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/CLog.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "tests/support/sim_test.h"

namespace roadtest {

inline constexpr const char* kExe = "C:\\Kavrion\\KvCfgService\\KvCfgService.exe";
inline constexpr const char* kIni = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";
inline constexpr const char* kLog = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
inline constexpr const char* kDeviceModeTable = "C:\\Kavrion\\KvConfigService\\DeviceModeToScenarioIndexMappingTable.xml";
inline constexpr const char* kRegionTable = "C:\\Kavrion\\KvConfigService\\RegionMappingTable.xml";
inline constexpr const char* kOldExe = "C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe";
inline constexpr const char* kControlKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";
inline constexpr const char* kSkuKey = "HKLM\\SYSTEM\\HardwareConfig\\Current";

// SKU "SKU1" is configuration 0x1001: antenna index by device mode, SAR index by region, device
// mode and Sensor1.
inline constexpr const char* kDeviceModeXml = R"(<?xml version="1.0" encoding="utf-8"?>
<DeviceModeToScenarioIndexMappingTable>
  <WwanDeviceConfigureIDTable>
    <CustProductNamePathToUniqueSkuID CombineMode="Single" CustProductNamePathNumber="1">
      <CustProductNamePath RegistryPath="SYSTEM\HardwareConfig\Current,SystemSKU"/>
    </CustProductNamePathToUniqueSkuID>
    <UniqueSkuIDToWwanDeviceConfigureIDMappingTable>
      <UniqueSkuID ProductID="SKU1" WwanDeviceConfigID="0x1001"/>
    </UniqueSkuIDToWwanDeviceConfigureIDMappingTable>
  </WwanDeviceConfigureIDTable>
  <WwanDeviceConfigID_BlackList>
    <WwanDeviceConfigID WwanDeviceConfigIDValue="0x10FF"/>
  </WwanDeviceConfigID_BlackList>
  <WwanDeviceConfigIDList>
    <WwanDeviceConfigID ID="0x1001">
      <SwitchTable>
        <AntTurnerTableIndex>
          <Item DeviceMode="1" Index="1"/>
          <Item DeviceMode="2" Index="2"/>
          <Item DeviceMode="7" Index="6"/>
        </AntTurnerTableIndex>
        <SarTableIndex FlagValue="true">
          <MapType_3>
            <Standard Value="FCC">
              <Item DeviceMode="1" Sensor1="0" Index="1"/>
              <Item DeviceMode="1" Sensor1="1" Index="16"/>
            </Standard>
            <Standard Value="CE">
              <Item DeviceMode="1" Sensor1="0" Index="9"/>
            </Standard>
          </MapType_3>
        </SarTableIndex>
      </SwitchTable>
    </WwanDeviceConfigID>
  </WwanDeviceConfigIDList>
</DeviceModeToScenarioIndexMappingTable>
)";

inline constexpr const char* kRegionXml = R"(<?xml version="1.0" encoding="utf-8"?>
<RegionMappingTable>
  <RegionSwitch>
    <SelectionRule>
      <Region mcc="310" Regulatory="FCC"/>
      <Region mcc="302" Regulatory="ised"/>
      <Region mcc="208" Regulatory="CE"/>
      <Region mcc="450" Regulatory="KR"/>
      <Region mcc="default" Regulatory="FCC"/>
    </SelectionRule>
  </RegionSwitch>
</RegionMappingTable>
)";

class RoadTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        machine().SetExecutablePath(kExe);
        machine().registry().CreateKey(kControlKey);
        CLog* log = CLog::GetInstance();
        log->Close();
        log->SetPathAndRotate(kLog);
        log->Enable(true);
    }
    void TearDown() override {
        machine().clock().Settle();
        CLog::GetInstance()->Close();
        SimTest::TearDown();
    }

    sim::Modem& modem() { return machine().modem(); }
    void Settings(const std::string& lines) { WriteFile(kIni, "[Setting]\n" + lines); }
    void Control(const std::string& name, DWORD value) {
        ASSERT_EQ(machine().registry().SetDword(kControlKey, name, value, "test"), "");
    }
    void Tables() {
        WriteFile(kDeviceModeTable, kDeviceModeXml);
        WriteFile(kRegionTable, kRegionXml);
        ASSERT_EQ(machine().registry().SetString(kSkuKey, "SystemSKU", "SKU1"), "");
    }
    void Reply(const std::string& command, const std::string& reply) {
        modem().SetReply(command + "\r\n", sim::ModemReply::Text(reply));
    }

    std::string Log() const { return ReadText(kLog); }
    // Whether `text` was logged as a whole message.
    bool Logged(const std::string& text) const { return Log().find(": " + text + "\n") != std::string::npos; }
    std::size_t CountLogged(const std::string& text) const {
        std::string log = Log();
        std::string wanted = ": " + text + "\n";
        std::size_t count = 0;
        for (std::size_t at = log.find(wanted); at != std::string::npos; at = log.find(wanted, at + 1)) ++count;
        return count;
    }
    // Whether `text` was logged as a whole message of type 1.
    bool LoggedAsError(const std::string& text) const {
        std::string log = Log();
        std::string wanted = ": " + text + "\n";
        for (std::size_t at = log.find(wanted); at != std::string::npos; at = log.find(wanted, at + 1)) {
            std::size_t line = log.rfind('\n', at);
            line = line == std::string::npos ? 0 : line + 1;
            if (log.compare(line, 8, "[ERROR] ") == 0) return true;
        }
        return false;
    }
    // Whether the messages were logged in this order (others between them).
    bool LoggedInOrder(const std::vector<std::string>& texts) const {
        std::string log = Log();
        std::size_t at = 0;
        for (const std::string& text : texts) {
            std::size_t found = log.find(": " + text + "\n", at);
            if (found == std::string::npos) return false;
            at = found + text.size();
        }
        return true;
    }
    // The bytes of every AT command the modem received, in order.
    std::vector<std::string> Sent() {
        std::vector<std::string> sent;
        for (const sim::ModemCommand& command : modem().Commands())
            if (command.serviceId == sim::kAtServiceId) sent.push_back(command.bytes);
        return sent;
    }
};

}  // namespace roadtest
