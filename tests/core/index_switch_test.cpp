#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/CStateWork.h"
#include "platform/sync.h"
#include "tests/core/road_fixture.h"

namespace {

using roadtest::RoadTest;
using Replies = std::vector<std::pair<std::string, std::string>>;
using Texts = std::vector<std::string>;

const char kOk[] = "\r\nOK\r\n";
const char kError[] = "\r\nERROR\r\n";

std::string Answer(const std::string& value) { return "\r\n" + value + "\r\n\r\nOK\r\n"; }

// The switch run on an object of the test's own, as the worker runs it after a control-key change.
class IndexSwitchTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        modem().AddInterface();
        Tables();
        work_.InitPath();
    }
    void SetReplies(const Replies& replies) {
        for (const auto& [command, reply] : replies) Reply(command, reply);
    }
    CStateWork work_;
};

// ---- the SAR step ----------------------------------------------------------------

struct SarCase {
    const char* name;
    int sarType;
    int type;  // CustomizationSolutionType
    Replies replies;
    std::optional<DWORD> sarIndex;  // the control key's "SARIndex"
    Texts sent;
    Texts logged;  // in this order
    Texts errors;  // logged as type 1
    Texts notLogged;
};

void PrintTo(const SarCase& c, std::ostream* out) { *out << c.name; }

class SarStep : public IndexSwitchTest, public ::testing::WithParamInterface<SarCase> {};

TEST_P(SarStep, QueriesThenTheIndexCommand) {
    const SarCase& c = GetParam();
    Settings("SarType=" + std::to_string(c.sarType) + "\n");
    SetReplies(c.replies);
    if (c.sarIndex) Control("SARIndex", *c.sarIndex);
    Control("DeviceMode", 4);
    work_.Config(c.type, 1, false);

    EXPECT_EQ(Sent(), c.sent);
    Texts logged = {"Config enter.", "SARTableIndexSwitch enter"};
    logged.insert(logged.end(), c.logged.begin(), c.logged.end());
    logged.push_back("AntTurner=Disable,stop config AntTurnerMapTable!");
    EXPECT_TRUE(LoggedInOrder(logged)) << Log();
    for (const std::string& text : c.errors) EXPECT_TRUE(LoggedAsError(text)) << text;
    for (const std::string& text : c.notLogged) EXPECT_FALSE(Logged(text)) << text;
    EXPECT_FALSE(Logged("Config done."));
}

const char kBodyEnable[] = "AT+bodysaren?";
const char kBodyMode[] = "AT+BODYSARMODE?";
const char kTaEnable[] = "AT+gttasen?";
const char kTaMode[] = "AT+gttasmode?";

