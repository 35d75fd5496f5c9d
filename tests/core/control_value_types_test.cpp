// Control-key values stored with a type other than REG_DWORD: each read fails
// as a missing value would, and the worker goes on as it does after a failed
// read (a stored sensor or device mode stays, a missing SAR index or device
// mode stops its step, a flag that cannot be read unpacks nothing).
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/CStateWork.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "tests/core/road_fixture.h"
#include "tests/support/zip_bytes.h"

namespace {

using roadtest::kControlKey;
using roadtest::RoadTest;
using Texts = std::vector<std::string>;

struct WrongType {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;  // bytes a read that ignored the type would take for a number
};

const WrongType kWrongTypes[] = {
    {"REG_SZ", REG_SZ, {'1', 0, 0, 0}},  // "1": four bytes, 0x31 as a number
    {"REG_BINARY", REG_BINARY, {1, 0, 0, 0}},
    {"REG_QWORD", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
};

std::string TypeLine(const WrongType& t) { return std::string("RegQueryValueEx type ") + t.name + " is not REG_DWORD"; }

class ControlValueTypes : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        Tables();
    }
    void Store(const std::string& name, const WrongType& t) {
        ASSERT_EQ(machine().registry().SetValue(kControlKey, name, t.type, t.data, "test"), "");
    }
};

void PrintTo(const WrongType& t, std::ostream* out) { *out << t.name; }

class ControlValueOfType : public ControlValueTypes, public ::testing::WithParamInterface<WrongType> {
protected:
    // What the log gained since `from`.
    std::string LogFrom(std::size_t from) const { return Log().substr(from); }
    Texts SentFrom(std::size_t from) {
        Texts all = Sent();
        return Texts(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end());
    }
};

INSTANTIATE_TEST_SUITE_P(Types, ControlValueOfType, ::testing::ValuesIn(kWrongTypes),
                         [](const auto& info) { return std::string(info.param.name); });

// The index switch of a control-key change, run as the worker runs it.
TEST_P(ControlValueOfType, SarIndexOrDeviceModeForTheRegistryIndex) {
    const WrongType& t = GetParam();
    modem().AddInterface();
    CStateWork work;
    work.InitPath();
    Settings("SarType=1\nAntTurner=1\n");
    Control("SARIndex", 7);
    Store("DeviceMode", t);
    std::size_t sent = Sent().size();
    std::size_t logged = Log().size();
    work.Config(2, 1, false);
    // Without the device mode the SAR index is still sent; the antenna step stops.
    EXPECT_EQ(SentFrom(sent), (Texts{"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n", "at+bodysaron=1,7\r\n",
                                     "AT+GTANTTUNINGEN?\r\n", "AT+GTANTCTRLMODE?\r\n"}));
    EXPECT_TRUE(LoggedAsError("Get DeviceMode from register fail,stop config AntTurnerMapTable!"));
    EXPECT_TRUE(LoggedAsError(TypeLine(t)));
    EXPECT_EQ(LogFrom(logged).find(": DeviceMode:"), std::string::npos);

    Control("DeviceMode", 2);
    Store("SARIndex", t);
    sent = Sent().size();
    logged = Log().size();
    work.Config(2, 1, false);
    EXPECT_EQ(SentFrom(sent), (Texts{"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n", "AT+GTANTTUNINGEN?\r\n",
                                     "AT+GTANTCTRLMODE?\r\n", "AT+GTANTPROFILE=2\r\n"}));
    const std::string log = LogFrom(logged);
    EXPECT_TRUE(LoggedAsError("SarIndex:error!"));
    EXPECT_EQ(log.find(": SarIndex:"), log.find(": SarIndex:error!"));
}

// A new-package flag that is not a number unpacks nothing and stays as it is.
TEST_P(ControlValueOfType, NewPackageFlagUnpacksNothing) {
    const WrongType& t = GetParam();
    WriteFile("C:\\Kavrion\\Firmware\\KavrConfigFiles.flz",
              ziptest::BuildZip({ziptest::RawItem("SrvConfig.ini", "[GENERAL]\n")}));
    Store("NewPackageFlag", t);
    CStateWork* work = CStateWork::GetInstance();
    work->InitPath();
    ASSERT_EQ(work->InitWork(), 1);
    ASSERT_NE(work->StartThread(), nullptr);
    Sleep(1000);
    work->StopThread();
    EXPECT_TRUE(LoggedAsError("get NewPackageFlag error!"));
    EXPECT_TRUE(LoggedAsError(TypeLine(t)));
    EXPECT_FALSE(Logged("unzip KavrConfigFiles.flz success"));
    EXPECT_EQ(ReadFile("C:\\Kavrion\\KvConfigService\\KavrConfigFiles\\SrvConfig.ini"), "");
    auto stored = machine().registry().GetValue(kControlKey, "NewPackageFlag");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->type, t.type);
    EXPECT_EQ(stored->data, t.data);
}

// CustomizationSolutionType 3: a sensor or the device mode rewritten with
// another type keeps the value read before, so the same index follows.
TEST_F(ControlValueTypes, MappedValuesOfAnotherTypeKeepTheLastOneRead) {
    Settings("CustomizationSolutionType=3\nSarType=1\nSarMapType=MapType_3\n");
    sim::ModemInterface settings;
    settings.providerId = "310410";
    modem().AddInterface(settings);
    const std::pair<const char*, DWORD> values[] = {{"Sensor1", 1}, {"Sensor2", 0}, {"Sensor3", 5}, {"DeviceMode", 1}};
    for (const auto& [name, value] : values) Control(name, value);
    const char* const labels[] = {"Sensor1:", "Sensor2:", "Sensor3:", "DeviceMode:"};

    CStateWork* work = CStateWork::GetInstance();
    work->InitPath();
    ASSERT_EQ(work->InitWork(), 1);
    ASSERT_NE(work->StartThread(), nullptr);
    Sleep(2000);
    // One control-key change every 2 s: each value in turn, with each wrong type.
    std::int64_t at = 3000;
    std::size_t changes = 0;
    for (std::size_t v = 0; v < std::size(values); ++v)
        for (const WrongType& t : kWrongTypes) {
            machine().clock().At(at, [this, name = values[v].first, &t] { Store(name, t); });
            at += 2000;
            ++changes;
        }
    Sleep(static_cast<DWORD>(at - 2000));
    work->StopThread();

    Texts expected;
    for (std::size_t pass = 0; pass <= changes; ++pass)
        for (const char* command : {"AT+bodysaren?\r\n", "AT+BODYSARMODE?\r\n", "at+bodysaron=1,16\r\n"})
            expected.push_back(command);
    EXPECT_EQ(Sent(), expected);
    // Each value is logged only while it reads as a number: at the first pass,
    // and for the values after it until its own turn comes.
    const std::string log = Log();
    for (std::size_t v = 0; v < std::size(values); ++v) {
        SCOPED_TRACE(values[v].first);
        const std::size_t reads = 1 + v * std::size(kWrongTypes);
        const std::string label = std::string(": ") + labels[v];
        std::size_t lines = 0;
        for (std::size_t pos = log.find(label); pos != std::string::npos; pos = log.find(label, pos + 1)) ++lines;
        EXPECT_EQ(lines, reads);
        EXPECT_EQ(CountLogged(labels[v] + std::to_string(values[v].second)), reads);
    }
    for (const WrongType& t : kWrongTypes) EXPECT_TRUE(LoggedAsError(TypeLine(t))) << t.name;
    EXPECT_FALSE(Logged("nSarIndex is null"));
}

}  // namespace
