#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/mbn.h"
#include "platform/sim/modem.h"
#include "platform/sync.h"
#include "tests/platform/mbn_objects.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::PointOf;
using kvtest::SimTest;

std::string Utf8(const WCHAR* text) {
    std::string out;
    if (!text) return out;
    for (; *text; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

std::string Bytes(SAFEARRAY* array) {
    if (!array) return "<null>";
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    std::string out(static_cast<const char*>(data), static_cast<std::size_t>(upper - lower + 1));
    SafeArrayUnaccessData(array);
    return out;
}

std::string ServiceIdOf(IMbnDeviceService* service) {
    BSTR id = nullptr;
    if (!service || FAILED(service->get_DeviceServiceID(&id))) return "<none>";
    std::string text = Utf8(id);
    SysFreeString(id);
    return text;
}

// Records every callback; `arrived` (auto reset) is set after each.
class Recorder {
public:
    Recorder() : arrived(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~Recorder() { CloseHandle(arrived); }
    void Note(std::string line) {
        {
            std::lock_guard lock(mutex_);
            lines_.push_back(std::move(line));
            threads_.push_back(GetCurrentThreadId());
        }
        SetEvent(arrived);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<DWORD> Threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    HANDLE arrived;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<DWORD> threads_;
};

class ServiceSink final : public IMbnDeviceServicesEvents, public Recorder {
public:
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IMbnDeviceServicesEvents) {
            AddRef();
            *out = static_cast<IMbnDeviceServicesEvents*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
    ULONG Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs)); }
    HRESULT OnQuerySupportedCommandsComplete(IMbnDeviceService*, SAFEARRAY*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnOpenCommandSessionComplete(IMbnDeviceService* service, HRESULT status, ULONG id) override {
        Note("open " + ServiceIdOf(service) + " " + std::to_string(status) + " #" + std::to_string(id));
        return S_OK;
    }
    HRESULT OnCloseCommandSessionComplete(IMbnDeviceService* service, HRESULT status, ULONG id) override {
        Note("close " + ServiceIdOf(service) + " " + std::to_string(status) + " #" + std::to_string(id));
        return S_OK;
    }
    HRESULT OnSetCommandComplete(IMbnDeviceService* service, ULONG response, SAFEARRAY* data, HRESULT status,
                                 ULONG id) override {
        Note("set " + ServiceIdOf(service) + " " + std::to_string(response) + " [" + Bytes(data) + "] " +
             std::to_string(status) + " #" + std::to_string(id));
        return S_OK;
    }
    HRESULT OnQueryCommandComplete(IMbnDeviceService* service, ULONG response, SAFEARRAY* data, HRESULT status,
                                   ULONG id) override {
        Note("query " + ServiceIdOf(service) + " " + std::to_string(response) + " [" + Bytes(data) + "] " +
             std::to_string(status) + " #" + std::to_string(id));
        return S_OK;
    }
    HRESULT OnEventNotification(IMbnDeviceService* service, ULONG event, SAFEARRAY* data) override {
        Note("event " + ServiceIdOf(service) + " " + std::to_string(event) + " [" + Bytes(data) + "]");
        return S_OK;
    }
    HRESULT OnOpenDataSessionComplete(IMbnDeviceService*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnCloseDataSessionComplete(IMbnDeviceService*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnWriteDataComplete(IMbnDeviceService*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnReadData(IMbnDeviceService*, SAFEARRAY*) override { return S_OK; }
    HRESULT OnInterfaceStateChange(BSTR, MBN_DEVICE_SERVICES_INTERFACE_STATE) override { return S_OK; }
    LONG refs = 1;
};

class RegistrationSink final : public IMbnRegistrationEvents, public Recorder {
public:
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IMbnRegistrationEvents) {
            AddRef();
            *out = static_cast<IMbnRegistrationEvents*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
    ULONG Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs)); }
    HRESULT OnRegisterModeAvailable(IMbnRegistration* r) override { return Record("mode", r); }
    HRESULT OnRegisterStateChange(IMbnRegistration* r) override {
        if (stallMs) {
            SetEvent(entered);
            Sleep(stallMs);
        }
        return Record("state", r);
    }
    HRESULT OnPacketServiceStateChange(IMbnRegistration* r) override { return Record("packet", r); }
    HRESULT OnSetRegisterModeComplete(IMbnRegistration* r, ULONG id, HRESULT status) override {
        return Record("setmode #" + std::to_string(id) + " " + std::to_string(status), r);
    }
    LONG Refs() { return InterlockedCompareExchange(&refs, 0, 0); }
    HRESULT Record(const std::string& what, IMbnRegistration* registration) {
        std::string provider = "<null>";
        BSTR id = nullptr;
        if (registration && SUCCEEDED(registration->GetProviderID(&id))) provider = Utf8(id);
        SysFreeString(id);
        Note(what + " " + provider);
        return S_OK;
    }
    LONG refs = 1;
    DWORD stallMs = 0;
    HANDLE entered = nullptr;
};

template <class T>
T* Create(REFCLSID clsid, REFIID iid) {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, &object), S_OK);
    return static_cast<T*>(object);
}

class MbnTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        liveObjects_ = sim::LiveComObjects();
        liveArrays_ = sim::LiveSafeArrays();
        liveBstrs_ = sim::LiveBstrs();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
    void TearDown() override {
        CoUninitialize();
        machine().clock().Settle();  // deliveries still finishing
        EXPECT_EQ(sim::LiveComObjects(), liveObjects_);
        EXPECT_EQ(sim::LiveSafeArrays(), liveArrays_);
        EXPECT_EQ(sim::LiveBstrs(), liveBstrs_);
        SimTest::TearDown();
    }
    sim::Modem& modem() { return machine().modem(); }

    // The named device service of the first interface.
    IMbnDeviceService* Service(const char* id) {
        IMbnDeviceService* service = kvtest::FirstInterfaceDeviceService(id);
        EXPECT_NE(service, nullptr) << id;
        return service;
    }

    // Advises `sink` for the device-service events; Unadvise with the result.
    DWORD AdviseServices(IUnknown* sink) {
        if (!servicesManager_) {
            servicesManager_ = Create<IMbnDeviceServicesManager>(CLSID_MbnDeviceServicesManager,
                                                                  IID_IMbnDeviceServicesManager);
            servicesPoint_ = PointOf(servicesManager_, IID_IMbnDeviceServicesEvents);
        }
        DWORD cookie = 0;
        EXPECT_EQ(servicesPoint_->Advise(sink, &cookie), S_OK);
        return cookie;
    }
    // Unadvise waits for no call: a sink on the test's stack stays until the calls under way end.
    void UnadviseServices(DWORD cookie) {
        EXPECT_EQ(servicesPoint_->Unadvise(cookie), S_OK);
        machine().clock().Settle();
    }
    void ReleaseServices() {
        if (servicesPoint_) servicesPoint_->Release();
        if (servicesManager_) servicesManager_->Release();
        servicesPoint_ = nullptr;
        servicesManager_ = nullptr;
    }

    SAFEARRAY* ByteArray(const std::string& bytes) {
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        for (LONG i = 0; i < static_cast<LONG>(bytes.size()); ++i) {
            BYTE b = static_cast<BYTE>(bytes[static_cast<std::size_t>(i)]);
            SafeArrayPutElement(array, &i, &b);
        }
        return array;
    }
    HRESULT Send(IMbnDeviceService* service, ULONG command, const std::string& bytes, ULONG* request, bool query = false) {
        SAFEARRAY* array = ByteArray(bytes);
        HRESULT hr = query ? service->QueryCommand(command, array, request) : service->SetCommand(command, array, request);
        SafeArrayDestroy(array);
        return hr;
    }

    IMbnDeviceServicesManager* servicesManager_ = nullptr;
    IConnectionPoint* servicesPoint_ = nullptr;
    std::size_t liveObjects_ = 0, liveArrays_ = 0, liveBstrs_ = 0;
};

TEST_F(MbnTest, WithoutModemTheInterfaceArrayIsEmpty) {
    auto* manager = Create<IMbnInterfaceManager>(CLSID_MbnInterfaceManager, IID_IMbnInterfaceManager);
    SAFEARRAY* array = nullptr;
    ASSERT_EQ(manager->GetInterfaces(&array), S_OK);
    LONG lower = -1, upper = 0;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, -1);
    SafeArrayDestroy(array);
    modem().SetFault(sim::ModemFault::GetInterfaces, E_FAIL);
    EXPECT_EQ(manager->GetInterfaces(&array), E_FAIL);
    EXPECT_EQ(array, nullptr);
    manager->Release();
}

TEST_F(MbnTest, InterfaceReportsItsIdentity) {
    sim::ModemInterface settings;
    settings.id = "{11111111-2222-3333-4444-555555555555}";
    settings.iccid = "8986001";
    settings.homeProviderId = "46000";
    settings.homeProviderName = "Home";
    settings.providerId = "46001";
    settings.readyState = MBN_READY_STATE_SIM_NOT_INSERTED;
    modem().AddInterface(settings);
    sim::ModemInterface second;
    second.homeProviderResult = E_MBN_SIM_NOT_INSERTED;
    second.registrationResult = E_NOINTERFACE;
    modem().AddInterface(second);

    auto* manager = Create<IMbnInterfaceManager>(CLSID_MbnInterfaceManager, IID_IMbnInterfaceManager);
    SAFEARRAY* array = nullptr;
    ASSERT_EQ(manager->GetInterfaces(&array), S_OK);
    LONG upper = 0;
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(upper, 1);
    IMbnInterface* first = nullptr;
    IMbnInterface* other = nullptr;
    LONG index = 0;
    SafeArrayGetElement(array, &index, &first);
    index = 1;
    SafeArrayGetElement(array, &index, &other);
    SafeArrayDestroy(array);
    manager->Release();

    BSTR text = nullptr;
    ASSERT_EQ(first->get_InterfaceID(&text), S_OK);
    EXPECT_EQ(Utf8(text), settings.id);
    SysFreeString(text);
    MBN_READY_STATE state = MBN_READY_STATE_OFF;
    EXPECT_EQ(first->GetReadyState(&state), S_OK);
    EXPECT_EQ(state, MBN_READY_STATE_SIM_NOT_INSERTED);
    IMbnSubscriberInformation* subscriber = nullptr;
    ASSERT_EQ(first->GetSubscriberInformation(&subscriber), S_OK);
    ASSERT_EQ(subscriber->get_SimIccID(&text), S_OK);
    EXPECT_EQ(Utf8(text), "8986001");
    SysFreeString(text);
    subscriber->Release();
    MBN_PROVIDER home{};
    ASSERT_EQ(first->GetHomeProvider(&home), S_OK);
    EXPECT_EQ(Utf8(home.providerID), "46000");
    EXPECT_EQ(Utf8(home.providerName), "Home");
    EXPECT_EQ(home.providerState, 0x1u);  // MBN_PROVIDER_STATE_HOME
    EXPECT_EQ(home.dataClass, static_cast<ULONG>(MBN_DATA_CLASS_LTE));
    SysFreeString(home.providerID);
    SysFreeString(home.providerName);
    IMbnRegistration* registration = nullptr;
    ASSERT_EQ(first->QueryInterface(IID_IMbnRegistration, reinterpret_cast<void**>(&registration)), S_OK);
    ASSERT_EQ(registration->GetProviderID(&text), S_OK);
    EXPECT_EQ(Utf8(text), "46001");
    SysFreeString(text);
    registration->Release();
    first->Release();

    ASSERT_EQ(other->get_InterfaceID(&text), S_OK);
    EXPECT_EQ(Utf8(text), "{6a1f3c5e-0000-4000-8000-000000000002}");
    SysFreeString(text);
    EXPECT_EQ(other->GetHomeProvider(&home), E_MBN_SIM_NOT_INSERTED);
    EXPECT_EQ(other->QueryInterface(IID_IMbnRegistration, reinterpret_cast<void**>(&registration)), E_NOINTERFACE);
    EXPECT_EQ(registration, nullptr);
    other->Release();
}

