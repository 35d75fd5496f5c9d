// `kvsim flash` end to end: the table examples written to their simulated modems, the command
// line, its input errors and its report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
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
    EXPECT_NE(out_.str().find("kvsim flash [--transcript] [--keep DIR] <notebook folder>"), std::string::npos);
    EXPECT_EQ(Run({"flash", "--help"}), 0);
    for (const char* part : {"== AT commands ==", "== changed flags ==", "== reset request ==", "ProjectType",
                             "SrvConfig.ini", "kvconfig.ini", "Exit codes", "--transcript", "--keep DIR"})
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
    // No board product at all: no list names it.
    EXPECT_EQ(Run({"flash", Folder()}), 1) << err_.str();
    EXPECT_EQ(err_.str(), "kvsim: warning: board product \"\" is listed in neither [GENERAL] \"NetBoardProduct\" nor "
                          "\"BaseBoardProduct\" of C:\\Kavrion\\KvCfgService\\KavrConfigFiles\\520\\SrvConfig.ini: "
                          "no table is written\n");
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

// ---- examples/tables-multimode, spoiled one way at a time --------------------------------------

const char kRunFolder[] = "drives/C/Kavrion/KvCfgService/KavrConfigFiles/520R NV/";
const std::string kWindowsRunFolder = "C:\\Kavrion\\KvCfgService\\KavrConfigFiles\\520R NV\\";

class MultiModeNotebook : public KvsimFlash {
public:
    // The notebook's files, named relative to its folder.
    fs::path File(const std::string& relative) const { return fs::path(Folder()) / relative; }
    void Put(const std::string& relative, const std::string& text) { Write("nb/" + relative, text); }
    void Replace(const std::string& relative, const std::string& from, const std::string& to) {
        std::string text = ReadAll(File(relative));
        std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        Put(relative, text.replace(at, from.size(), to));
    }

protected:
    void SetUp() override {
        fs::copy(fs::path(KV_SOURCE_DIR) / "examples/tables-multimode", Folder(), fs::copy_options::recursive);
    }
    // The lines of one part of the output ("== transcript =="), up to the next part.
    std::vector<std::string> Part(const std::string& heading) const {
        std::vector<std::string> lines = kvtest::SplitLines(out_.str()), part;
        auto at = std::find(lines.begin(), lines.end(), heading);
        if (at == lines.end()) return part;
        for (++at; at != lines.end() && at->rfind("== ", 0) != 0; ++at) part.push_back(*at);
        return part;
    }
};

// A TA-SAR or nine-profile body-SAR file that cannot be read: the other writer's SAR mode stays on,
// the damaged file's writer sends nothing and writes no registry value, and the log names the file.
struct DamagedCase {
    const char* name;
    const char* file;
    bool removeXmlVer;      // else the file is "this is not xml"
    const char* offCommand;  // the damaged writer's command that switches the other mode off
    const char* lastModeCommand;
    const char* skippedTag;  // the "RegulatoryID" the damaged writer would have written
    const char* keptTag;     // the other writer's
};

void PrintTo(const DamagedCase& c, std::ostream* out) { *out << c.name; }

class DamagedTableFile : public MultiModeNotebook, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedTableFile, LeavesOneSarModeOnAndNamesTheFile) {
    const DamagedCase& c = GetParam();
    const std::string file = kRunFolder + std::string(c.file);
    if (c.removeXmlVer) {
        std::string text = ReadAll(File(file));
        const std::size_t open = text.find("<XmlVer>");
        ASSERT_NE(open, std::string::npos);
        Put(file, text.erase(open, text.find("</XmlVer>") + 9 - open));
    } else {
        Put(file, "this is not xml");
    }
    const fs::path keep = temp_.path() / "kept";
    ASSERT_EQ(Run({"flash", "--transcript", "--keep", keep.string(), Folder()}), 1) << err_.str();
    const std::string line = "table file not used: " + kWindowsRunFolder + c.file + ": its XmlVer cannot be read";
    EXPECT_EQ(err_.str(), "kvsim: warning: " + line + "\nkvsim: the run's drives are left in " + keep.string() + "\n");

