// `kvsim flash` end to end: the table examples written to their simulated modems, the command
// line, its input errors and its report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/scenarios/kvsim_command.h"
#include "tests/support/sim_test.h"
#include "tools/kvsim/flash.h"
#include "tools/kvsim/run.h"

namespace fs = std::filesystem;

namespace {

kvsim::FlashReport FlashExample(const char* notebook) {
    return kvtest::FlashNotebookAlone(fs::path(KV_SOURCE_DIR) / "examples" / notebook);
}

// The commands without their stamps and replies: "AT+X=1\r\n\r\n".
std::vector<std::string> Commands(const kvsim::FlashReport& report) {
    std::vector<std::string> commands;
    for (const std::string& line : report.commands) {
        std::size_t open = line.find('"');
        std::size_t close = line.find("\" -> ", open + 1);
        commands.push_back(line.substr(open + 1, close - open - 1));
    }
    return commands;
}

std::size_t IndexOf(const std::vector<std::string>& commands, const std::string& command, std::size_t from = 0) {
    for (std::size_t i = from; i < commands.size(); ++i)
        if (commands[i] == command) return i;
    return std::string::npos;
}

std::size_t CountStarting(const std::vector<std::string>& commands, const std::string& prefix) {
    std::size_t count = 0;
    for (const std::string& command : commands) count += command.rfind(prefix, 0) == 0;
    return count;
}

TEST(TablesScenario, IniRunSendsOnlyWhatTheModemLacks) {
    kvsim::FlashReport report = FlashExample("tables-ini");
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;
    std::vector<std::string> commands = Commands(report);

    // Body SAR: only the LTE part of table 1 is new to the modem.
    EXPECT_EQ(CountStarting(commands, "AT+BODYSAR="), 1u);
    EXPECT_NE(IndexOf(commands, "AT+BODYSAR=2,18,\\\"0x2\\\",17,\\\"0x20000000000000000\\\"\\r\\n\\r\\n"),
              std::string::npos);
    // TA SAR and the antenna tables: nothing held, everything sent.
    EXPECT_EQ(CountStarting(commands, "AT+GTTAS="), 2u);
    EXPECT_NE(IndexOf(commands, "AT+GTANTGPOCFG=0,0,5,3,7,50,3,\\r\\n\\r\\n"), std::string::npos);
    EXPECT_NE(IndexOf(commands, "AT+GTANTGPOCFG=1,0,6,59,9\\r\\n\\r\\n"), std::string::npos);
    // No versions, no delay, no reset request in an INI run.
    EXPECT_EQ(IndexOf(commands, "AT+GETOEMTABLEVER?\\r\\n\\r\\n"), std::string::npos);
    EXPECT_TRUE(report.changedFlags.empty());
    EXPECT_FALSE(report.resetRequested);
    EXPECT_NE(report.log.find("---------GetCfgInfoQ520 end---------"), std::string::npos);
    EXPECT_EQ(report.log.find("Delay "), std::string::npos);
}

TEST(TablesScenario, MultiModeRunWritesEveryChangedTableAndRequestsOneReset) {
    kvsim::FlashReport report = FlashExample("tables-multimode");
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;
    std::vector<std::string> commands = Commands(report);

    // Versions first; then body SAR and TA SAR FCC, whose files are newer than the modem's.
    EXPECT_EQ(IndexOf(commands, "AT+GETOEMTABLEVER?\\r\\n\\r\\n"), 1u);
    EXPECT_NE(IndexOf(commands, "At+SETOEMTABLEVER=1,\\\"0001.0002\\\"\\r\\n\\r\\n"), std::string::npos);
    std::size_t tasZero = IndexOf(commands, "At+SETOEMTABLEVER=3,\\\"0000.0000.000000.0000.0000.000\\\"\\r\\n\\r\\n");
    ASSERT_NE(tasZero, std::string::npos);
    EXPECT_EQ(commands[tasZero + 1], "At+SETOEMTABLEVER=2,\\\"0002.0000\\\"\\r\\n\\r\\n");

    // The MIPI tuner tables: three settings, four tuners, nine tables per tuner, both version
    // slots (zero into the GPO slot first) and the posture's profile, in that order and last.
    std::size_t mipi = IndexOf(commands, "AT+GTANTTUNINGEN=1\\r\\n\\r\\n");
    ASSERT_NE(mipi, std::string::npos);
    ASSERT_EQ(commands.size() - mipi, 46u);
    EXPECT_EQ(CountStarting(commands, "AT+GTANTTUNERCFG="), 4u);
    EXPECT_EQ(CountStarting(commands, "AT+GTANTMIPICFG="), 36u);
    EXPECT_EQ(commands[commands.size() - 3], "At+SETOEMTABLEVER=4,\\\"0000.0000.000000.0000.0000.000\\\"\\r\\n\\r\\n");
    EXPECT_EQ(commands[commands.size() - 2], "At+SETOEMTABLEVER=5,\\\"0001.0002\\\"\\r\\n\\r\\n");
    EXPECT_EQ(commands.back(), "AT+GTANTPROFILE=4\\r\\n\\r\\n");

    ASSERT_EQ(report.changedFlags.size(), 1u);
    const std::string& flags = report.changedFlags[0];
    EXPECT_NE(flags.find("CDprSarCfg_5201_MultiMode=1"), std::string::npos) << flags;
    EXPECT_NE(flags.find("CTasSarCfg_FCC=1"), std::string::npos) << flags;
    EXPECT_NE(flags.find("CAntGpoXmlCfg=0"), std::string::npos) << flags;
    EXPECT_EQ(flags.substr(flags.size() - 16), "CAntMipiXmlCfg=1") << flags;
    EXPECT_TRUE(report.resetRequested);
}

// The README's worked example: the commands its FCC TA-SAR file becomes, in order and without a gap;
// a line "..." stands for any commands.
TEST(TablesScenario, TheReadmesTaSarFileBecomesTheCommandsItLists) {
    const std::string readme = kvtest::ReadAll(fs::path(KV_SOURCE_DIR) / "examples/README.md");
    const std::size_t marker = readme.find("becomes these commands of\n`kvsim flash examples/tables-multimode`:");
    ASSERT_NE(marker, std::string::npos);
    const std::size_t open = readme.find("```\n", marker) + 4;
    std::vector<std::string> listed = kvtest::SplitLines(readme.substr(open, readme.find("```", open) - open));
    ASSERT_GT(listed.size(), 3u);

    const std::vector<std::string> commands = Commands(FlashExample("tables-multimode"));
    // As the report escapes them: "AT+X=1,\"0x2\"\r\n\r\n".
    auto escaped = [](const std::string& command) {
        std::string text;
        for (char c : command) text += c == '"' ? std::string("\\\"") : std::string(1, c);
        return text + "\\r\\n\\r\\n";
    };
    std::size_t at = IndexOf(commands, escaped(listed[0]));
    ASSERT_NE(at, std::string::npos) << listed[0];
    for (std::size_t i = 1; i < listed.size(); ++i) {
        if (listed[i] == "...") {
            at = IndexOf(commands, escaped(listed[++i]), at + 1);
            ASSERT_NE(at, std::string::npos) << listed[i];
            continue;
        }
        ASSERT_LT(++at, commands.size()) << listed[i];
        EXPECT_EQ(commands[at], escaped(listed[i])) << i;
    }
}

// A notebook folder made for the case.
class KvsimFlash : public KvsimCommandTest {};

TEST_F(KvsimFlash, HelpExplainsTheCommandAndItsOutput) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(out_.str().find("kvsim flash <notebook folder>"), std::string::npos);
    EXPECT_EQ(Run({"flash", "--help"}), 0);
    for (const char* part : {"== AT commands ==", "== changed flags ==", "== reset request ==", "ProjectType",
                             "SrvConfig.ini", "kvconfig.ini", "Exit codes"})
        EXPECT_NE(out_.str().find(part), std::string::npos) << part;
    EXPECT_EQ(Run({"flash"}), 2);
    EXPECT_NE(err_.str().find("flash takes one notebook folder"), std::string::npos);
}