TEST_F(MbnTest, AdviseHoldsTheSinkUntilUnadvise) {
    auto* manager = Create<IMbnInterfaceManager>(CLSID_MbnInterfaceManager, IID_IMbnInterfaceManager);
    IConnectionPointContainer* container = nullptr;
    ASSERT_EQ(manager->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)), S_OK);
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IMbnDeviceServicesEvents, &point), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(IID_IMbnRegistrationEvents, &point), S_OK);

    RegistrationSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(sink.refs, 2);
    EXPECT_EQ(modem().AdvisedSinks(IID_IMbnRegistrationEvents), 1u);
    ServiceSink wrongKind;
    DWORD other = 0;
    EXPECT_EQ(point->Advise(&wrongKind, &other), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(wrongKind.refs, 1);
    EXPECT_EQ(point->Unadvise(cookie + 100), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink.refs, 1);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(modem().AdvisedSinks(IID_IMbnRegistrationEvents), 0u);

    modem().SetFault(sim::ModemFault::Advise, E_ACCESSDENIED);
    EXPECT_EQ(point->Advise(&sink, &cookie), E_ACCESSDENIED);
    EXPECT_EQ(sink.refs, 1);
    point->Release();
    container->Release();
    manager->Release();
}

TEST_F(MbnTest, RegistrationChangesReachEveryAdvisedSinkOnLayerThreads) {
    modem().AddInterface();
    modem().SetProviderId(0, "46011");
    auto* manager = Create<IMbnInterfaceManager>(CLSID_MbnInterfaceManager, IID_IMbnInterfaceManager);
    IConnectionPoint* point = PointOf(manager, IID_IMbnRegistrationEvents);
    RegistrationSink first, second;
    DWORD cookie1 = 0, cookie2 = 0;
    point->Advise(&first, &cookie1);
    point->Advise(&second, &cookie2);

    modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange);
    machine().clock().Settle();
    EXPECT_EQ(first.Lines(), std::vector<std::string>{"state 46011"});
    EXPECT_EQ(second.Lines(), std::vector<std::string>{"state 46011"});
    EXPECT_NE(first.Threads()[0], GetCurrentThreadId());

    point->Unadvise(cookie1);
    modem().RaiseRegistrationEvent(sim::RegistrationEvent::SetRegisterModeComplete, 0, 9, E_FAIL);
    machine().clock().Settle();
    modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange, 5);  // no such interface
    machine().clock().Settle();
    EXPECT_EQ(first.Lines().size(), 1u);
    EXPECT_EQ(second.Lines(), (std::vector<std::string>{"state 46011", "setmode #9 " + std::to_string(E_FAIL) + " 46011",
                                                        "state <null>"}));
    point->Unadvise(cookie2);
    point->Release();
    manager->Release();
}

// A modem that comes back registers again: its registration events reach the
// sinks advised on the manager, which stayed advised while it was gone.
TEST_F(MbnTest, AReturningInterfaceRegistersAgain) {
    sim::ModemInterface settings;
    settings.providerId = "20801";
    modem().AddInterface(settings);
    auto* manager = Create<IMbnInterfaceManager>(CLSID_MbnInterfaceManager, IID_IMbnInterfaceManager);
    IConnectionPoint* point = PointOf(manager, IID_IMbnRegistrationEvents);
    RegistrationSink sink;
    DWORD cookie = 0;
    point->Advise(&sink, &cookie);

    modem().RemoveInterfaces();
    machine().clock().Settle();
    EXPECT_TRUE(sink.Lines().empty());
    EXPECT_EQ(modem().ReturnInterface(settings), 0u);
    EXPECT_EQ(modem().InterfaceCount(), 1u);
    machine().clock().Settle();
    EXPECT_EQ(sink.Lines(), (std::vector<std::string>{"state 20801", "packet 20801"}));
    EXPECT_NE(sink.Threads()[0], GetCurrentThreadId());

    // Beside an interface that stayed, the returning one is the one reported.
    settings.providerId = "23415";
    EXPECT_EQ(modem().ReturnInterface(settings), 1u);
    machine().clock().Settle();
    EXPECT_EQ(sink.Lines().size(), 4u);
    EXPECT_EQ(sink.Lines().back(), "packet 23415");
    point->Unadvise(cookie);
    point->Release();
    manager->Release();
}

