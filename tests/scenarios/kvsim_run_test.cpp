// What `kvsim run` tells a person beyond the transcript and the log: the closing line, the
// warnings, the options, the control driver's modes, the file events, and the inputs it refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/scheduler.h"
#include "platform/sync.h"
#include "tests/scenarios/kvsim_command.h"
#include "tests/support/service_run.h"
#include "tests/support/zip_bytes.h"
#include "tools/kvsim/run.h"

namespace fs = std::filesystem;

namespace {

const char kTypeThree[] = "[Setting]\nCustomizationSolutionType=3\n";
const char kIni[] = "nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini";

class KvsimRun : public KvsimCommandTest {
protected:
    void CopyExample(const char* name) {
        fs::copy(fs::path(KV_SOURCE_DIR) / "examples" / name, temp_.path() / "nb", fs::copy_options::recursive);
    }
    std::string Out() const { return out_.str(); }
    std::string Err() const { return err_.str(); }
    std::string LastLine() const {
        std::string out = out_.str();
        if (out.empty()) return "";
        std::size_t end = out.size() - 1;
        std::size_t start = out.rfind('\n', end - 1);
        return out.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
    }
};

TEST_F(KvsimRun, ClosingLineCountsEventsAndGivesTheLastStateAndTime) {
    EXPECT_EQ(Run({"run", fs::path(KV_SOURCE_DIR).append("examples/notebook").string()}), 0) << Err();
    EXPECT_EQ(LastLine(), "4 of 4 events played; service STOPPED at 10.000 s");
    EXPECT_EQ(Err(), "");
}

TEST_F(KvsimRun, AServiceThatEndsBeforeTheLastEventIsAWarningAndExit1) {
    Write(kIni, kTypeThree);
    Write("nb/scenario.txt", "1s control interrogate\n2s control stop\n# after the stop\n5s control interrogate\n");
    EXPECT_EQ(Run({"run", Folder()}), 1);
    EXPECT_EQ(LastLine(), "2 of 3 events played; service STOPPED at 2.000 s");
    EXPECT_NE(Err().find("kvsim: warning: the service ended at 2.000 s, before 1 of the scenario's events were played "
                         "(the first not played: " +
                         (fs::path(Folder()) / "scenario.txt").string() + ":4)"),
              std::string::npos)
        << Err();
}

TEST_F(KvsimRun, AServiceThatDisablesItselfIsAWarningAndExit1) {
    Write(kIni, "[Setting]\nCustomizationSolutionType=1\n");
    Write("nb/scenario.txt", "10s control stop\n");
    EXPECT_EQ(Run({"run", Folder()}), 1);
    EXPECT_EQ(LastLine(), "0 of 1 events played; service STOPPED at 0.000 s");
    EXPECT_NE(Err().find("kvsim: warning: the service disabled itself (\"Disable Runing Service!\")"), std::string::npos)
        << Err();
    EXPECT_NE(Err().find("before 1 of the scenario's events were played"), std::string::npos) << Err();
}

TEST_F(KvsimRun, AServiceThatDoesNotEndStillGetsItsClosingLine) {
    Write(kIni, kTypeThree);
    Write("nb/scenario.txt", "1s control interrogate\n");
    EXPECT_EQ(Run({"run", Folder()}), 1);
    EXPECT_EQ(LastLine(), "1 of 1 events played; service RUNNING at 61.000 s");
    EXPECT_NE(Err().find("did not end within 60 s"), std::string::npos) << Err();
}

// Every way a run ends exit 1 says why on the error output, each line a warning.
struct ExitOneCase {
    const char* name;
    const char* ini;  // null: no settings file; "": a folder in its place
    const char* scenario;
    const char* warning;
};

void PrintTo(const ExitOneCase& c, std::ostream* out) { *out << c.name; }

class KvsimExitOne : public KvsimRun, public ::testing::WithParamInterface<ExitOneCase> {};

TEST_P(KvsimExitOne, IsAWarning) {
    const ExitOneCase& c = GetParam();
    Write("nb/drives/C/Kavrion/KvConfigService/RegionMappingTable.xml", "<RegionMappingTable/>\n");
    if (c.ini && *c.ini) Write(kIni, c.ini);
    if (c.ini && !*c.ini) fs::create_directories(temp_.path() / kIni);
    Write("nb/scenario.txt", c.scenario);
    EXPECT_EQ(Run({"run", Folder()}), 1);
    std::istringstream lines(Err());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_EQ(line.rfind("kvsim: warning: ", 0), 0u) << line;
    EXPECT_GT(count, 0);
    EXPECT_NE(Err().find(c.warning), std::string::npos) << Err();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KvsimExitOne,
    ::testing::Values(
        ExitOneCase{"NotEnded", kTypeThree, "1s control interrogate\n",
                    "the service's process did not end within 60 s of virtual time after the scenario's last event"},
        ExitOneCase{"EndedEarly", kTypeThree, "2s control stop\n5s control interrogate\n",
                    "the service ended at 2.000 s, before 1 of the scenario's events were played"},
        ExitOneCase{"Disabled", "[Setting]\nCustomizationSolutionType=1\n", "10s control stop\n",
                    "the settings' [Setting] \"CustomizationSolutionType\" is neither 2 nor 3"},
        ExitOneCase{"NoSettings", nullptr, "10s control stop\n",
                    "the settings C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini cannot be read, so [Setting] "
                    "\"CustomizationSolutionType\" is 1"},
        ExitOneCase{"SettingsAFolder", "", "10s control stop\n",
                    "the settings C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini cannot be read"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KvsimRun, TranscriptOptionLeavesOutTheLog) {
    Write(kIni, kTypeThree);
    Write("nb/scenario.txt", "3s control stop\n");
    EXPECT_EQ(Run({"run", "--transcript", Folder()}), 0) << Err();
    EXPECT_EQ(Out().rfind("== transcript ==\n", 0), 0u);
    EXPECT_EQ(Out().find("== log"), std::string::npos);
    EXPECT_EQ(Out().find("Stop work success."), std::string::npos);
    EXPECT_NE(Out().find("scenario: control stop\n"), std::string::npos);
    EXPECT_EQ(LastLine(), "1 of 1 events played; service STOPPED at 3.000 s");
}

TEST_F(KvsimRun, KeepLeavesTheRunsDrivesAndRefusesAFolderThatHoldsFiles) {
    Write(kIni, kTypeThree);
    Write("nb/scenario.txt", "3s control stop\n");
    const fs::path keep = temp_.path() / "kept";
    EXPECT_EQ(Run({"run", Folder(), "--keep", keep.string()}), 0) << Err();
    EXPECT_TRUE(fs::exists(keep / "C/Kavrion/KvConfigService/KvConfigService.log"));
    EXPECT_TRUE(fs::exists(keep / "C/Kavrion/KvConfigService/kvwwanConfig.ini"));
    EXPECT_NE(Err().find("the run's drives are left in " + keep.string()), std::string::npos) << Err();
    EXPECT_FALSE(fs::exists(fs::path(Folder()) / "drives/C/Kavrion/KvConfigService/KvConfigService.log"));

    EXPECT_EQ(Run({"run", "--keep", keep.string(), Folder()}), 2);
    EXPECT_NE(Err().find("--keep needs a new or empty folder"), std::string::npos) << Err();
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Run({"run", Folder(), "--keep"}), 2);
    EXPECT_EQ(Run({"run", "--verbose", Folder()}), 2);
    EXPECT_NE(Err().find("unknown option '--verbose'"), std::string::npos) << Err();
}

TEST_F(KvsimRun, UnpackedPackageShowsEveryFileItMakes) {
    Write(kIni, kTypeThree);
    Write("nb/drives/C/Kavrion/Firmware/KavrConfigFiles.flz",
          ziptest::BuildZip({ziptest::RawItem("SrvConfig.ini", "[GENERAL]\n"),
                             ziptest::RawItem("SarAnt/table.xml", "<Table/>").Deflated()}));
    Write("nb/registry.reg",
          "Windows Registry Editor Version 5.00\n\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl]\n"
          "\"NewPackageFlag\"=dword:00000001\n");
    Write("nb/scenario.txt", "3s control stop\n");
    EXPECT_EQ(Run({"run", "--transcript", Folder()}), 0) << Err();
    std::vector<std::string> files;
    std::istringstream lines(Out());
    for (std::string line; std::getline(lines, line);)
        if (line.find("] file: ") != std::string::npos) files.push_back(line.substr(line.find("] file: ") + 8));
    const std::string to = "C:\\Kavrion\\KvConfigService\\KavrConfigFiles\\";
    auto has = [&](const std::string& text) { return std::find(files.begin(), files.end(), text) != files.end(); };
    EXPECT_TRUE(has("created C:\\Kavrion\\KvConfigService\\KvConfigService.log"));
    EXPECT_TRUE(has("created " + to + "SrvConfig.ini.~0"));
    EXPECT_TRUE(has("wrote 10 bytes to " + to + "SrvConfig.ini.~0"));
    EXPECT_TRUE(has("renamed " + to + "SrvConfig.ini.~0 to " + to + "SrvConfig.ini"));
    EXPECT_TRUE(has("created folder " + to + "SarAnt"));
    EXPECT_TRUE(has("wrote 8 bytes to " + to + "SarAnt\\table.xml.~0"));
    EXPECT_TRUE(has("renamed " + to + "SarAnt\\table.xml.~0 to " + to + "SarAnt\\table.xml"));
    for (const std::string& line : files) EXPECT_EQ(line.find("C:\\Kavrion\\KvCfgService"), std::string::npos) << line;
}

// The control driver's modes, for the region path of type 2.
struct DriverCase {
    const char* name;
    const char* line;
    const char* logged;
    const char* transcript;  // a driver line of the transcript
};

class KvsimDriver : public KvsimRun, public ::testing::WithParamInterface<DriverCase> {};

TEST_P(KvsimDriver, ServicesFileSetsTheDriver) {
    const DriverCase& c = GetParam();
    CopyExample("notebook-region");
    std::ofstream(temp_.path() / "nb/services.txt", std::ios::app) << c.line << "\n";
    EXPECT_EQ(Run({"run", Folder()}), 0) << Err();
    EXPECT_NE(Out().find(c.logged), std::string::npos) << Out();
    EXPECT_NE(Out().find(c.transcript), std::string::npos) << Out();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, KvsimDriver,
    ::testing::Values(
        DriverCase{"Absent", "driver absent", "[Error][CStateWork::SetRegionByIOControl] CreateFile error. errorcode=2\n",
                   "driver: open \\??\\KVControl failed (2): the driver is absent"},
        DriverCase{"Refuses", "driver refuses", "[Error][CStateWork::SetRegionByIOControl] Set region error. region=2\n",
                   "driver: ioctl 0x06000004 in=02 00 00 00 failed (31)"},
        DriverCase{"RefusesWithAnError", "driver refuses 5", "Set region error. region=1\n",
                   "driver: ioctl 0x06000004 in=01 00 00 00 failed (5)"},
        DriverCase{"Present", "driver present", "Set region OK. region=3\n", "driver: ioctl 0x06000004 in=03 00 00 00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KvsimRun, TheAbsentDriverExampleRunsToItsEnd) {
    EXPECT_EQ(Run({"run", fs::path(KV_SOURCE_DIR).append("examples/notebook-nodriver").string()}), 0) << Err();
    EXPECT_NE(Out().find("CreateFile error. errorcode=2\n"), std::string::npos);
    EXPECT_EQ(LastLine(), "3 of 3 events played; service STOPPED at 9.000 s");
}

// Inputs that used to pass or mislead, each refused with its file and line.
struct BadInput {
    const char* name;
    const char* file;
    const char* text;
    const char* message;  // after "<file>:"
};

class KvsimBadInput : public KvsimRun, public ::testing::WithParamInterface<BadInput> {};

TEST_P(KvsimBadInput, IsAnInputErrorNamingFileAndLine) {
    const BadInput& c = GetParam();
    Write(kIni, kTypeThree);
    Write("nb/scenario.txt", "3s control stop\n");
    Write(std::string("nb/") + c.file, c.text);
    EXPECT_EQ(Run({"run", Folder()}), 2);
    EXPECT_EQ(Err(), "kvsim: " + (fs::path(Folder()) / c.file).string() + ":" + c.message + "\n");
    EXPECT_EQ(Out(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KvsimBadInput,
    ::testing::Values(
        BadInput{"DeviceModeWithoutNumbers", "modem.txt", "devicemode x y z\n",
                 "1: devicemode needs three numbers, <mode> <sar> <antenna>, or a reply; found \"x\""},
        BadInput{"ReadyStateOutOfRange", "modem.txt", "interface\n  ready 20\n", "2: a ready state number is 0 to 8, not 20"},
        BadInput{"ProviderByName", "modem.txt", "interface\n  provider \"GERMANY\"\n",
                 "2: a provider ID is 5 or 6 digits (MCC and MNC), not \"GERMANY\""},
        BadInput{"ProviderOfThirteenDigits", "modem.txt", "interface\n  provider \"2620112345678\"\n",
                 "2: a provider ID is 5 or 6 digits (MCC and MNC), not \"2620112345678\""},
        BadInput{"HomeProviderByName", "modem.txt", "interface\n  home \"T-Mobile\"\n",
                 "2: a home provider ID is 5 or 6 digits (MCC and MNC), not \"T-Mobile\""},
        BadInput{"DeviceModeOfOneNumber", "modem.txt", "devicemode -1\n",
                 "1: devicemode needs three numbers, <mode> <sar> <antenna>; found 1"},
        BadInput{"DeviceModeNumberOutOfRange", "modem.txt", "devicemode 0 0 4294967296\n",
                 "1: number out of range \"4294967296\" (a device-mode number is -2147483648 to 2147483647)"},
        BadInput{"TwoDefaultReplies", "modem.txt", "default \"\\r\\nOK\\r\\n\"\n# again\ndefault error\n",
                 "3: a second default reply (the first is line 1)"},
        BadInput{"TheServiceUnderTest", "services.txt",
                 "\"Kavrion WWAN Config Service\" \"C:\\x.exe\" stopped\n\"kavrion wwan cfgservice\" \"C:\\y.exe\" stopped\n",
                 "2: \"Kavrion WWAN CfgService\" is the service under test: kvsim installs it itself"},
        BadInput{"TwoDriverLines", "services.txt", "driver absent\ndriver refuses\n",
                 "2: a second driver line (the first is line 1)"},
        BadInput{"DriverRefusesNothing", "services.txt", "driver refuses 0\n",
                 "1: driver refuses takes the Windows error number its controls fail with (1 or more)"},
        BadInput{"DriverWithExtraWords", "services.txt", "driver absent now\n",
                 "1: expected: driver absent | driver refuses [<error>] | driver present"},
        BadInput{"RelativeExecutable", "services.txt", "\"Kavrion WWAN Config Service\" KvWwanConfigService.exe stopped\n",
                 "1: the executable 'KvWwanConfigService.exe' is not a full Windows path (a drive letter, a colon and a "
                 "backslash, as C:\\Kavrion\\x.exe)"},
        BadInput{"RegisterOnNoProvider", "scenario.txt", "1s register abc\n3s control stop\n",
                 "1: 'abc' is not a provider ID: 5 or 6 digits, the MCC and the MNC (as 20801), or \"\" for none"},
        BadInput{"RegisterOnThirteenDigits", "scenario.txt", "1s register 3104101234567\n3s control stop\n",
                 "1: '3104101234567' is not a provider ID: 5 or 6 digits, the MCC and the MNC (as 20801), or \"\" for "
                 "none"},
        BadInput{"TimePastTheLimit", "scenario.txt", "4294968s control stop\n",
                 "1: '4294968s' is past the latest scenario time, 4294967s (49.7 days)"},
        BadInput{"TimePastTheLimitInMilliseconds", "scenario.txt", "1s control interrogate\n99999999999999999999ms control stop\n",
                 "2: '99999999999999999999ms' is past the latest scenario time, 4294967s (49.7 days)"}),
    [](const auto& info) { return std::string(info.param.name); });

// A reply line of modem.txt that no command matched is a warning at the end of run and flash,
// naming the file, the line and the command as written, with exit 1.
struct UnmatchedReplyCase {
    const char* name;
    const char* command;  // run or flash
    const char* example;
    const char* added;    // lines added at the end of the example's modem.txt
    std::vector<std::string> warnings;  // each after "kvsim: warning: <modem.txt>:"
};

void PrintTo(const UnmatchedReplyCase& c, std::ostream* out) { *out << c.name; }

class KvsimUnmatchedReply : public KvsimRun, public ::testing::WithParamInterface<UnmatchedReplyCase> {};

TEST_P(KvsimUnmatchedReply, IsAWarningNamingItsLine) {
    const UnmatchedReplyCase& c = GetParam();
    CopyExample(c.example);
    const fs::path modem = temp_.path() / "nb/modem.txt";
    Write("nb/modem.txt", ReadAll(modem) + c.added);
    EXPECT_EQ(Run({c.command, Folder()}), c.warnings.empty() ? 0 : 1) << Err();
    std::string expected;
    for (const std::string& warning : c.warnings) expected += "kvsim: warning: " + modem.string() + ":" + warning + "\n";
    EXPECT_EQ(Err(), expected);
    // The warnings come after the command's whole output.
    EXPECT_NE(Out().find(std::string(c.command) == "run" ? "events played; service STOPPED" : "== log "),
              std::string::npos);
}

const char kUnmatched[] =
    " matched no command during the run (a command matches only byte for byte, its line end included, as the "
    "transcript shows it)";

INSTANTIATE_TEST_SUITE_P(
    Cases, KvsimUnmatchedReply,
    ::testing::Values(
        UnmatchedReplyCase{"RunUsesEveryReply", "run", "notebook", "", {}},
        // The command goes out as "AT+GTANTCTRLMODE?\r\n", which line 10 answers.
        UnmatchedReplyCase{"RunKeyWithoutItsLineEnd", "run", "notebook",
                           "reply \"AT+GTANTCTRLMODE?\"   \"\\r\\n+GTANTCTRLMODE: 0\\r\\n\\r\\nOK\\r\\n\"\n",
                           {std::string("12: reply \"AT+GTANTCTRLMODE?\"") + kUnmatched}},
        UnmatchedReplyCase{"RunLineReplacedByALaterOne", "run", "notebook",
                           "# the same again\nreply \"AT+bodysaren\\x3F\\r\\n\" \"\\r\\n+BODYSAREN: 1\\r\\n\\r\\nOK\\r\\n\"\n",
                           {"7: reply \"AT+bodysaren?\\r\\n\" was never used: line 13 replaces it"}},
        UnmatchedReplyCase{"RunTwoUnmatched", "run", "notebook",
                           "reply \"AT+gttasen?\\r\\n\" error\nreply \"at+bodysaren\\x3f\\r\\n\" error\n",
                           {std::string("12: reply \"AT+gttasen?\\r\\n\"") + kUnmatched,
                            std::string("13: reply \"at+bodysaren\\x3f\\r\\n\"") + kUnmatched}},
        // A table writer's command ends in the channel's line end too.
        UnmatchedReplyCase{"FlashUsesEveryReply", "flash", "tables-multimode",
                           "reply \"AT+GTTASEN=0\\r\\n\\r\\n\" \"\\r\\nOK\\r\\n\"\n", {}},
        UnmatchedReplyCase{"FlashKeyWithoutTheChannelsLineEnd", "flash", "tables-multimode",
                           "reply \"AT+GTTASEN=0\\r\\n\" \"\\r\\nOK\\r\\n\"\n",
                           {std::string("10: reply \"AT+GTTASEN=0\\r\\n\"") + kUnmatched}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KvsimRun, TheLatestScenarioTimeIsAccepted) {
    Write(kIni, "[Setting]\nCustomizationSolutionType=1\n");
    Write("nb/scenario.txt", "4294967s control stop\n");
    EXPECT_EQ(Run({"run", Folder()}), 1);  // disabled at once: no long run
    EXPECT_EQ(LastLine(), "0 of 1 events played; service STOPPED at 0.000 s");
}

TEST_F(KvsimRun, AKeyPathDeeperThanTheRegistryAllowsIsRefusedAtOnce) {
    Write(kIni, kTypeThree);
    Write("nb/scenario.txt", "3s control stop\n");
    std::string path = "HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 100000; ++i) path += "\\k";
    Write("nb/registry.reg", "Windows Registry Editor Version 5.00\n\n[" + path + "]\n\"A\"=dword:00000001\n");
    EXPECT_EQ(Run({"run", Folder()}), 2);
    EXPECT_EQ(Err(), "kvsim: " + (fs::path(Folder()) / "registry.reg").string() +
                         ":3: a key path of 100000 levels below HKEY_LOCAL_MACHINE, deeper than the 512 levels the "
                         "registry allows\n");
}

TEST(KvsimRegistryDepth, FiveHundredAndTwelveLevelsLoadAndOneMoreDoesNot) {
    kvtest::TempDir temp;
    sim::Machine machine(temp.path());
    auto reg = [](int levels) {
        std::string path = "HKEY_LOCAL_MACHINE";
        for (int i = 0; i < levels; ++i) path += "\\k" + std::to_string(i);
        return "Windows Registry Editor Version 5.00\n\n[" + path + "]\n\"A\"=dword:00000007\n";
    };
    EXPECT_EQ(machine.registry().LoadRegText(reg(512), "deep.reg"), "");
    EXPECT_NE(machine.registry().LoadRegText(reg(513), "deep.reg").find("deep.reg:3: a key path of 513 levels"),
              std::string::npos);
    std::string deepest = "HKLM";
    for (int i = 0; i < 513; ++i) deepest += "\\k" + std::to_string(i);
    EXPECT_NE(machine.registry().SetDword(deepest, "B", 1).find("deeper than the 512 levels"), std::string::npos);
    machine.Shutdown();
}

// The wait for the service's process reaches past the longest 32-bit time-out.
TEST(KvsimWait, WaitsPastTheLongest32BitTimeOut) {
    kvtest::TempDir temp;
    sim::Machine machine(temp.path());
    const std::int64_t end = 0x100000000LL + 60000;  // past 49.7 days
    auto never = machine.clock().StartThread([] {
        Sleep(INFINITE);
        return DWORD{0};
    });
    EXPECT_FALSE(kvsim::WaitForProcess(machine, never, end));
    EXPECT_EQ(machine.clock().Now(), end);

    auto late = machine.clock().StartThread([] {
        for (int i = 0; i < 3; ++i) Sleep(0x70000000);
        return DWORD{0};
    });
    EXPECT_TRUE(kvsim::WaitForProcess(machine, late, end + 0x180000000LL));
    EXPECT_EQ(machine.clock().Now(), end + 3LL * 0x70000000);
    machine.Shutdown();
}

// kvsim as its own process, ended by a signal in the middle of a run: its scratch copy of the
// drives goes with it.
TEST_F(KvsimRun, ATerminationSignalRemovesTheScratchCopy) {
    CopyExample("notebook");
    Write("nb/scenario.txt", "4294967s control stop\n");  // some 20 s of real time: the signal comes first
    const fs::path scratch = temp_.path() / "tmp";
    fs::create_directories(scratch);
    for (const char* signal : {"TERM", "INT"}) {
        const fs::path script = temp_.path() / "signal.sh";
        std::ofstream(script) << "cd '" << temp_.path().string() << "'\n"
                              << "TMPDIR='" << scratch.string() << "' '" KV_BINARY_DIR "/tools/kvsim/kvsim' run nb "
                              << ">/dev/null 2>&1 &\npid=$!\n"
                              << "for i in $(seq 400); do ls -d tmp/kvsim-*/drives >/dev/null 2>&1 && break; sleep 0.025; done\n"
                              << "ls -d tmp/kvsim-*/drives >/dev/null 2>&1 || { kill -KILL $pid; exit 3; }\n"
                              << "kill -" << signal << " $pid\nwait $pid\necho $? > status\n";
        ASSERT_EQ(std::system(("bash '" + script.string() + "'").c_str()), 0) << signal;
        std::ifstream status(temp_.path() / "status");
        int code = 0;
        status >> code;
        EXPECT_EQ(code, std::string(signal) == "TERM" ? 143 : 130) << signal;
        EXPECT_TRUE(fs::is_empty(scratch)) << signal;
    }
}

}  // namespace
