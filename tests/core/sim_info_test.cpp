#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/CStateWork.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

const char kIni[] = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";
const char kLog[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";

struct SimInfoCase {
    const char* name;
    std::function<void(sim::Modem&)> setUp;
    std::vector<std::string> logged;
    std::vector<std::string> notLogged;
};

void PrintTo(const SimInfoCase& c, std::ostream* out) { *out << c.name; }

sim::ModemInterface Interface(std::string provider) {
    sim::ModemInterface settings;
    settings.providerId = std::move(provider);
    return settings;
}

class SimInfo : public kvtest::SimTest, public ::testing::WithParamInterface<SimInfoCase> {};

// The worker reads the identity once at start and hands the provider ID to its first SIM_CHANGE.
TEST_P(SimInfo, StartUpReadsTheRegisteredProvider) {
    const SimInfoCase& c = GetParam();
    machine().SetExecutablePath("C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
    WriteFile(kIni, "[Setting]\nCustomizationSolutionType=2\n");
    c.setUp(machine().modem());
    std::size_t objects = sim::LiveComObjects(), bstrs = sim::LiveBstrs(), arrays = sim::LiveSafeArrays();

    CStateWork* work = CStateWork::GetInstance();
    work->InitPath();
    work->InitLog();
    ASSERT_EQ(work->InitWork(), 1);
    ASSERT_NE(work->StartThread(), nullptr);
    Sleep(1000);
    work->StopThread();

    std::string log = ReadText(kLog);
    for (const std::string& line : c.logged) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    for (const std::string& line : c.notLogged) EXPECT_EQ(log.find(line), std::string::npos) << line;
    // Every interface, text and array the API handed out was given back.
    EXPECT_EQ(sim::LiveComObjects(), objects);
    EXPECT_EQ(sim::LiveBstrs(), bstrs);
    EXPECT_EQ(sim::LiveSafeArrays(), arrays);
}

const char kHome[] = "[CStateWork::GetSimInfo] GetHomeProvider mccmnc: 310410\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, SimInfo,
    ::testing::Values(
        SimInfoCase{"OneInterface",
                    [](sim::Modem& m) { m.AddInterface(Interface("46001")); },
                    {"CoInitializeEx done\n", kHome, "[CStateWork::GetSimInfo] GetProviderID mccmnc: 46001\n",
                     "SetSimChangeEvent mccmnc:: 46001\n", "mcc:460\n"},
                    {"[error]", "[Fail]"}},
        SimInfoCase{"LastInterfaceCounts",
                    [](sim::Modem& m) {
                        m.AddInterface(Interface("46001"));
                        m.AddInterface(Interface("23415"));
                    },
                    {"GetProviderID mccmnc: 23415\n", "mcc:234\n"},
                    {"46001"}},
        SimInfoCase{"NoInterface",
                    [](sim::Modem&) {},
                    {"[error][CStateWork::GetSimInfo] Get mbim interface fail.", "SetSimChangeEvent mccmnc:: \n",
                     "mcc:\n"},
                    {"GetProviderID"}},
        SimInfoCase{"NoManager",
                    [](sim::Modem& m) {
                        m.AddInterface(Interface("46001"));
                        m.SetFault(sim::ModemFault::CreateInterfaceManager, E_FAIL);
                    },
                    {"[Fail][CStateWork::GetSimInfo] CoInitializeEx Fail.", "SetSimChangeEvent mccmnc:: \n"},
                    {"GetProviderID"}},
        SimInfoCase{"InterfacesNotListed",
                    [](sim::Modem& m) {
                        m.AddInterface(Interface("46001"));
                        m.SetFault(sim::ModemFault::GetInterfaces, E_FAIL);
                    },
                    {"[error][CStateWork::GetSimInfo] Get All Interface Fail."},
                    {"GetProviderID"}},
        SimInfoCase{"ReadyStateFailsButTheInterfaceIsStillRead",
                    [](sim::Modem& m) {
                        auto settings = Interface("46001");
                        settings.readyStateResult = E_FAIL;
                        m.AddInterface(settings);
                    },
                    {"[error][CStateWork::GetSimInfo] GetReadyState Fail.", "GetProviderID mccmnc: 46001\n"},
                    {}},
        SimInfoCase{"HomeProviderFails",
                    [](sim::Modem& m) {
                        auto settings = Interface("46001");
                        settings.homeProviderResult = E_FAIL;
                        m.AddInterface(settings);
                    },
                    {"[error][CStateWork::GetSimInfo] GetHomeProvider Fail.", "GetProviderID mccmnc: 46001\n"},
                    {kHome}},
        SimInfoCase{"NoRegistrationInterface",
                    [](sim::Modem& m) {
                        auto settings = Interface("46001");
                        settings.registrationResult = E_NOINTERFACE;
                        m.AddInterface(settings);
                    },
                    {"[error][CStateWork::GetSimInfo] QueryInterface Fail.", "SetSimChangeEvent mccmnc:: \n"},
                    {"GetProviderID"}},
        SimInfoCase{"ProviderIdFails",
                    [](sim::Modem& m) {
                        auto settings = Interface("46001");
                        settings.providerIdResult = E_FAIL;
                        m.AddInterface(settings);
                    },
                    {"[error][CStateWork::GetSimInfo] GetProviderID Fail.", "SetSimChangeEvent mccmnc:: \n"},
                    {"46001"}},
        SimInfoCase{"ComNotInitialised",
                    [](sim::Modem& m) {
                        m.AddInterface(Interface("46001"));
                        m.SetFault(sim::ModemFault::CoInitialize, E_FAIL);
                    },
                    {"CoInitializeEx error", "SetSimChangeEvent mccmnc:: "},
                    {"CoInitializeEx done"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
