#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/scenarios/kvsim_command.h"
#include "tests/support/sim_test.h"
#include "tools/kvsim/run.h"

namespace fs = std::filesystem;

namespace {

std::size_t Find(const std::vector<std::string>& lines, const std::string& fragment, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].find(fragment) != std::string::npos) return i;
    return std::string::npos;
}

TEST(NotebookScenario, DefaultNotebookStartsWakesOnThePostureChangeAndStops) {
    kvsim::RunReport report = kvtest::RunNotebookAlone(fs::path(KV_SOURCE_DIR) / "examples" / "notebook");
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;
    EXPECT_EQ(report.endTimeMs, 10000);

    const std::vector<std::string>& t = report.transcript;
    std::size_t write = Find(t, "] scenario: set HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl\\DeviceMode");
    ASSERT_NE(write, std::string::npos);
    EXPECT_EQ(t[write].rfind("[     2.000]", 0), 0u) << t[write];
    std::size_t stop = Find(t, "] scenario: control stop");
    ASSERT_NE(stop, std::string::npos);
    EXPECT_EQ(t[stop].rfind("[    10.000]", 0), 0u) << t[stop];
    EXPECT_NE(Find(t, "process: run sc failure \"Kavrion WWAN CfgService\" reset= 86400"), std::string::npos);
    EXPECT_NE(Find(t, "service: failure actions Kavrion WWAN CfgService: reset=86400 actions=restart/60000/restart/60000/restart/60000"), std::string::npos);

    // The log: start, the worker's first pass, the posture change at 2 s, the stop at 10 s.
    const std::string& log = report.log;
    std::vector<std::string> order = {
        "---------------log start------------------\n",
        "[DETAIL] 12-08 19:36:16:000: [Information][SvcInit]  ScemsropType=3\n",
        "[Infomation][CStateWork::TheadWork] Enter TheadWork.\n",
        "[CStateWork::GetSimInfo] GetProviderID mccmnc: 310410\n",
        "SetSimChangeEvent mccmnc:: 310410\n",
        "[[CStateWork::Work] Enter Sim event",
        "mcc:310\n",
        "[DETAIL] 12-08 19:36:18:000: \n\n------------------------[CStateWork::Work] Enter register event",
        "[DETAIL] 12-08 19:36:18:000: Config enter.\n",
        "[DETAIL] 12-08 19:36:26:000: [Infomation][CStateWork::Work] Triger Service Stop Event.\n",
        "[Infomation][CServiceStart::StopWork] Stop work success.\r\n\r\n",
    };
    // The service thread and the worker both log at 0 s, in either order.
    EXPECT_NE(log.find("[Information][CServiceStart::StartWork] StartWork Done.\n"), std::string::npos);
    std::size_t at = 0;
    for (const std::string& fragment : order) {
        std::size_t found = log.find(fragment, at);
        ASSERT_NE(found, std::string::npos) << "not in order: " << fragment << "\nlog:\n" << log;
        at = found + fragment.size();
    }
    // Two posture changes, two registry wake-ups.
    std::size_t count = 0;
    for (std::size_t i = log.find("Enter register event"); i != std::string::npos; i = log.find("Enter register event", i + 1))
        ++count;
    EXPECT_EQ(count, 2u);
}

TEST(NotebookScenario, TheRunLeavesTheNotebookFolderAlone) {
    fs::path log = fs::path(KV_SOURCE_DIR) / "examples/notebook/drives/C/Kavrion/KvConfigService/KvConfigService.log";
    kvsim::RunReport report = kvtest::RunNotebookAlone(fs::path(KV_SOURCE_DIR) / "examples" / "notebook");
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;
    EXPECT_FALSE(fs::exists(log));
}

// A notebook folder made for the case.
class KvsimCommand : public KvsimCommandTest {
protected:
    void MakeNotebook(const std::string& scenario, const std::string& ini = "[Setting]\nCustomizationSolutionType=3\n") {
        Write("nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini", ini);
        Write("nb/scenario.txt", scenario);
    }
};

TEST_F(KvsimCommand, HelpExplainsTheFolder) {
    EXPECT_EQ(Run({"--help"}), 0);
    for (const char* part : {"kvsim run [--transcript] [--keep DIR] <notebook folder>", "drives/", "registry.reg",
                             "modem.txt", "scenario.txt", "examples/README.md"})
        EXPECT_NE(out_.str().find(part), std::string::npos) << part;
    EXPECT_EQ(Run({"run", "--help"}), 0);
    for (const char* part : {"drives/", "registry.reg", "scenario.txt", "control stop", "1500ms", "Exit codes",
                             "examples/README.md", "--keep DIR", "driver absent", "events played"})
        EXPECT_NE(out_.str().find(part), std::string::npos) << part;
    EXPECT_EQ(Run({"flash", "--help"}), 0);
    EXPECT_NE(out_.str().find("examples/README.md"), std::string::npos);
}

