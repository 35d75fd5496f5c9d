// A notebook for the TA-SAR writers: the installation's run folder, the board
// product in the registry, "SrvConfig.ini" with its MCC lists, and the AT
// commands the modem received.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "tests/modem/modem_fixture.h"

namespace tastest {

inline constexpr const char* kExe = "C:\\Kavrion\\KvCfgService\\KvCfgService.exe";
inline constexpr const char* kRun = "C:\\Kavrion\\KvCfgService\\";
inline constexpr const char* kBoardKey = "HKLM\\SYSTEM\\HardwareConfig\\Current";
inline constexpr const char* kServiceKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv";

class TasTest : public kvtest::ModemTest {
protected:
    void SetUp() override {
        ModemTest::SetUp();
        machine().SetExecutablePath(kExe);
        Board("boardx");
        MccLists("262,208", "302");
    }

    void Board(const std::string& product) {
        ASSERT_EQ(machine().registry().SetString(kBoardKey, "BaseBoardProduct", product), "");
    }
    void MccLists(const std::string& ce, const std::string& ised) {
        WriteFile(std::string(kRun) + "SrvConfig.ini", "[GENERAL]\nCEMCC=" + ce + "\nISEDMCC=" + ised + "\n");
    }
    void RunFile(const std::string& name, const std::string& content) { WriteFile(std::string(kRun) + name, content); }

    // The AT commands since the last Mark, as the writer formed them (the
    // channel's own "\r\n" taken off).
    std::vector<std::string> Sent() {
        std::vector<std::string> sent;
        std::vector<sim::ModemCommand> commands = modem().Commands();
        for (std::size_t i = mark_; i < commands.size(); ++i) {
            const sim::ModemCommand& c = commands[i];
            if (c.serviceId != sim::kAtServiceId) continue;
            std::string bytes = c.bytes;
            if (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0) bytes.resize(bytes.size() - 2);
            sent.push_back(bytes);
        }
        return sent;
    }
    // A command the modem refuses, every attempt.
    void Refuse(const std::string& command) { modem().SetReply(command + "\r\n", sim::ModemReply::Error()); }
    void Reply(const std::string& command, const std::string& reply) {
        modem().SetReply(command + "\r\n", sim::ModemReply::Text(reply));
    }
    void Mark() { mark_ = modem().Commands().size(); }
    std::string Registry(const std::string& name) {
        return machine().registry().GetString(kServiceKey, name).value_or("<none>");
    }

private:
    std::size_t mark_ = 0;
};

}  // namespace tastest