// Counts its registration calls in a value of its own and says that a call returned without
// ordering anything, as a flag the caller looks at without a wait.
class CountingSink final : public kvtest::TestSink<IMbnRegistrationEvents, IID_IMbnRegistrationEvents> {
public:
    HRESULT OnRegisterModeAvailable(IMbnRegistration*) override { return S_OK; }
    HRESULT OnRegisterStateChange(IMbnRegistration*) override {
        ++count;
        returned.store(true, std::memory_order_relaxed);
        return S_OK;
    }
    HRESULT OnPacketServiceStateChange(IMbnRegistration*) override { return S_OK; }
    HRESULT OnSetRegisterModeComplete(IMbnRegistration*, ULONG, HRESULT) override { return S_OK; }

    int count = 0;  // the calls' and, between them, the caller's
    std::atomic<bool> returned{false};
};

// A call that has returned is ordered before an Unadvise that then finds no call in progress:
// what the call wrote is the caller's once Unadvise returns. Many times over, so that on the
// concurrent machine an Unadvise falls in whatever gap there is between a call's return and the
// connection point's account of it, where ThreadSanitizer would see the two writes unordered.
TEST_F(MbnTest, ACallThatHasReturnedIsOrderedBeforeTheUnadviseThatFollows) {
    constexpr int kTimes = 1500;
    auto* manager = Create<IMbnInterfaceManager>(CLSID_MbnInterfaceManager, IID_IMbnInterfaceManager);
    IConnectionPoint* point = PointOf(manager, IID_IMbnRegistrationEvents);
    CountingSink sink;
    // One turn runs the delivery only while this thread waits; at once, a wait would order it.
    auto letItRun = [&] {
        if (!machine().clock().Concurrent()) Sleep(1);
    };
    for (int i = 0; i < kTimes; ++i) {
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
        sink.returned.store(false, std::memory_order_relaxed);
        modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange);
        while (!sink.returned.load(std::memory_order_relaxed)) letItRun();
        ASSERT_EQ(point->Unadvise(cookie), S_OK);
        // A call still in progress holds the sink until it ends, and its letting go orders it.
        while (sink.Refs() != 1) letItRun();
        ++sink.count;
    }
    EXPECT_EQ(sink.count, 2 * kTimes);
    point->Release();
    manager->Release();
}

// Which sink the caller unadvises while the delivery's first call, to the other one or to this
// one, is still in progress.
struct LateCallCase {
    const char* name;
    bool callInProgress;  // the sink the call is in, else the one the delivery calls next
};

void PrintTo(const LateCallCase& c, std::ostream* out) { *out << c.name; }

class UnadviseDuringADelivery : public MbnTest, public ::testing::WithParamInterface<LateCallCase> {};

// Windows' documentation promises no wait for a call in progress, and none is made: Unadvise
// returns at once, and a call in progress, or one the delivery has yet to make, still reaches
// the sink, which it holds until it ends. No later delivery reaches it.
TEST_P(UnadviseDuringADelivery, ReturnsAtOnceAndTheCallStillComesHoldingTheSink) {
    modem().AddInterface();
    auto* manager = Create<IMbnInterfaceManager>(CLSID_MbnInterfaceManager, IID_IMbnInterfaceManager);
    IConnectionPoint* point = PointOf(manager, IID_IMbnRegistrationEvents);
    RegistrationSink stalling, next;
    stalling.stallMs = 1000;
    stalling.entered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD stallingCookie = 0, nextCookie = 0;
    ASSERT_EQ(point->Advise(&stalling, &stallingCookie), S_OK);
    ASSERT_EQ(point->Advise(&next, &nextCookie), S_OK);
    const bool inProgress = GetParam().callInProgress;
    RegistrationSink& gone = inProgress ? stalling : next;
    RegistrationSink& kept = inProgress ? next : stalling;

    modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange);
    ASSERT_EQ(WaitForSingleObject(stalling.entered, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(point->Unadvise(inProgress ? stallingCookie : nextCookie), S_OK);
    EXPECT_EQ(machine().clock().Now(), 0);
    EXPECT_TRUE(gone.Lines().empty());
    EXPECT_EQ(gone.Refs(), 2);  // still the connection's, for the call
    EXPECT_EQ(modem().AdvisedSinks(IID_IMbnRegistrationEvents), 1u);
    ASSERT_EQ(WaitForSingleObject(gone.arrived, 5000), WAIT_OBJECT_0);
    machine().clock().Settle();
    EXPECT_EQ(machine().clock().Now(), 1000);
    EXPECT_EQ(gone.Lines().size(), 1u);
    EXPECT_EQ(gone.Refs(), 1);

    ResetEvent(kept.arrived);
    modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange);
    ASSERT_EQ(WaitForSingleObject(kept.arrived, 5000), WAIT_OBJECT_0);
    machine().clock().Settle();
    EXPECT_EQ(gone.Lines().size(), 1u);
    EXPECT_EQ(kept.Lines().size(), 2u);
    EXPECT_EQ(point->Unadvise(inProgress ? nextCookie : stallingCookie), S_OK);
    CloseHandle(stalling.entered);
    point->Release();
    manager->Release();
}