INSTANTIATE_TEST_SUITE_P(
    Cases, SarStep,
    ::testing::Values(
        SarCase{"BodySarIndexFromTheRegistry", 1, 2,
                {{kBodyEnable, "\r\n+BODYSAREN: 1\r\n\r\nOK\r\n"}, {kBodyMode, Answer("+BODYSARMODE: 1")}}, 7,
                {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n", "at+bodysaron=1,7\r\n"},
                {"SARType = 1 (Support BodySar),check if BodySar enable", "BodySar enable!Start to config SarIndex!",
                 "BodySar SW mode!Start to config SarIndex!", "DeviceMode:4", "SarIndex:7", "Bodysar Index set success!"},
                {}, {"ExecuteCmd"}},
        SarCase{"BodySarDisabled", 1, 2, {{kBodyEnable, "\r\n+BODYSAREN: 0\r\n\r\nOK\r\n"}}, 7,
                {"AT+bodysaren?\r\n"}, {"BodySar disable!Stop config SarIndex!"}, {},
                {"BodySar enable!Start to config SarIndex!"}},
        SarCase{"ZeroInsideAnotherNumberCountsAsDisabled", 1, 2, {{kBodyEnable, Answer("+BODYSAREN: 10")}}, 7,
                {"AT+bodysaren?\r\n"}, {"BodySar disable!Stop config SarIndex!"}, {}, {}},
        SarCase{"BodySarEnableQueryFails", 1, 2, {{kBodyEnable, kError}}, 7, {"AT+bodysaren?\r\n"},
                {"Query BodySar enable/disable get fail!"}, {"ExecuteCmd", "Query BodySar enable/disable get fail!"},
                {}},
        SarCase{"BodySarHardwareMode", 1, 2, {{kBodyMode, Answer("+BODYSARMODE: 0")}}, 7,
                {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n"},
                {"BodySar enable!Start to config SarIndex!", "BodySar HW mode!Stop config SarIndex!"}, {}, {}},
        SarCase{"BodySarModeQueryFails", 1, 2, {{kBodyMode, "\r\n+CME Error: 4\r\n"}}, 7,
                {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n"}, {"Query BodySar HW/SW mode get fail!"},
                {"Query BodySar HW/SW mode get fail!"}, {}},
        SarCase{"SarIndexMissing", 1, 2, {}, std::nullopt, {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n"},
                {"BodySar SW mode!Start to config SarIndex!", "DeviceMode:4", "SarIndex:error!"}, {"SarIndex:error!"},
                {"Bodysar Index set fail!"}},
        SarCase{"IndexCommandRejected", 1, 2, {{"at+bodysaron=1,7", kError}}, 7,
                {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n", "at+bodysaron=1,7\r\n"},
                {"SarIndex:7", "Bodysar Index set fail!"}, {"Bodysar Index set fail!"}, {"Bodysar Index set success!"}},
        SarCase{"TaSarIndexFromTheRegistry", 2, 2, {{kTaEnable, Answer("+GTTASEN: 1")}, {kTaMode, Answer("+GTTASMODE: 1")}},
                3, {"AT+gttasen?\r\n", "AT+gttasmode?\r\n", "AT+GTTASTRIGIDX=3\r\n"},
                {"SARType = 2 (Support TaSar),check if TaSar enable", "TaSar enable!Start to config SarIndex!",
                 "TASar SW mode!Start to config SarIndex!", "SarIndex:3", "TASar Index set success!"},
                {}, {}},
        SarCase{"TaSarDisabled", 2, 2, {{kTaEnable, Answer("+GTTASEN: 0")}}, 3, {"AT+gttasen?\r\n"},
                {"TaSar disable!Stop config SarIndex!"}, {}, {}},
        SarCase{"TaSarEnableQueryFails", 2, 2, {{kTaEnable, ""}}, 3, {"AT+gttasen?\r\n"},
                {"Query TASar enable/disable get fail!"}, {"Query TASar enable/disable get fail!"}, {}},
        SarCase{"TaSarHardwareMode", 2, 2, {{kTaMode, Answer("+GTTASMODE: 0")}}, 3,
                {"AT+gttasen?\r\n", "AT+gttasmode?\r\n"}, {"TASar HW mode!Stop config SarIndex!"}, {}, {}},
        SarCase{"TaSarModeQueryFails", 2, 2, {{kTaMode, kError}}, 3, {"AT+gttasen?\r\n", "AT+gttasmode?\r\n"},
                {"Query TASar HW/SW mode get fail!"}, {"Query TASar HW/SW mode get fail!"}, {}},
        SarCase{"TaSarIndexRejected", 2, 2, {{"AT+GTTASTRIGIDX=3", kError}}, 3,
                {"AT+gttasen?\r\n", "AT+gttasmode?\r\n", "AT+GTTASTRIGIDX=3\r\n"}, {"TASar Index set fail!"},
                {"TASar Index set fail!"}, {}},
        SarCase{"SarTypeZeroSendsNothing", 0, 2, {}, 7, {}, {"SarType=Disable,stop config SarIndex!"}, {}, {}},
        SarCase{"SarTypeThreeOnlyEnters", 3, 2, {}, 7, {}, {}, {},
                {"SarType=Disable,stop config SarIndex!", "SARType = 1 (Support BodySar),check if BodySar enable",
                 "SARType = 2 (Support TaSar),check if TaSar enable"}},
        SarCase{"TypeOneHasNoIndexSource", 1, 1, {}, 7, {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n"},
                {"BodySar SW mode!Start to config SarIndex!"}, {}, {"SarIndex:7", "DeviceMode:4"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IndexSwitchTest, SarIndexIsSentAsASignedNumber) {
    Settings("SarType=1\n");
    Control("SARIndex", 0xFFFFFFFF);
    work_.Config(2, 1, false);
    EXPECT_EQ(Sent().back(), "at+bodysaron=1,-1\r\n");
}

// ---- the antenna step ----------------------------------------------------------------

struct AntennaCase {
    const char* name;
    Replies replies;
    std::optional<DWORD> deviceMode;
    Texts sent;
    Texts logged;  // in this order
    Texts errors;
    bool done;  // "Config done."
};

void PrintTo(const AntennaCase& c, std::ostream* out) { *out << c.name; }

class AntennaStep : public IndexSwitchTest, public ::testing::WithParamInterface<AntennaCase> {};

TEST_P(AntennaStep, ProfileForTheDeviceMode) {
    const AntennaCase& c = GetParam();
    Settings("SarType=0\nAntTurner=1\n");
    SetReplies(c.replies);
    if (c.deviceMode) Control("DeviceMode", *c.deviceMode);
    work_.Config(2, 1, false);

    EXPECT_EQ(Sent(), c.sent);
    Texts logged = {"Config enter.", "SarType=Disable,stop config SarIndex!"};
    logged.insert(logged.end(), c.logged.begin(), c.logged.end());
    EXPECT_TRUE(LoggedInOrder(logged)) << Log();
    for (const std::string& text : c.errors) EXPECT_TRUE(LoggedAsError(text)) << text;
    EXPECT_EQ(Logged("Config done."), c.done);
    EXPECT_FALSE(Logged("AntTurner=Disable,stop config AntTurnerMapTable!"));
}

const char kTuning[] = "AT+GTANTTUNINGEN?";
const char kCtrlMode[] = "AT+GTANTCTRLMODE?";
const char kQueryFail[] = "Query AntTuner enable/disable fail,stop config AntTurnerMapTable!";

INSTANTIATE_TEST_SUITE_P(
    Cases, AntennaStep,
    ::testing::Values(
        AntennaCase{"SoftwareModeSendsTheProfile",
                    {{kTuning, Answer("+GTANTTUNINGEN: 1")}, {kCtrlMode, Answer("+GTANTCTRLMODE: 1")}}, 2,
                    {"AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n", "AT+GTANTPROFILE=2\r\n"},
                    {"AntTunerTable SW mode,start to config SarIndex", "DeviceMode:2", "AntTunerIndex:2",
                     "AntTunner index set success!", "Config done."},
                    {}, true},
        AntennaCase{"IndexComesFromTheTable", {}, 7, {"AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n", "AT+GTANTPROFILE=6\r\n"},
                    {"DeviceMode:7", "AntTunerIndex:6", "AntTunner index set success!"}, {}, true},
        AntennaCase{"TuningDisabled", {{kTuning, Answer("+GTANTTUNINGEN: 0")}}, 2, {"AT+GTANTTUNINGEN?\r\n"},
                    {"AntTunerTable disable,stop config AntTurnerMapTable!"}, {}, false},
        AntennaCase{"HardwareMode", {{kCtrlMode, Answer("+GTANTCTRLMODE: 0")}}, 2,
                    {"AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n"},
                    {"AntTunerTable HW mode,stop config AntTurnerMapTable!"}, {}, false},
        AntennaCase{"FailedQueriesAreLoggedAndTheStepGoesOn", {{kTuning, kError}, {kCtrlMode, ""}}, 2,
                    {"AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n", "AT+GTANTPROFILE=2\r\n"},
                    {kQueryFail, kQueryFail, "AntTunerTable SW mode,start to config SarIndex", "AntTunner index set success!"},
                    {kQueryFail}, true},
        AntennaCase{"DeviceModeMissing", {}, std::nullopt, {"AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n"},
                    {"Get DeviceMode from register fail,stop config AntTurnerMapTable!", "Config done."},
                    {"Get DeviceMode from register fail,stop config AntTurnerMapTable!"}, true},
        AntennaCase{"NoEntryForTheDeviceMode", {}, 5, {"AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n"},
                    {"DeviceMode:5", "GetIndexByAnt fail!", "Config done."}, {"GetIndexByAnt fail!"}, true},
        AntennaCase{"ProfileRejected", {{"AT+GTANTPROFILE=2", kError}}, 2,
                    {"AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n", "AT+GTANTPROFILE=2\r\n"},
                    {"AntTunerIndex:2", "AntTunner index set fail!", "Config done."}, {"AntTunner index set fail!"},
                    true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IndexSwitchTest, AntTurnerZeroSendsNothingAndEndsWithoutConfigDone) {
    Settings("SarType=0\n");
    Control("DeviceMode", 2);
    work_.Config(2, 1, false);
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(LoggedInOrder({"Config enter.", "AntTurner=Disable,stop config AntTurnerMapTable!"}));
    EXPECT_FALSE(Logged("Config done."));
}

TEST_F(IndexSwitchTest, TheAntennaStepRunsWhateverTheSarStepDid) {
    Settings("SarType=1\nAntTurner=1\n");
    Reply(kBodyEnable, kError);
    Control("DeviceMode", 1);
    work_.Config(2, 1, false);
    EXPECT_EQ(Sent(), (Texts{"AT+bodysaren?\r\n", "AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n", "AT+GTANTPROFILE=1\r\n"}));
    EXPECT_TRUE(Logged("Config done."));
}

TEST_F(IndexSwitchTest, WithoutAModemInterfaceEveryCommandFindsNoModem) {
    modem().RemoveInterfaces();
    Settings("SarType=1\nAntTurner=1\n");
    Control("DeviceMode", 2);
    Control("SARIndex", 7);
    work_.Config(2, 1, false);
    EXPECT_TRUE(Sent().empty());
    // The enable query, both antenna queries and the profile.
    EXPECT_EQ(CountLogged("MBIM not exist"), 4u);
    EXPECT_TRUE(LoggedInOrder({"Query BodySar enable/disable get fail!", kQueryFail, kQueryFail,
                               "AntTunerTable SW mode,start to config SarIndex", "DeviceMode:2", "AntTunerIndex:2",
                               "AntTunner index set fail!", "Config done."}));
}

struct DownloadCase {
    const char* name;
    int download;
    bool fromRegistration;
    const char* logged;  // null: neither line
};

void PrintTo(const DownloadCase& c, std::ostream* out) { *out << c.name; }

class DownloadLine : public IndexSwitchTest, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(DownloadLine, OnlyARegistrationChangeNamesTheDownloadType) {
    const DownloadCase& c = GetParam();
    Settings("SarType=0\n");
    work_.Config(3, c.download, c.fromRegistration);
    for (const char* line : {"FlashSarByATSend", "FlashSarByImage"})
        EXPECT_EQ(Logged(line), c.logged && std::string(c.logged) == line) << line;
    if (c.logged) {
        EXPECT_TRUE(LoggedInOrder({"Config enter.", c.logged, "SARTableIndexSwitch enter"}));
    }
    EXPECT_TRUE(Sent().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, DownloadLine,
                         ::testing::Values(DownloadCase{"AtSend", 2, true, "FlashSarByATSend"},
                                           DownloadCase{"Image", 1, true, "FlashSarByImage"},
                                           DownloadCase{"Other", 5, true, nullptr},
                                           DownloadCase{"ControlKeyChange", 2, false, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- CustomizationSolutionType 3: the index from the XML map, run by the worker ----------------

class MappedIndexTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        Tables();
        work_ = CStateWork::GetInstance();
        work_->InitPath();
    }
    void AddModem(const std::string& provider) {
        sim::ModemInterface settings;
        settings.providerId = provider;
        modem().AddInterface(settings);
    }
    // The start-up's SIM_CHANGE maps the provider's MCC and runs the switch.
    void RunWorker(DWORD ms = 2000) {
        ASSERT_EQ(work_->InitWork(), 1);
        ASSERT_NE(work_->StartThread(), nullptr);
        Sleep(ms);
        work_->StopThread();
    }
    CStateWork* work_ = nullptr;
};

struct MappedCase {
    const char* name;
    int sarType;
    const char* provider;
    std::vector<std::pair<const char*, DWORD>> values;
    bool sku;
    Texts sent;
    Texts logged;  // in this order
    Texts errors;
};

void PrintTo(const MappedCase& c, std::ostream* out) { *out << c.name; }

class MappedIndex : public MappedIndexTest, public ::testing::WithParamInterface<MappedCase> {};

TEST_P(MappedIndex, RegionDeviceModeAndSensorsChooseTheIndex) {
    const MappedCase& c = GetParam();
    Settings("CustomizationSolutionType=3\nSarType=" + std::to_string(c.sarType) + "\nSarMapType=MapType_3\n");
    AddModem(c.provider);
    if (!c.sku) machine().registry().DeleteValue(roadtest::kSkuKey, "SystemSKU");
    for (const auto& [name, value] : c.values) Control(name, value);
    RunWorker();
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_TRUE(LoggedInOrder(c.logged)) << Log();
    for (const std::string& text : c.errors) EXPECT_TRUE(LoggedAsError(text)) << text;
}

const std::vector<std::pair<const char*, DWORD>> kLapSensor1 = {
    {"Sensor1", 1}, {"Sensor2", 0}, {"Sensor3", 5}, {"DeviceMode", 1}};

INSTANTIATE_TEST_SUITE_P(
    Cases, MappedIndex,
    ::testing::Values(
        MappedCase{"BodySarFcc", 1, "310410", kLapSensor1, true,
                   {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n", "at+bodysaron=1,16\r\n"},
                   {"mcc:310", "Config enter.", "FlashSarByImage", "BodySar SW mode!Start to config SarIndex!", "0x1001",
                    "Sensor1:1", "Sensor2:0", "Sensor3:5", "DeviceMode:1", "Bodysar Index set success!"},
                   {}},
        MappedCase{"TaSarLabelsItsSensorsItsOwnWay", 2, "310410", kLapSensor1, true,
                   {"AT+gttasen?\r\n", "AT+gttasmode?\r\n", "AT+GTTASTRIGIDX=16\r\n"},
                   {"dwSensor1:1", "dwSensor2:0", "dwSensor3:5", "DeviceMode:1", "TASar Index set success!"}, {}},
        MappedCase{"CeRegion", 1, "20801", {{"Sensor1", 0}, {"DeviceMode", 1}}, true,
                   {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n", "at+bodysaron=1,9\r\n"},
                   {"mcc:208", "Sensor1:0", "DeviceMode:1", "Bodysar Index set success!"}, {}},
        MappedCase{"MapGivesNoIndex", 1, "310410", {{"Sensor1", 0}, {"DeviceMode", 2}}, true,
                   {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n"}, {"DeviceMode:2", "nSarIndex is null"},
                   {"nSarIndex is null"}},
        MappedCase{"UnreadSensorsStayEmpty", 1, "310410", {{"DeviceMode", 1}}, true,
                   {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n"}, {"DeviceMode:1", "nSarIndex is null"}, {}},
        MappedCase{"NoConfigurationId", 1, "310410", kLapSensor1, false, {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n"},
                   {"BodySar SW mode!Start to config SarIndex!", "Get WwanDeviceConfigID error"},
                   {"Get WwanDeviceConfigID error"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MappedIndexTest, AValueThatCannotBeReadKeepsTheLastOneRead) {
    Settings("CustomizationSolutionType=3\nSarType=1\nSarMapType=MapType_3\n");
    AddModem("310410");
    for (const auto& [name, value] : kLapSensor1) Control(name, value);
    // The deletion is the control-key change; a second write in the same instant could race the
    // worker it wakes.
    machine().clock().At(3000, [this] { machine().registry().DeleteValue(roadtest::kControlKey, "Sensor1"); });
    RunWorker(5000);
    EXPECT_EQ(Sent(), (Texts{"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n", "at+bodysaron=1,16\r\n", "AT+bodysaren?\r\n",
                             "AT+BODYSARMODE?\r\n", "at+bodysaron=1,16\r\n"}));
    EXPECT_EQ(CountLogged("Sensor1:1"), 1u);
    EXPECT_EQ(CountLogged("DeviceMode:1"), 2u);
}

}  // namespace