    std::vector<std::string> commands;
    for (const std::string& at : Part("== AT commands ==")) {
        std::size_t open = at.find('"');
        commands.push_back(at.substr(open + 1, at.find("\\r\\n", open) - open - 1));
    }
    std::vector<std::string> modeCommands;
    for (const std::string& command : commands)
        if (command.rfind("AT+GTTASEN=", 0) == 0 || command.rfind("AT+BODYSAREN=", 0) == 0)
            modeCommands.push_back(command);
    ASSERT_FALSE(modeCommands.empty());
    EXPECT_EQ(modeCommands.back(), c.lastModeCommand);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), c.offCommand), 0);

    std::string registry;
    for (const std::string& entry : Part("== transcript =="))
        if (entry.find("registry: set HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv\\") !=
            std::string::npos)
            registry += entry + "\n";
    EXPECT_EQ(registry.find(std::string("RegulatoryID = \"") + c.skippedTag + "\""), std::string::npos) << registry;
    EXPECT_NE(registry.find(std::string("RegulatoryID = \"") + c.keptTag + "\""), std::string::npos) << registry;

    const std::string log = kvtest::ReadAll(keep / "C/Kavrion/KvConfigService/KvConfigService.log");
    EXPECT_NE(log.find("Table file not used: " + kWindowsRunFolder + c.file + ": its XmlVer cannot be read\r\n"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedTableFile,
    ::testing::Values(
        DamagedCase{"TaSarFccNotXml", "KVNB01_SAR_TAS_FCC_PV.xml", false, "AT+BODYSAREN=0", "AT+BODYSAREN=1", "TAS_FCC",
                    "BodySAR"},
        DamagedCase{"TaSarFccWithoutXmlVer", "KVNB01_SAR_TAS_FCC_PV.xml", true, "AT+BODYSAREN=0", "AT+BODYSAREN=1",
                    "TAS_FCC", "BodySAR"},
        DamagedCase{"BodySarNotXml", "KVNB01_SAR_DPR_PV.xml", false, "AT+GTTASEN=0", "AT+GTTASEN=1", "BodySAR",
                    "TAS_FCC"},
        DamagedCase{"BodySarWithoutXmlVer", "KVNB01_SAR_DPR_PV.xml", true, "AT+GTTASEN=0", "AT+GTTASEN=1", "BodySAR",
                    "TAS_FCC"}),
    [](const auto& info) { return std::string(info.param.name); });

// Legal notebooks whose run writes less than they hold: one warning each, and exit 1.
struct SpoiledCase {
    const char* name;
    std::function<void(MultiModeNotebook&)> spoil;
    std::string warning;
};

void PrintTo(const SpoiledCase& c, std::ostream* out) { *out << c.name; }

class SpoiledNotebook : public MultiModeNotebook, public ::testing::WithParamInterface<SpoiledCase> {};

std::string RunFile(const char* name) { return kRunFolder + std::string(name); }

TEST_P(SpoiledNotebook, SaysWhatWasNotWritten) {
    GetParam().spoil(*this);
    EXPECT_EQ(Run({"flash", Folder()}), 1);
    EXPECT_EQ(err_.str(), "kvsim: warning: " + GetParam().warning + "\n");
    EXPECT_NE(out_.str().find("== log "), std::string::npos);
}

const std::string kSrvConfig = kWindowsRunFolder + "SrvConfig.ini";

INSTANTIATE_TEST_SUITE_P(
    Cases, SpoiledNotebook,
    ::testing::Values(
        SpoiledCase{"ProductListedNowhere",
                    [](MultiModeNotebook& n) { n.Replace("registry.reg", "\"KVNB01\"", "\"KVNB99\""); },
                    "board product \"KVNB99\" is listed in neither [GENERAL] \"NetBoardProduct\" nor \"BaseBoardProduct\" "
                    "of " + kSrvConfig + ": no table is written"},
        SpoiledCase{"NetProductWithoutProvider",
                    [](MultiModeNotebook& n) { n.Replace("modem.txt", "interface\n  provider \"310410\"\n", ""); },
                    "board product \"KVNB01\" is listed in [GENERAL] \"NetBoardProduct\" of " + kSrvConfig +
                        ", but the modem reports no provider ID: no table is written"},
        SpoiledCase{"EmptySrvConfig",
                    [](MultiModeNotebook& n) { n.Put(RunFile("SrvConfig.ini"), ""); },
                    "the run folder's " + kSrvConfig + " holds no [GENERAL] keys, so the gate's lists are empty: "
                    "no table is written"},
        SpoiledCase{"BinarySrvConfig",
                    [](MultiModeNotebook& n) {
                        n.Put(RunFile("SrvConfig.ini"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18));
                    },
                    "the run folder's " + kSrvConfig + " holds no [GENERAL] keys, so the gate's lists are empty: "
                    "no table is written"},
        SpoiledCase{"VersionQueryFails",
                    [](MultiModeNotebook& n) {
                        n.Replace("modem.txt", "match \"AT+GETOEMTABLEVER?*\"", "match \"AT+GETOEMTABLEVER?*\" error\n#");
                    },
                    "the version query \"AT+GETOEMTABLEVER?\" failed (\"QueryBodySarVersion fail.\"): no XML writer ran"},
        SpoiledCase{"BodySarCannotBeEnabled",
                    [](MultiModeNotebook& n) {
                        n.Replace("modem.txt", "+BODYSAREN: 1", "+BODYSAREN: 0");
                        n.Replace("modem.txt", "default ", "match \"AT+BODYSAREN=1*\" error\ndefault ");
                    },
                    "\"AT+BODYSAREN=1\" failed (\"Set_BodySAR enable failed\"): no table is written"},
        SpoiledCase{"ValueRefused",
                    [](MultiModeNotebook& n) {
                        n.Replace(RunFile("KVNB01_SAR_TAS_FCC_PV.xml"), "value=\"20\"",
                                  "value=\"20&#13;&#10;AT+RESET\"");
                    },
                    "table value refused: " + kWindowsRunFolder +
                        "KVNB01_SAR_TAS_FCC_PV.xml: Tas_Data table 0 LTE_B2 \"20\\r\\nAT+RESET\" cannot travel inside an "
                        "AT command"},
        SpoiledCase{"DamagedTableFile",
                    [](MultiModeNotebook& n) { n.Put(RunFile("KVNB01_SAR_DPR_PV.xml"), "this is not xml"); },
                    "table file not used: " + kWindowsRunFolder + "KVNB01_SAR_DPR_PV.xml: its XmlVer cannot be read"},
        SpoiledCase{"NoKvconfig",
                    [](MultiModeNotebook& n) { fs::remove(n.File(RunFile("kvconfig.ini"))); },
                    "the run folder's " + kWindowsRunFolder + "kvconfig.ini cannot be read, so [BASE_CONFIG] "
                    "\"MULTIMODE_FUNCTION\" is 0: the INI writers ran, not the XML writers"}),
    [](const auto& info) { return std::string(info.param.name); });

// --transcript shows the registry values the writers leave and the command lines run, in place of
// the log; --keep leaves the run's drives, the log among them, as `run` does.
TEST_F(MultiModeNotebook, TranscriptAndKeepAsRunTakesThem) {
    const fs::path keep = temp_.path() / "kept";
    ASSERT_EQ(Run({"flash", "--transcript", "--keep", keep.string(), Folder()}), 0) << err_.str();
    EXPECT_EQ(err_.str(), "kvsim: the run's drives are left in " + keep.string() + "\n");
    EXPECT_EQ(out_.str().find("== log "), std::string::npos);
    std::string transcript;
    for (const std::string& line : Part("== transcript ==")) transcript += line + "\n";
    const std::string key = "registry: set HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv\\";
    for (const char* value : {"RegulatoryID = \"BodySAR\"", "RegulatoryID = \"TAS_FCC\"", "DeviceMode = \"4\"",
                              "SARIndex = \"4\""})
        EXPECT_NE(transcript.find(key + value), std::string::npos) << value << "\n" << transcript;
    EXPECT_NE(transcript.find("event: SetEvent ResetMoudle"), std::string::npos);
    const std::string log = kvtest::ReadAll(keep / "C/Kavrion/KvConfigService/KvConfigService.log");
    EXPECT_NE(log.find("FlashSarByATSend end"), std::string::npos);

    // A folder that holds files is refused, as by `run`.
    EXPECT_EQ(Run({"flash", "--keep", keep.string(), Folder()}), 2);
    EXPECT_NE(err_.str().find("--keep needs a new or empty folder"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"flash", "--keep"}), 2);
    EXPECT_NE(err_.str().find("--keep needs a folder"), std::string::npos) << err_.str();
}