TEST_F(KvsimCommand, UsageMistakesExitWith2) {
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"walk"}), 2);
    EXPECT_NE(err_.str().find("unknown command 'walk'"), std::string::npos);
    EXPECT_EQ(Run({"run"}), 2);
    EXPECT_EQ(Run({"run", "a", "b"}), 2);
}

TEST_F(KvsimCommand, MissingFolderIsAnErrorNamingIt) {
    std::string missing = (temp_.path() / "nowhere").string();
    EXPECT_EQ(Run({"run", missing}), 2);
    EXPECT_EQ(err_.str(), "kvsim: " + missing + ": no such notebook folder\n");
    EXPECT_EQ(out_.str(), "");
}

TEST_F(KvsimCommand, MissingPartsAreErrorsNamingTheFile) {
    Write("nb/scenario.txt", "10s control stop\n");
    EXPECT_EQ(Run({"run", Folder()}), 2);
    EXPECT_NE(err_.str().find("drives"), std::string::npos) << err_.str();
    fs::remove(temp_.path() / "nb/scenario.txt");
    Write("nb/drives/C/x.txt", "");
    EXPECT_EQ(Run({"run", Folder()}), 2);
    EXPECT_NE(err_.str().find("scenario.txt: missing"), std::string::npos) << err_.str();
}

TEST_F(KvsimCommand, BadScenarioLineIsAnErrorNamingFileAndLine) {
    MakeNotebook("# comment\n2s frobnicate\n");
    EXPECT_EQ(Run({"run", Folder()}), 2);
    EXPECT_EQ(err_.str(), "kvsim: " + (fs::path(Folder()) / "scenario.txt").string() +
                              ":2: unknown verb 'frobnicate' (known: set, control, register)\n");
    EXPECT_EQ(out_.str(), "");
}

TEST_F(KvsimCommand, BadRegistryLineIsAnErrorNamingFileAndLine) {
    MakeNotebook("10s control stop\n");
    Write("nb/registry.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=dword:zz\n");
    EXPECT_EQ(Run({"run", Folder()}), 2);
    EXPECT_NE(err_.str().find((fs::path(Folder()) / "registry.reg").string() + ":4:"), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");
}

TEST_F(KvsimCommand, BadModemLineIsAnErrorNamingFileAndLine) {
    MakeNotebook("10s control stop\n");
    Write("nb/modem.txt", "interface\n  provider \"46001\"\n  flavour sweet\n");
    EXPECT_EQ(Run({"run", Folder()}), 2);
    EXPECT_NE(err_.str().find((fs::path(Folder()) / "modem.txt").string() + ":3:"), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");
}

TEST_F(KvsimCommand, ModemFileGivesTheRegisteredNetwork) {
    MakeNotebook("3s control stop\n");
    Write("nb/modem.txt", "interface\n  provider \"46001\"\n");
    EXPECT_EQ(Run({"run", Folder()}), 0) << err_.str();
    EXPECT_NE(out_.str().find("SetSimChangeEvent mccmnc:: 46001\n"), std::string::npos);
}

TEST_F(KvsimCommand, PrintsTranscriptAndLog) {
    MakeNotebook("1s control interrogate\n3s control stop\n");
    EXPECT_EQ(Run({"run", Folder()}), 0) << err_.str();
    std::string out = out_.str();
    std::size_t transcript = out.find("== transcript ==\n");
    std::size_t log = out.find("== log C:\\Kavrion\\KvConfigService\\KvConfigService.log ==\n");
    ASSERT_NE(transcript, std::string::npos);
    ASSERT_NE(log, std::string::npos);
    EXPECT_LT(transcript, log);
    EXPECT_NE(out.find("scenario: control interrogate"), std::string::npos);
    EXPECT_NE(out.find("Stop work success."), std::string::npos);
}

TEST_F(KvsimCommand, AServiceThatNeverEndsFailsAfterTheGraceTime) {
    MakeNotebook("1s control interrogate\n");
    EXPECT_EQ(Run({"run", Folder()}), 1);
    EXPECT_NE(err_.str().find("did not end within 60 s"), std::string::npos) << err_.str();
    EXPECT_NE(out_.str().find("== transcript =="), std::string::npos);
}

}  // namespace
