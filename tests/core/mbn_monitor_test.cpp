#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CMbnMonitor.h"
#include "core/CMbnRegEvent.h"
#include "core/CStateWork.h"
#include "platform/sync.h"
#include "tests/core/road_fixture.h"

namespace {

using roadtest::RoadTest;
using sim::RegistrationEvent;

class MonitorTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        before_ = sim::LiveComObjects();
    }
    void TearDown() override {
        monitor_->DetachStateMbnRegEvent();
        RoadTest::TearDown();
    }
    std::size_t Advised() { return modem().AdvisedSinks(IID_IMbnRegistrationEvents); }
    void Raise(RegistrationEvent event) {
        modem().RaiseRegistrationEvent(event);
        machine().clock().Settle();
    }
    void AddModem(const std::string& provider, HRESULT providerResult = S_OK) {
        sim::ModemInterface settings;
        settings.providerId = provider;
        settings.providerIdResult = providerResult;
        modem().AddInterface(settings);
    }

    CMbnMonitor* monitor_ = CMbnMonitor::GetInstance();
    std::size_t before_ = 0;
};

TEST_F(MonitorTest, AttachAdvisesOneSinkAndDetachLetsGoOfEverything) {
    AddModem("310410");
    EXPECT_EQ(monitor_->AttachStateMbnRegEvent(), 1);
    EXPECT_EQ(Advised(), 1u);
    monitor_->DetachStateMbnRegEvent();
    EXPECT_EQ(Advised(), 0u);
    EXPECT_EQ(monitor_->GetRegEvent(), nullptr);
    EXPECT_EQ(sim::LiveComObjects(), before_);
    // Twice is harmless.
    monitor_->DetachStateMbnRegEvent();
    EXPECT_EQ(sim::LiveComObjects(), before_);
}

TEST_F(MonitorTest, SinkIsDeletedExactlyOnceAfterDetach) {
    AddModem("310410");
    ASSERT_EQ(monitor_->AttachStateMbnRegEvent(), 1);
    CMbnRegEvent* sink = monitor_->GetRegEvent();
    ASSERT_NE(sink, nullptr);
    // The monitor's reference, the connection point's and now the test's.
    EXPECT_EQ(sink->AddRef(), 3u);
    monitor_->DetachStateMbnRegEvent();
    EXPECT_EQ(Advised(), 0u);
    // Both other references are gone: the test's release deletes the sink.
    EXPECT_EQ(sink->Release(), 0u);
    std::string log = Log();
    Raise(RegistrationEvent::RegisterStateChange);
    EXPECT_EQ(Log(), log);
}

struct AttachFailure {
    const char* name;
    sim::ModemFault fault;
    const char* logged;
};

void PrintTo(const AttachFailure& c, std::ostream* out) { *out << c.name; }

class FailedAttach : public MonitorTest, public ::testing::WithParamInterface<AttachFailure> {};