// The lines a notebook's log already held are not this run's.
TEST_F(MultiModeNotebook, OnlyThisRunsLogLinesWarn) {
    Put("drives/C/Kavrion/KvConfigService/KvConfigService.log",
        "---------------log start------------------\r\n"
        "[ERROR]  01-01 00:00:00:000: Table file not used: C:\\old.xml: its XmlVer cannot be read\r\n");
    EXPECT_EQ(Run({"flash", Folder()}), 0) << err_.str();
    EXPECT_EQ(err_.str(), "");
    EXPECT_NE(out_.str().find("Table file not used: C:\\old.xml"), std::string::npos);
}

TEST_F(KvsimFlash, TranscriptShowsTheCommandLinesRun) {
    Write("nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini", "[Setting]\nProjectType=1\n");
    Write("nb/drives/C/Kavrion/KvCfgService/KavrConfigFiles/520R NORVALE/SrvConfig.ini",
          "[GENERAL]\nBaseWwanDeviceConfigID=0X10A1\n");
    Write("nb/registry.reg", "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService]\n"
                             "\"WwanDeviceConfigurationID\"=\"0x10a1\"\n");
    Write("nb/modem.txt", "interface\n");
    EXPECT_EQ(Run({"flash", "--transcript", Folder()}), 0) << err_.str();
    EXPECT_NE(out_.str().find("process: run sc failure KavrConfigSrv reset= 86400 actions= \"\"\n"), std::string::npos)
        << out_.str();
}

}  // namespace