INSTANTIATE_TEST_SUITE_P(Sinks, UnadviseDuringADelivery,
                         ::testing::Values(LateCallCase{"TheCallInProgress", true},
                                           LateCallCase{"TheCallStillToCome", false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SessionCase {
    const char* name;
    sim::SessionBehaviour behaviour;
    HRESULT callResult;
    bool completion;
    DWORD completedAt;
    bool openAfter;
};

TEST_F(MbnTest, SessionOpeningEndsAsConfigured) {
    const SessionCase cases[] = {
        {"complete", {}, S_OK, true, 0, true},
        {"late", {sim::SessionBehaviour::Complete, 6000, S_OK, E_FAIL}, S_OK, true, 6000, true},
        {"bad status", {sim::SessionBehaviour::Complete, 0, E_FAIL, E_FAIL}, S_OK, true, 0, false},
        {"fail", {sim::SessionBehaviour::Fail, 0, S_OK, E_ACCESSDENIED}, E_ACCESSDENIED, false, 0, false},
        {"never", {sim::SessionBehaviour::Never, 0, S_OK, E_FAIL}, S_OK, false, 0, false},
    };
    modem().AddInterface();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modem().SetSessionOpen(sim::kAtServiceId, false);
        modem().SetOpenBehaviour(sim::kAtServiceId, c.behaviour);
        ServiceSink sink;
        DWORD cookie = AdviseServices(&sink);
        IMbnDeviceService* service = Service(sim::kAtServiceId);
        std::int64_t start = machine().clock().Now();
        ULONG request = 0;
        EXPECT_EQ(service->OpenCommandSession(&request), c.callResult);
        DWORD waited = WaitForSingleObject(sink.arrived, 20000);
        EXPECT_EQ(waited, c.completion ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        if (c.completion) {
            EXPECT_EQ(machine().clock().Now() - start, c.completedAt);
            EXPECT_EQ(sink.Lines()[0], std::string("open ") + sim::kAtServiceId + " " +
                                           std::to_string(c.behaviour.status) + " #" + std::to_string(request));
        }
        BOOL open = FALSE;
        EXPECT_EQ(service->get_IsCommandSessionOpen(&open), S_OK);
        EXPECT_EQ(open != FALSE, c.openAfter);
        service->Release();
        UnadviseServices(cookie);
    }
    ReleaseServices();
}

struct ReplyCase {
    const char* command;
    std::string expected;  // the completion as the sink records it, "" for none
    const char* transcript;
};

TEST_F(MbnTest, AtServiceAnswersFromItsReplyTable) {
    modem().AddInterface();
    modem().SetSessionOpen(sim::kAtServiceId, true);
    modem().SetReply("AT+bodysaren?\r\n", sim::ModemReply::Text("\r\n+BODYSAREN: 1\r\nOK\r\n"));
    modem().SetReply("AT+E\r\n", sim::ModemReply::Error());
    modem().SetReply("AT+S\r\n", sim::ModemReply::Silence());
    sim::ModemReply empty = sim::ModemReply::Text("");
    modem().SetReply("AT+EMPTY\r\n", empty);
    sim::ModemReply bad = sim::ModemReply::Text("x");
    bad.status = E_FAIL;
    modem().SetReply("AT+BAD\r\n", bad);
    sim::ModemReply nodata;
    nodata.kind = sim::ModemReply::NoData;
    modem().SetReply("AT+NODATA\r\n", nodata);
    modem().AddReplyPattern("AT+GTANTPROFILE=*\r\n", sim::ModemReply::Text("\r\nPROFILE\r\n"));
    modem().AddReplyPattern("AT+GTANT*", sim::ModemReply::Text("\r\nLATER\r\n"));
    modem().SetDefaultReply(sim::ModemReply::Text("\r\nDEF\r\n"));

    const std::string at = sim::kAtServiceId;
    const std::string failed = std::to_string(E_FAIL);
    const ReplyCase cases[] = {
        {"AT+bodysaren?\r\n", "[\r\n+BODYSAREN: 1\r\nOK\r\n] 0", "\"\\r\\n+BODYSAREN: 1\\r\\nOK\\r\\n\""},
        {"AT+E\r\n", "[\r\nERROR\r\n] 0", "\"\\r\\nERROR\\r\\n\""},
        {"AT+S\r\n", "", "(silent)"},
        {"AT+EMPTY\r\n", "[] 0", "\"\""},
        {"AT+BAD\r\n", "[x] " + failed, "\"x\" status 0x80004005"},
        {"AT+NODATA\r\n", "[<null>] 0", "(no data)"},
        {"AT+GTANTPROFILE=3\r\n", "[\r\nPROFILE\r\n] 0", "\"\\r\\nPROFILE\\r\\n\""},
        {"AT+GTANTX\r\n", "[\r\nLATER\r\n] 0", "\"\\r\\nLATER\\r\\n\""},
        {"AT+bodysaren?\r\n\r\n", "[\r\nDEF\r\n] 0", "\"\\r\\nDEF\\r\\n\""},
    };
    ServiceSink sink;
    DWORD cookie = AdviseServices(&sink);
    IMbnDeviceService* service = Service(sim::kAtServiceId);
    for (const auto& c : cases) {
        SCOPED_TRACE(sim::EscapeBytes(c.command));
        std::size_t before = sink.Lines().size();
        ULONG request = 0;
        ASSERT_EQ(Send(service, 1, c.command, &request), S_OK);
        EXPECT_EQ(WaitForSingleObject(sink.arrived, 5000), c.expected.empty() ? WAIT_TIMEOUT : WAIT_OBJECT_0);
        auto lines = sink.Lines();
        if (!c.expected.empty()) {
            ASSERT_EQ(lines.size(), before + 1);
            EXPECT_EQ(lines.back(), "set " + at + " 1 " + c.expected + " #" + std::to_string(request));
        } else {
            EXPECT_EQ(lines.size(), before);
        }
        EXPECT_EQ(machine().transcript().Lines("modem").back(),
                  "SetCommand " + at + " 1 \"" + sim::EscapeBytes(c.command) + "\" -> " + c.transcript);
    }
    auto commands = modem().Commands();
    ASSERT_EQ(commands.size(), std::size(cases));
    EXPECT_EQ(commands[0].bytes, "AT+bodysaren?\r\n");
    EXPECT_EQ(commands[0].serviceId, at);
    EXPECT_EQ(commands[0].commandId, 1u);

    // Another command id: not supported, no data.
    ULONG request = 0;
    ASSERT_EQ(Send(service, 7, "AT\r\n", &request), S_OK);
    ASSERT_EQ(WaitForSingleObject(sink.arrived, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(sink.Lines().back(), "set " + at + " 7 [<null>] " + std::to_string(E_NOTIMPL) + " #" + std::to_string(request));

    // Only a one-dimensional byte array is a command: anything else is refused and not sent.
    SAFEARRAYBOUND square[2] = {{4, 0}, {2, 0}};
    SAFEARRAY* notBytes[] = {nullptr, SafeArrayCreateVector(VT_BSTR, 0, 1), SafeArrayCreate(VT_UI1, 2, square)};
    ASSERT_NE(notBytes[2], nullptr);
    for (SAFEARRAY* array : notBytes) {
        EXPECT_EQ(service->SetCommand(1, array, &request), E_INVALIDARG);
        EXPECT_EQ(service->QueryCommand(1, array, &request), E_INVALIDARG);
        if (array) SafeArrayDestroy(array);
    }
    EXPECT_EQ(modem().Commands().size(), std::size(cases) + 1);

    // A closed session takes no command.
    modem().SetSessionOpen(sim::kAtServiceId, false);
    EXPECT_EQ(Send(service, 1, "AT\r\n", &request), E_FAIL);
    service->Release();
    UnadviseServices(cookie);
    ReleaseServices();
}

// A modem that disappears right after an answer: the answer arrives, then
// the modem has no interface; a silent one is gone at once.
TEST_F(MbnTest, AGoneReplyIsDeliveredAndThenTheModemHasNoInterface) {
    modem().AddInterface();
    modem().SetSessionOpen(sim::kAtServiceId, true);
    sim::ModemReply gone = sim::ModemReply::Text("\r\nOK\r\n");
    gone.gone = true;
    modem().SetReply("AT+GONE\r\n", gone);
    ServiceSink sink;
    DWORD cookie = AdviseServices(&sink);
    IMbnDeviceService* service = Service(sim::kAtServiceId);
    ULONG request = 0;
    ASSERT_EQ(Send(service, 1, "AT+GONE\r\n", &request), S_OK);
    ASSERT_EQ(WaitForSingleObject(sink.arrived, 5000), WAIT_OBJECT_0);
    machine().clock().Settle();
    EXPECT_EQ(sink.Lines().back(), "set " + std::string(sim::kAtServiceId) + " 1 [\r\nOK\r\n] 0 #" +
                                       std::to_string(request));
    EXPECT_EQ(modem().InterfaceCount(), 0u);
    EXPECT_EQ(machine().transcript().Lines("modem").back(),
              "SetCommand " + std::string(sim::kAtServiceId) + " 1 \"AT+GONE\\r\\n\" -> \"\\r\\nOK\\r\\n\" then gone");

    modem().AddInterface();
    sim::ModemReply silentGone = sim::ModemReply::Silence();
    silentGone.gone = true;
    modem().SetReply("AT+HANG\r\n", silentGone);
    ASSERT_EQ(Send(service, 1, "AT+HANG\r\n", &request), S_OK);
    EXPECT_EQ(modem().InterfaceCount(), 0u);
    service->Release();
    UnadviseServices(cookie);
    ReleaseServices();
}

TEST_F(MbnTest, WrongRequestIdAndUniqueIdsAcrossServices) {
    modem().AddInterface();
    modem().SetSessionOpen(sim::kAtServiceId, true);
    modem().SetSessionOpen(sim::kDeviceModeServiceId, true);
    sim::ModemReply wrong = sim::ModemReply::Text("OK");
    wrong.wrongRequestId = true;
    modem().SetReply("AT+W\r\n", wrong);
    ServiceSink sink;
    DWORD cookie = AdviseServices(&sink);
    IMbnDeviceService* at = Service(sim::kAtServiceId);
    IMbnDeviceService* mode = Service(sim::kDeviceModeServiceId);
    ULONG a = 0, b = 0, c = 0, d = 0;
    ASSERT_EQ(Send(at, 1, "AT\r\n", &a), S_OK);
    ASSERT_EQ(Send(mode, 3, "\r\n", &b, true), S_OK);
    ASSERT_EQ(mode->OpenCommandSession(&c), S_OK);
    ASSERT_EQ(Send(at, 1, "AT+W\r\n", &d), S_OK);
    machine().clock().Settle();
    std::vector<ULONG> ids{a, b, c, d};
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
    auto lines = sink.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].find("#" + std::to_string(d)), std::string::npos);
    at->Release();
    mode->Release();
    UnadviseServices(cookie);
    ReleaseServices();
}

TEST_F(MbnTest, DeviceModeServiceAnswersThreeNumbers) {
    modem().AddInterface();
    modem().SetSessionOpen(sim::kDeviceModeServiceId, true);
    modem().SetDeviceMode(5, 3, -1);
    ServiceSink sink;
    DWORD cookie = AdviseServices(&sink);
    IMbnDeviceService* mode = Service(sim::kDeviceModeServiceId);
    ULONG request = 0;
    ASSERT_EQ(Send(mode, 3, "\r\n", &request, true), S_OK);
    ASSERT_EQ(WaitForSingleObject(sink.arrived, 5000), WAIT_OBJECT_0);
    const std::string numbers("\x05\0\0\0\x03\0\0\0\xFF\xFF\xFF\xFF", 12);
    EXPECT_EQ(sink.Lines().back(),
              std::string("query ") + sim::kDeviceModeServiceId + " 3 [" + numbers + "] 0 #" + std::to_string(request));
    EXPECT_EQ(machine().transcript().Lines("modem").back(),
              std::string("QueryCommand ") + sim::kDeviceModeServiceId + " 3 \"\\r\\n\" -> 5 3 -1");

    modem().SetDeviceModeReply(sim::ModemReply::Text("\x01\x02"));
    ASSERT_EQ(Send(mode, 3, "\r\n", &request, true), S_OK);
    ASSERT_EQ(WaitForSingleObject(sink.arrived, 5000), WAIT_OBJECT_0);
    EXPECT_NE(sink.Lines().back().find("[\x01\x02] 0"), std::string::npos);
    modem().SetDeviceModeReply(sim::ModemReply::Silence());
    ASSERT_EQ(Send(mode, 3, "\r\n", &request, true), S_OK);
    EXPECT_EQ(WaitForSingleObject(sink.arrived, 5000), WAIT_TIMEOUT);
    mode->Release();
    UnadviseServices(cookie);
    ReleaseServices();
}

TEST_F(MbnTest, ACompletionInFlightKeepsAWaitFromTimingOut) {
    modem().AddInterface();
    modem().SetSessionOpen(sim::kAtServiceId, true);
    sim::ModemReply justInTime = sim::ModemReply::Text("OK");
    justInTime.delayMs = 4999;
    modem().SetReply("AT+A\r\n", justInTime);
    sim::ModemReply tooLate = justInTime;
    tooLate.delayMs = 5001;
    modem().SetReply("AT+B\r\n", tooLate);
    ServiceSink sink;
    DWORD cookie = AdviseServices(&sink);
    IMbnDeviceService* at = Service(sim::kAtServiceId);
    ULONG request = 0;
    Send(at, 1, "AT+A\r\n", &request);
    EXPECT_EQ(WaitForSingleObject(sink.arrived, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(machine().clock().Now(), 4999);
    Send(at, 1, "AT+B\r\n", &request);
    EXPECT_EQ(WaitForSingleObject(sink.arrived, 5000), WAIT_TIMEOUT);
    EXPECT_EQ(machine().clock().Now(), 9999);
    EXPECT_EQ(WaitForSingleObject(sink.arrived, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(machine().clock().Now(), 10000);
    at->Release();
    UnadviseServices(cookie);
    ReleaseServices();
}

TEST_F(MbnTest, EarlyCompletionsArriveBeforeTheCallReturns) {
    modem().AddInterface();
    modem().SetEarlyCompletions(true);
    ServiceSink sink;
    DWORD cookie = AdviseServices(&sink);
    IMbnDeviceService* at = Service(sim::kAtServiceId);
    ULONG request = 0;
    ASSERT_EQ(at->OpenCommandSession(&request), S_OK);
    ASSERT_EQ(sink.Lines().size(), 1u);
    ASSERT_EQ(Send(at, 1, "AT\r\n", &request), S_OK);
    ASSERT_EQ(sink.Lines().size(), 2u);
    EXPECT_NE(sink.Threads()[1], GetCurrentThreadId());
    EXPECT_EQ(machine().clock().Now(), 0);
    at->Release();
    UnadviseServices(cookie);
    ReleaseServices();
}

TEST_F(MbnTest, EventNotificationsReachEverySink) {
    modem().AddInterface();
    ServiceSink first, second;
    DWORD cookie1 = AdviseServices(&first);
    DWORD cookie2 = AdviseServices(&second);
    modem().RaiseEventNotification("{613A2C9F-7579-4BE2-BF30-94DC8FE47B1C}", 7, "abc");
    machine().clock().Settle();  // the second comes after the first however the machine runs its threads
    modem().RaiseEventNotification("{00000000-1111-2222-3333-444444444444}", 1, "");
    machine().clock().Settle();
    const std::vector<std::string> expected{std::string("event ") + sim::kDeviceModeServiceId + " 7 [abc]",
                                            "event {00000000-1111-2222-3333-444444444444} 1 []"};
    EXPECT_EQ(first.Lines(), expected);
    EXPECT_EQ(second.Lines(), expected);
    UnadviseServices(cookie1);
    UnadviseServices(cookie2);
    ReleaseServices();
}

TEST_F(MbnTest, MissingServicesAndContexts) {
    modem().AddInterface();
    modem().RemoveDeviceService(sim::kAtServiceId);
    auto* services = Create<IMbnDeviceServicesManager>(CLSID_MbnDeviceServicesManager, IID_IMbnDeviceServicesManager);
    IMbnDeviceServicesContext* context = nullptr;
    std::u16string unknown = u"{99999999-0000-0000-0000-000000000000}";
    EXPECT_TRUE(FAILED(services->GetDeviceServicesContext(unknown.data(), &context)));
    EXPECT_EQ(context, nullptr);
    std::u16string id = u"{6A1F3C5E-0000-4000-8000-000000000001}";  // letter case aside
    ASSERT_EQ(services->GetDeviceServicesContext(id.data(), &context), S_OK);
    IMbnDeviceService* service = nullptr;
    std::u16string at = u"{ffffffff-abca-4b11-a4e2-f2fc87f94488}";
    EXPECT_TRUE(FAILED(context->GetDeviceService(at.data(), &service)));
    EXPECT_EQ(service, nullptr);
    modem().SetFault(sim::ModemFault::GetDeviceServicesContext, E_FAIL);
    IMbnDeviceServicesContext* again = nullptr;
    EXPECT_EQ(services->GetDeviceServicesContext(id.data(), &again), E_FAIL);
    context->Release();
    services->Release();
}

TEST_F(MbnTest, ModemFileDescribesTheModem) {
    const char* text = R"(# a notebook's modem
interface
  id "{aaaaaaaa-0000-0000-0000-000000000001}"
  ready initialized
  iccid "8986"
  home "46000" "CMCC"
  provider "46001"
interface
  fail provider E_FAIL
session at open
open devicemode never
close at status 0x80004005 after 10
reply "AT+bodysaren?\r\n" "\r\n1\r\nOK\r\n"
reply "AT+X\r\n" silent
reply "AT+Y\r\n" status E_FAIL wrongid "y" after 6000
reply "AT+RESET\r\n" "\r\nOK\r\n" gone
match "AT+GTANTPROFILE=*" "\r\nOK\r\n"
default error
devicemode 5 3 -1
early on
fault advise 0x80004005
)";
    ASSERT_EQ(modem().LoadModemText(text, "modem"), "");
    ASSERT_EQ(modem().InterfaceCount(), 2u);
    sim::ModemInterface first = modem().Interface(0);
    EXPECT_EQ(first.id, "{aaaaaaaa-0000-0000-0000-000000000001}");
    EXPECT_EQ(first.iccid, "8986");
    EXPECT_EQ(first.homeProviderId, "46000");
    EXPECT_EQ(first.homeProviderName, "CMCC");
    EXPECT_EQ(first.providerId, "46001");
    EXPECT_EQ(modem().Interface(1).providerIdResult, E_FAIL);
    EXPECT_TRUE(modem().SessionOpen(sim::kAtServiceId));
    EXPECT_FALSE(modem().SessionOpen(sim::kDeviceModeServiceId));
}

TEST_F(MbnTest, ModemFileErrorsNameFileAndLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"iccid \"1\"", "modem:1: \"iccid\" before any \"interface\" line"},
        {"interface\nready sleepy", "modem:2: bad ready state \"sleepy\""},
        {"\n\nreply \"AT\r\n", "modem:3: text without its closing quote"},
        {"reply \"AT\" maybe", "modem:1: unknown reply word \"maybe\""},
        {"reply \"AT\" \"a\" \"b\"", "modem:1: a reply has one text (or empty, nodata, error, silent)"},
        {"open at sometimes", "modem:1: unknown session behaviour \"sometimes\""},
        {"session modem open", "modem:1: unknown device service \"modem\" (at, devicemode or a quoted id)"},
        {"devicemode 1 2", "modem:1: devicemode needs three numbers, <mode> <sar> <antenna>; found 2"},
        {"devicemode -1", "modem:1: devicemode needs three numbers, <mode> <sar> <antenna>; found 1"},
        {"devicemode 1 2 2147483648",
         "modem:1: number out of range \"2147483648\" (a device-mode number is -2147483648 to 2147483647)"},
        {"devicemode 1 -99999999999999999999 3", "modem:1: number out of range \"-99999999999999999999\" (a "
                                                  "device-mode number is -2147483648 to 2147483647)"},
        {"interface\nprovider \"GERMANY\"",
         "modem:2: a provider ID is 5 or 6 digits (MCC and MNC), not \"GERMANY\""},
        {"interface\nprovider \"2620112345678\"",
         "modem:2: a provider ID is 5 or 6 digits (MCC and MNC), not \"2620112345678\""},
        {"interface\nprovider \"2080\"", "modem:2: a provider ID is 5 or 6 digits (MCC and MNC), not \"2080\""},
        {"interface\nhome \"26201 \" \"T\"",
         "modem:2: a home provider ID is 5 or 6 digits (MCC and MNC), not \"26201 \""},
        // Only the registered network may be none.
        {"interface\nhome \"\"", "modem:2: a home provider ID is 5 or 6 digits (MCC and MNC), not \"\""},
        {"fault advise OK", "modem:1: bad HRESULT \"OK\""},
        {"flash now", "modem:1: unknown setting \"flash\""},
        {"reply \"\\q\" empty", "modem:1: unknown escape \\q"},
    };
    for (const auto& [text, error] : cases) EXPECT_EQ(modem().LoadModemText(text, "modem"), error) << text;
    EXPECT_NE(modem().LoadModemFile(temp_.path() / "absent.txt"), "");
}

// The registered network: 5 or 6 digits, or "" for a modem registered on none.
TEST_F(MbnTest, ModemFileTakesAProviderIdOrNone) {
    for (const char* id : {"46001", "310410", ""}) {
        ASSERT_EQ(modem().LoadModemText(std::string("interface\nprovider \"") + id + "\"\n", "modem"), "") << id;
        EXPECT_EQ(modem().Interface(modem().InterfaceCount() - 1).providerId, id);
    }
}

}  // namespace