TEST_P(FailedAttach, LogsTheStepAndDetachReleasesWhatWasObtained) {
    AddModem("310410");
    modem().SetFault(GetParam().fault, E_FAIL);
    EXPECT_EQ(monitor_->AttachStateMbnRegEvent(), 0);
    EXPECT_TRUE(LoggedAsError(std::string("[Fail][CMbnMonitor::AttachStateMbnRegEvent] ") + GetParam().logged)) << Log();
    EXPECT_EQ(Advised(), 0u);
    monitor_->DetachStateMbnRegEvent();
    EXPECT_EQ(monitor_->GetRegEvent(), nullptr);
    EXPECT_EQ(sim::LiveComObjects(), before_);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedAttach,
    ::testing::Values(
        AttachFailure{"CoInitialize", sim::ModemFault::CoInitialize, "CoInitializeEx Fail."},
        AttachFailure{"InterfaceManager", sim::ModemFault::CreateInterfaceManager,
                      "CoCreateInstance CLSID_MbnInterfaceManager Fail."},
        AttachFailure{"Container", sim::ModemFault::ConnectionPointContainer,
                      "QueryInterface IConnectionPointContainer Fail."},
        AttachFailure{"FindConnectionPoint", sim::ModemFault::FindConnectionPoint,
                      "IConnectionPointContainer FindConnectionPoint Fail."},
        AttachFailure{"Advise", sim::ModemFault::Advise, "IConnectionPoint Advise Fail."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitorTest, DetachAfterAFailedFindConnectionPointAttemptsNoUnadvise) {
    AddModem("310410");
    modem().SetFault(sim::ModemFault::FindConnectionPoint, E_FAIL);
    // An Unadvise would fail and leave its trace; none is attempted.
    modem().SetFault(sim::ModemFault::Unadvise, E_UNEXPECTED);
    ASSERT_EQ(monitor_->AttachStateMbnRegEvent(), 0);
    CMbnRegEvent* sink = monitor_->GetRegEvent();
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(sink->AddRef(), 2u);
    monitor_->DetachStateMbnRegEvent();
    EXPECT_EQ(sink->Release(), 0u);
    EXPECT_EQ(sim::LiveComObjects(), before_);
}

// ---- the sink ------------------------------------------------------------------------------

TEST(RegEventSink, AnswersOnlyForTheRegistrationEvents) {
    CMbnRegEvent* sink = new CMbnRegEvent();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(sink->QueryInterface(IID_IMbnInterfaceEvents, &object), E_NOINTERFACE);
    ASSERT_EQ(sink->QueryInterface(IID_IMbnRegistrationEvents, &object), S_OK);
    EXPECT_EQ(object, static_cast<IMbnRegistrationEvents*>(sink));
    EXPECT_EQ(sink->AddRef(), 3u);
    EXPECT_EQ(sink->Release(), 2u);
    EXPECT_EQ(sink->Release(), 1u);
    EXPECT_EQ(sink->Release(), 0u);
}

// The worker's side of a registration change: the singleton with its events, its loop running.
class RegistrationTest : public MonitorTest {
protected:
    // Settled: the worker's start-up is over and it waits.
    void StartWorker(bool settled = true) {
        work_ = CStateWork::GetInstance();
        work_->InitPath();
        ASSERT_EQ(work_->InitWork(), 1);
        ASSERT_EQ(monitor_->AttachStateMbnRegEvent(), 1);
        ASSERT_NE(work_->StartThread(), nullptr);
        if (settled) Sleep(1000);
    }
    void StopWorker() {
        monitor_->DetachStateMbnRegEvent();
        work_->StopThread();
    }
    CStateWork* work_ = nullptr;
};

TEST_F(RegistrationTest, ProviderChangeSignalsSimChangeAndTheWorkerMapsTheMcc) {
    Settings("CustomizationSolutionType=2\n");
    AddModem("310410");
    StartWorker();
    modem().SetProviderId(0, "46001");
    Raise(RegistrationEvent::RegisterStateChange);
    Sleep(1000);
    StopWorker();
    EXPECT_TRUE(LoggedInOrder({"mcc:310", "CMbnRegEvent::OnRegisterStateChange enter.",
                               "CMbnRegEvent::OnRegisterStateChange GetProviderID mccmnc: 46001",
                               "SetSimChangeEvent mccmnc:: 46001", "mcc:460"}));
}

TEST_F(RegistrationTest, SameProviderTwiceIsHandedOverTwice) {
    Settings("CustomizationSolutionType=2\n");
    AddModem("46001");
    StartWorker();
    Raise(RegistrationEvent::RegisterStateChange);
    Sleep(1000);
    Raise(RegistrationEvent::RegisterStateChange);
    Sleep(1000);
    StopWorker();
    // The start-up's hand-over and the two events.
    EXPECT_EQ(CountLogged("SetSimChangeEvent mccmnc:: 46001"), 3u);
    EXPECT_EQ(CountLogged("mcc:460"), 3u);
}

TEST_F(RegistrationTest, EmptyProviderIdStillSignals) {
    Settings("CustomizationSolutionType=2\n");
    AddModem("310410");
    StartWorker();
    modem().SetProviderId(0, "");
    Raise(RegistrationEvent::RegisterStateChange);
    Sleep(1000);
    StopWorker();
    EXPECT_TRUE(LoggedInOrder({"CMbnRegEvent::OnRegisterStateChange GetProviderID mccmnc: ", "SetSimChangeEvent mccmnc:: ",
                               "mcc:"}));
}

TEST_F(RegistrationTest, FailedProviderIdSignalsNothing) {
    Settings("CustomizationSolutionType=2\n");
    AddModem("310410");
    StartWorker();
    sim::ModemInterface settings = modem().Interface(0);
    settings.providerIdResult = E_FAIL;
    modem().SetInterface(0, settings);
    Raise(RegistrationEvent::RegisterStateChange);
    Sleep(1000);
    StopWorker();
    EXPECT_TRUE(LoggedAsError("CMbnRegEvent::OnRegisterStateChange error"));
    EXPECT_EQ(CountLogged("SetSimChangeEvent mccmnc:: 310410"), 1u);  // the start-up's only
    EXPECT_EQ(CountLogged("mcc:310"), 1u);
}

// Changes that reach the sink at the very moment the worker writes the provider itself (its
// start-up) or reads it (the wake-up the first of them causes). The machine's threads run at once
// under ThreadSanitizer, which then sees whether the provider lock keeps them apart.
struct SameMomentCase {
    const char* name;
    bool afterStartUp;
};

void PrintTo(const SameMomentCase& c, std::ostream* out) { *out << c.name; }

class RegistrationAtTheWorkersMoment : public RegistrationTest, public ::testing::WithParamInterface<SameMomentCase> {};

TEST_P(RegistrationAtTheWorkersMoment, IsHandedOverBesideTheWorkersOwnUseOfTheProvider) {
    constexpr std::size_t kChanges = 8;
    Settings("CustomizationSolutionType=2\n");
    AddModem("46001");
    StartWorker(GetParam().afterStartUp);
    for (std::size_t i = 0; i < kChanges; ++i) modem().RaiseRegistrationEvent(RegistrationEvent::RegisterStateChange);
    Sleep(1000);
    StopWorker();
    EXPECT_EQ(CountLogged("CMbnRegEvent::OnRegisterStateChange GetProviderID mccmnc: 46001"), kChanges);
    // The start-up's hand-over and one per change; the wake-ups they cause may fold together.
    EXPECT_EQ(CountLogged("SetSimChangeEvent mccmnc:: 46001"), kChanges + 1);
    EXPECT_TRUE(Logged("mcc:460"));
    EXPECT_EQ(CountLogged("[Infomation][CStateWork::Work] Triger Service Stop Event.\n"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Moments, RegistrationAtTheWorkersMoment,
                         ::testing::Values(SameMomentCase{"StartUp", false}, SameMomentCase{"WakeUp", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitorTest, RegistrationChangeWithoutAnInterfaceIsLogged) {
    ASSERT_EQ(monitor_->AttachStateMbnRegEvent(), 1);
    Raise(RegistrationEvent::RegisterStateChange);
    EXPECT_TRUE(LoggedAsError(" CMbnRegEvent::OnRegisterStateChange newInterface == NULL"));
    EXPECT_FALSE(Logged("CMbnRegEvent::OnRegisterStateChange enter."));
}

struct OtherEventCase {
    const char* name;
    RegistrationEvent event;
    const char* provider;
    HRESULT result;
    std::vector<std::string> logged;
    const char* error;  // logged as type 1, or null
};

void PrintTo(const OtherEventCase& c, std::ostream* out) { *out << c.name; }

class OtherEvents : public MonitorTest, public ::testing::WithParamInterface<OtherEventCase> {};

TEST_P(OtherEvents, OnlyLogTheProviderId) {
    const OtherEventCase& c = GetParam();
    AddModem(c.provider, c.result);
    ASSERT_EQ(monitor_->AttachStateMbnRegEvent(), 1);
    Raise(c.event);
    EXPECT_TRUE(LoggedInOrder(c.logged)) << Log();
    if (c.error) {
        EXPECT_TRUE(LoggedAsError(c.error));
    }
    EXPECT_EQ(Log().find("SetSimChangeEvent"), std::string::npos);
    if (*c.provider) {
        EXPECT_EQ(Log().find(std::string(c.provider) + "\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OtherEvents,
    ::testing::Values(
        OtherEventCase{"ModeAvailable", RegistrationEvent::RegisterModeAvailable, "46001", S_OK,
                       {" --------------------CMbnRegEvent::OnRegisterModeAvailable"}, nullptr},
        OtherEventCase{"ModeAvailableEmpty", RegistrationEvent::RegisterModeAvailable, "", S_OK,
                       {"CMbnRegEvent::OnRegisterModeAvailable strmccInfo=null"}, nullptr},
        OtherEventCase{"ModeAvailableFailed", RegistrationEvent::RegisterModeAvailable, "46001", E_FAIL,
                       {"CMbnRegEvent::OnRegisterModeAvailable error",
                        "CMbnRegEvent::OnRegisterModeAvailable strmccInfo=null"},
                       "CMbnRegEvent::OnRegisterModeAvailable error"},
        OtherEventCase{"PacketService", RegistrationEvent::PacketServiceStateChange, "46001", S_OK,
                       {" --------------------CMbnRegEvent::OnPacketServiceStateChange"}, nullptr},
        OtherEventCase{"PacketServiceFailed", RegistrationEvent::PacketServiceStateChange, "46001", E_FAIL,
                       {"CMbnRegEvent::OnPacketServiceStateChange error",
                        "CMbnRegEvent::OnPacketServiceStateChange strmccInfo=null"},
                       "CMbnRegEvent::OnPacketServiceStateChange error"},
        OtherEventCase{"SetModeComplete", RegistrationEvent::SetRegisterModeComplete, "46001", S_OK,
                       {" --------------------CMbnRegEvent::OnSetRegisterModeComplete"}, nullptr},
        OtherEventCase{"SetModeCompleteEmpty", RegistrationEvent::SetRegisterModeComplete, "", S_OK,
                       {"CMbnRegEvent::OnSetRegisterModeComplete strmccInfo=null"}, nullptr},
        OtherEventCase{"SetModeCompleteFailed", RegistrationEvent::SetRegisterModeComplete, "46001", E_FAIL,
                       {"CMbnRegEvent::OnSetRegisterModeComplete error Result",
                        "CMbnRegEvent::OnSetRegisterModeComplete strmccInfo=null"},
                       "CMbnRegEvent::OnSetRegisterModeComplete error Result"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitorTest, OtherEventsWithoutAnInterfaceAreSilent) {
    ASSERT_EQ(monitor_->AttachStateMbnRegEvent(), 1);
    std::string log = Log();
    for (RegistrationEvent event : {RegistrationEvent::RegisterModeAvailable, RegistrationEvent::PacketServiceStateChange,
                                    RegistrationEvent::SetRegisterModeComplete})
        Raise(event);
    EXPECT_EQ(Log(), log);
}

TEST_F(MonitorTest, SinkSimInfoLogsOnlyTheHomeProvider) {
    sim::ModemInterface settings;
    settings.homeProviderId = "26201";
    modem().AddInterface(settings);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CMbnRegEvent* sink = new CMbnRegEvent();
    EXPECT_TRUE(sink->GetSimInfo());
    sink->Release();
    CoUninitialize();
    EXPECT_TRUE(LoggedInOrder({"[CMbnRegEvent::GetSimInfo] enter.", "[CStateWork::GetSimInfo] GetHomeProvider str_mccmnc: 26201"}));
    EXPECT_FALSE(Logged("[CStateWork::GetSimInfo] GetProviderID mccmnc: 310410"));
    EXPECT_EQ(sim::LiveComObjects(), before_);
}

}  // namespace
