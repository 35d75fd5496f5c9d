// A notebook for the configuration manager: the installation under C:\Kavrion\, the run folder of
// the project type with its "SrvConfig.ini" and "kvconfig.ini", the board product and the WWAN
// device configuration ID in the registry, a modem interface on a US network.
#pragma once

#include <string>
#include <vector>

#include "core/CStateWork.h"
#include "tests/core/road_fixture.h"

namespace cfgtest {

inline constexpr const char* kBoardKey = "HKLM\\SYSTEM\\HardwareConfig\\Current";
inline constexpr const char* kBiosKey = "HKLM\\HARDWARE\\DESCRIPTION\\System\\BIOS";
inline constexpr const char* kConfigIdKey = "HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService";

class CfgTest : public roadtest::RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        CStateWork::GetInstance()->InitPath();
        modem().AddInterface();
        modem().SetDefaultReply(sim::ModemReply::Text("\r\nOK\r\n"));
    }

    // The run folder of a project type (the executable's folder and the type's sub-folder).
    static std::string RunFolder(int projectType) {
        std::string exeFolder = "C:\\Kavrion\\KvCfgService\\";
        switch (projectType) {
            case 1: return exeFolder + "KavrConfigFiles\\520R NORVALE\\";
            case 2: return exeFolder + "KavrConfigFiles\\520R NV\\";
            case 3: return exeFolder + "KavrConfigFiles\\520\\";
            default: return exeFolder;
        }
    }
    // Writes the settings INI with this project type; call before the manager's first use.
    void Project(int projectType) {
        projectType_ = projectType;
        Settings("ProjectType=" + std::to_string(projectType) + "\n");
    }
    void SrvConfig(const std::string& lines) { WriteFile(RunFolder(projectType_) + "SrvConfig.ini", "[GENERAL]\n" + lines); }
    void KvConfig(const std::string& lines) { WriteFile(RunFolder(projectType_) + "kvconfig.ini", "[BASE_CONFIG]\n" + lines); }
    void RunFile(const std::string& name, const std::string& content) { WriteFile(RunFolder(projectType_) + name, content); }
    void Board(const std::string& product) { ASSERT_EQ(machine().registry().SetString(kBoardKey, "BaseBoardProduct", product), ""); }
    void ConfigId(const std::string& id) {
        ASSERT_EQ(machine().registry().SetString(kConfigIdKey, "WwanDeviceConfigurationID", id), "");
    }
    void NoModem() { modem().RemoveInterfaces(); }
    void ResetProcess() { machine().AddForeignEvent("ResetMoudle"); }
    std::size_t ResetRequests() {
        std::size_t count = 0;
        for (const std::string& line : machine().transcript().Lines("event"))
            if (line.find("SetEvent ResetMoudle") != std::string::npos) ++count;
        return count;
    }
    std::int64_t Now() { return machine().clock().Now(); }
    // The AT commands sent, without the "\r\n\r\n" every command ends with.
    std::vector<std::string> Commands() {
        std::vector<std::string> commands;
        for (std::string bytes : Sent()) {
            while (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0) bytes.resize(bytes.size() - 2);
            commands.push_back(bytes);
        }
        return commands;
    }
    bool SentCommand(const std::string& command) {
        for (const std::string& sent : Commands())
            if (sent == command) return true;
        return false;
    }

    // The commands sent, each run of repeats (the retries of one command) counted once.
    std::vector<std::string> DistinctCommands() {
        std::vector<std::string> distinct;
        for (const std::string& command : Commands())
            if (distinct.empty() || distinct.back() != command) distinct.push_back(command);
        return distinct;
    }
    // The virtual time, in ms of the day, of the first log line that is exactly `text`; -1 when none.
    std::int64_t LoggedAt(const std::string& text) const {
        std::string log = Log();
        std::size_t at = log.find(": " + text + "\n");
        if (at == std::string::npos) return -1;
        std::size_t line = log.rfind('\n', at);
        line = line == std::string::npos ? 0 : line + 1;
        std::size_t clock = log.find_first_of("0123456789", line) + 6;  // after "MM-DD "
        auto number = [&](std::size_t from, std::size_t count) { return std::stoll(log.substr(from, count)); };
        return ((number(clock, 2) * 60 + number(clock + 3, 2)) * 60 + number(clock + 6, 2)) * 1000 +
               number(clock + 9, 3);
    }

    int projectType_ = 0;
};

}  // namespace cfgtest