TEST_F(KvsimFlash, BadInputIsAnErrorNamingFileAndLineWithExit2) {
    std::string missing = (temp_.path() / "nowhere").string();
    EXPECT_EQ(Run({"flash", missing}), 2);
    EXPECT_EQ(err_.str(), "kvsim: " + missing + ": no such notebook folder\n");

    Write("nb/modem.txt", "interface\n");
    EXPECT_EQ(Run({"flash", Folder()}), 2);
    EXPECT_NE(err_.str().find("drives"), std::string::npos) << err_.str();

    Write("nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini", "[Setting]\nProjectType=3\n");
    Write("nb/modem.txt", "interface\n  provider \"310410\"\nreply \"AT\" sometimes\n");
    EXPECT_EQ(Run({"flash", Folder()}), 2);
    EXPECT_NE(err_.str().find((fs::path(Folder()) / "modem.txt").string() + ":3:"), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");

    Write("nb/modem.txt", "interface\n");
    Write("nb/registry.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=dword:zz\n");
    EXPECT_EQ(Run({"flash", Folder()}), 2);
    EXPECT_NE(err_.str().find((fs::path(Folder()) / "registry.reg").string() + ":4:"), std::string::npos)
        << err_.str();
}

TEST_F(KvsimFlash, PrintsTheFourPartsEvenWhenNothingIsListed) {
    Write("nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini", "[Setting]\nProjectType=3\n");
    Write("nb/drives/C/Kavrion/KvCfgService/KavrConfigFiles/520/SrvConfig.ini", "[GENERAL]\nBaseBoardProduct=OTHER\n");
    Write("nb/modem.txt", "interface\n  provider \"310410\"\n");
    EXPECT_EQ(Run({"flash", Folder()}), 0) << err_.str();
    std::string out = out_.str();
    std::size_t parts[] = {out.find("== AT commands ==\n"), out.find("== changed flags ==\n(no XML writer ran)\n"),
                           out.find("== reset request ==\n\"ResetMoudle\" not set\n"),
                           out.find("== log C:\\Kavrion\\KvConfigService\\KvConfigService.log ==\n")};
    for (std::size_t i = 0; i < std::size(parts); ++i) {
        ASSERT_NE(parts[i], std::string::npos) << i << "\n" << out;
        if (i > 0) {
            EXPECT_LT(parts[i - 1], parts[i]);
        }
    }
    EXPECT_NE(out.find("GetCfgInfo no need set cfg info****"), std::string::npos);
    EXPECT_NE(out.find("mcc:310"), std::string::npos);
}

// A run that can write no table although the notebook is there to be flashed: the four parts are
// printed, and one warning on the error output says why (exit 1).
struct FlashWarningCase {
    const char* name;
    const char* settings;   // null: no settings INI; "": a folder in its place
    const char* srvConfig;  // in the run folder of the settings' project type; the same
    const char* warning;
};

void PrintTo(const FlashWarningCase& c, std::ostream* out) { *out << c.name; }

class KvsimFlashWarning : public KvsimFlash, public ::testing::WithParamInterface<FlashWarningCase> {};

TEST_P(KvsimFlashWarning, SaysWhyNoTableIsWritten) {
    const FlashWarningCase& c = GetParam();
    const std::string settings = "nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini";
    Write("nb/modem.txt", "interface\n  provider \"310410\"\n");
    Write("nb/drives/C/Kavrion/KvConfigService/RegionMappingTable.xml", "<RegionMappingTable/>\n");
    if (c.settings && *c.settings) Write(settings, c.settings);
    if (c.settings && !*c.settings) fs::create_directories(temp_.path() / settings);
    for (const char* folder : {"520R NORVALE", "520R NV", "520"}) {
        const std::string srvConfig = std::string("nb/drives/C/Kavrion/KvCfgService/KavrConfigFiles/") + folder + "/SrvConfig.ini";
        if (c.srvConfig && *c.srvConfig) Write(srvConfig, c.srvConfig);
        if (c.srvConfig && !*c.srvConfig) fs::create_directories(temp_.path() / srvConfig);
    }
    EXPECT_EQ(Run({"flash", Folder()}), 1);
    EXPECT_EQ(err_.str(), std::string("kvsim: warning: ") + c.warning + "\n");
    EXPECT_NE(out_.str().find("== reset request ==\n\"ResetMoudle\" not set\n"), std::string::npos) << out_.str();
}

const char kListed[] = "[GENERAL]\nBaseBoardProduct=AB12\nBaseWwanDeviceConfigID=0X10A1\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, KvsimFlashWarning,
    ::testing::Values(
        FlashWarningCase{"NoSettings", nullptr, kListed,
                         "the settings C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini cannot be read, so [Setting] "
                         "\"ProjectType\" is 0: no table is written"},
        FlashWarningCase{"SettingsAFolder", "", kListed,
                         "the settings C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini cannot be read, so [Setting] "
                         "\"ProjectType\" is 0: no table is written"},
        FlashWarningCase{"NoProjectType", "[Setting]\nCustomizationSolutionType=3\n", kListed,
                         "the settings' [Setting] \"ProjectType\" is 0, not 1, 2 or 3: no table is written"},
        FlashWarningCase{"ProjectTypeFour", "[Setting]\nProjectType=4\n", kListed,
                         "the settings' [Setting] \"ProjectType\" is 4, not 1, 2 or 3: no table is written"},
        FlashWarningCase{"NoSrvConfigOfType1", "[Setting]\nProjectType=1\n", nullptr,
                         "the run folder's C:\\Kavrion\\KvCfgService\\KavrConfigFiles\\520R NORVALE\\SrvConfig.ini "
                         "cannot be read, so the gate's lists are empty: no table is written"},
        FlashWarningCase{"NoSrvConfigOfType2", "[Setting]\nProjectType=2\n", nullptr,
                         "the run folder's C:\\Kavrion\\KvCfgService\\KavrConfigFiles\\520R NV\\SrvConfig.ini "
                         "cannot be read, so the gate's lists are empty: no table is written"},
        FlashWarningCase{"SrvConfigAFolderOfType3", "[Setting]\nProjectType=3\n", "",
                         "the run folder's C:\\Kavrion\\KvCfgService\\KavrConfigFiles\\520\\SrvConfig.ini "
                         "cannot be read, so the gate's lists are empty: no table is written"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
