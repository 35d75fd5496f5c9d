// A machine with a modem for the body-SAR writers: table files in the run
// folder, the AT commands the modem received, the failure result of a
// command, the registry values the writers leave.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "config/CConfigPath.h"
#include "core/CStateWork.h"
#include "platform/sim/registry_store.h"
#include "modem/CAtExecute.h"
#include "modem/CMbnDeviceServiceMgr.h"
#include "tests/modem/modem_fixture.h"

namespace kvtest {

class DprTest : public ModemTest {
protected:
    static constexpr const char* kProbe = "AT+KVPROBE";
    static constexpr const char* kServiceKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv";

    void SetUp() override {
        ModemTest::SetUp();
        CStateWork::GetInstance()->InitPath();
    }
    void TearDown() override {
        // The device-mode channel lives for the process; it must not outlive the machine.
        CMbnDeviceServiceMgr::GetInstance()->Release();
        ModemTest::TearDown();
    }

    std::string RunPath() { return CConfigPath::GetInstance()->GetRunPath(); }
    void WriteRunFile(const std::string& name, const std::string& content) { WriteFile(RunPath() + name, content); }

    // The AT commands sent so far, each without the line ends the executor
    // and the writer put after it.
    std::vector<std::string> AtCommands() {
        std::vector<std::string> commands;
        for (const auto& command : modem().Commands()) {
            if (command.serviceId != sim::kAtServiceId || command.bytes.rfind(kProbe, 0) == 0) continue;
            std::string text = command.bytes;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            commands.push_back(text);
        }
        return commands;
    }
    // The raw bytes of the last AT command.
    std::string LastAtBytes() {
        auto commands = modem().Commands();
        for (auto it = commands.rbegin(); it != commands.rend(); ++it)
            if (it->serviceId == sim::kAtServiceId) return it->bytes;
        return {};
    }
    // Every command sent after the first `from`.
    std::vector<std::string> AtCommandsFrom(std::size_t from) {
        auto all = AtCommands();
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())),
                                        all.end());
    }

    // The bytes the modem receives for a writer's command: the writer's line
    // end and the executor's.
    static std::string Wire(const std::string& command) { return command + "\r\n\r\n"; }
    void Refuse(const std::string& command) { modem().SetReply(Wire(command), sim::ModemReply::Error()); }
    void Answer(const std::string& command, const std::string& reply) {
        modem().SetReply(Wire(command), sim::ModemReply::Text(reply));
    }
    // What the executor reports for a command the modem refuses, found by
    // asking it once for a command that fails the same way.
    int FailureResult() {
        modem().SetReply(std::string(kProbe) + "\r\n", sim::ModemReply::Error());
        std::string reply;
        CAtExecute at;
        return at.ExecuteAtCommand(kProbe, reply);
    }

    std::vector<std::string> ServiceValues() {
        std::vector<std::string> values;
        for (const char* name : {"RegulatoryID", "DeviceMode", "SARIndex"}) {
            auto value = machine().registry().GetString(kServiceKey, name);
            values.push_back(value ? *value : "<none>");
        }
        return values;
    }
    std::vector<std::string> RegistryWrites() { return machine().transcript().Lines("registry"); }
};

}  // namespace kvtest
