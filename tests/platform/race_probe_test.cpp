// Two of the system's own shapes, each once with its lock and once without: ThreadSanitizer must
// stay silent about the first and flag the second, however the simulated machine carries the calls
// in between (waits and events, the Mobile Broadband objects, the files, the transcript). The
// unlocked ones run only on demand: their own CTest entries, in the ThreadSanitizer build, pass
// only on the sanitizer's report of the race they hold.
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/WideText.h"
#include "platform/com.h"
#include "platform/crt.h"
#include "platform/mbn.h"
#include "platform/sim/modem.h"
#include "platform/sync.h"
#include "tests/platform/mbn_objects.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;

// The worker's shape: its thread writes the provider as it starts, then joins COM and reads the
// provider at every wake-up; the registration sink, called on a thread of the Mobile Broadband
// service, looks whether the worker stops, reads the registered provider and writes it, and wakes
// the worker. Between the two writes each side calls the layer (events, COM, the modem), which must
// order nothing.
class ProviderWorker {
public:
    virtual ~ProviderWorker() = default;

    void Start() {
        changed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &ProviderWorker::Run, this, 0, nullptr);
    }
    // What each wake-up read; the worker has ended.
    std::vector<std::string> Stop() {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        for (HANDLE handle : {thread_, changed_, stop_}) CloseHandle(handle);
        return seen_;
    }
    bool Stopping() const { return WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0; }
    void ProviderChanged(const std::string& provider) {
        WriteProvider(provider);
        SetEvent(changed_);
    }

protected:
    virtual void Lock() { mutex_.lock(); }
    virtual void Unlock() { mutex_.unlock(); }

private:
    static DWORD Run(LPVOID self) {
        static_cast<ProviderWorker*>(self)->Work();
        return 0;
    }
    void Work() {
        WriteProvider("at start");
        const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        HANDLE events[2] = {changed_, stop_};
        for (;;) {
            const DWORD woken = WaitForMultipleObjects(2, events, FALSE, 5000);
            if (woken == WAIT_OBJECT_0 + 1) break;
            if (woken == WAIT_OBJECT_0) seen_.push_back(ReadProvider());
        }
        if (com) CoUninitialize();
    }
    void WriteProvider(const std::string& provider) {
        Lock();
        provider_ = provider;
        Unlock();
    }
    std::string ReadProvider() {
        Lock();
        std::string provider = provider_;
        Unlock();
        return provider;
    }

    std::mutex mutex_;
    std::string provider_;
    std::vector<std::string> seen_;  // the worker's own
    HANDLE changed_ = nullptr;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
};

class ProviderWorkerWithoutItsLock final : public ProviderWorker {
    void Lock() override {}
    void Unlock() override {}
};

class ProviderSink final : public kvtest::TestSink<IMbnRegistrationEvents, IID_IMbnRegistrationEvents> {
public:
    explicit ProviderSink(ProviderWorker& worker) : worker_(worker) {}
    HRESULT OnRegisterModeAvailable(IMbnRegistration*) override { return S_OK; }
    HRESULT OnRegisterStateChange(IMbnRegistration* registration) override {
        if (worker_.Stopping()) return S_OK;
        BSTR id = nullptr;
        if (registration && SUCCEEDED(registration->GetProviderID(&id))) worker_.ProviderChanged(NarrowText(id));
        SysFreeString(id);
        return S_OK;
    }
    HRESULT OnPacketServiceStateChange(IMbnRegistration*) override { return S_OK; }
    HRESULT OnSetRegisterModeComplete(IMbnRegistration*, ULONG, HRESULT) override { return S_OK; }

private:
    ProviderWorker& worker_;
};

// The log writer's shape: every line and every reopening under the writer's lock, an event; a
// reopening closes the file and looks at its size, as a writer does before moving a grown file to
// its backup, and the next line opens it again.
class ShapedLog {
public:
    explicit ShapedLog(std::string path) : path_(std::move(path)), lock_(CreateEventA(nullptr, FALSE, TRUE, nullptr)) {}
    virtual ~ShapedLog() {
        if (file_) std::fclose(file_);
        CloseHandle(lock_);
    }
    void Write(const std::string& line) {
        Hold hold(lock_);
        if (!file_) file_ = _fsopen(path_.c_str(), "a+", _SH_DENYNO);
        if (!file_) return;
        std::fputs((line + "\n").c_str(), file_);
        std::fflush(file_);
    }
    virtual void Reopen() {
        Hold hold(lock_);
        ReopenLocked();
    }

protected:
    void ReopenLocked() {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        if (_access(path_.c_str(), 0) != 0) return;
        if (std::FILE* sized = _fsopen(path_.c_str(), "r", _SH_DENYNO)) {
            if (std::fseek(sized, 0, SEEK_END) == 0) size_ = std::ftell(sized);
            std::fclose(sized);
        }
    }

private:
    class Hold {
    public:
        explicit Hold(HANDLE lock) : lock_(lock) { WaitForSingleObject(lock_, INFINITE); }
        ~Hold() { SetEvent(lock_); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        HANDLE lock_;
    };

    const std::string path_;
    HANDLE lock_;
    std::FILE* file_ = nullptr;
    long size_ = 0;  // at the last reopening
};

class ShapedLogWithoutItsLock final : public ShapedLog {
public:
    using ShapedLog::ShapedLog;
    void Reopen() override { ReopenLocked(); }
};

// The AT channel's shape: the sender holds the pending-request lock (an event) across SetCommand
// and writes into its request the id SetCommand gives; the completion looks for its id under the
// same lock and fills the reply in. An early completion comes before SetCommand has returned, on a
// thread of the Mobile Broadband service, which orders it in no way before the sender's next lines.
class PendingRequestChannel : public kvtest::TestSink<IMbnDeviceServicesEvents, IID_IMbnDeviceServicesEvents> {
public:
    PendingRequestChannel()
        : lock_(CreateEventA(nullptr, FALSE, TRUE, nullptr)), done_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    virtual ~PendingRequestChannel() {
        CloseHandle(lock_);
        CloseHandle(done_);
    }
    // The reply to `command`, or "" when none matched within 5000 ms.
    std::string SendAndRecord(IMbnDeviceService* service, const std::string& command) {
        SAFEARRAY* data = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(command.size()));
        void* bytes = nullptr;
        SafeArrayAccessData(data, &bytes);
        std::memcpy(bytes, command.data(), command.size());
        SafeArrayUnaccessData(data);
        Lock();
        ULONG request = 0;
        const bool sent = SUCCEEDED(service->SetCommand(1, data, &request));
        requestId_ = request;
        Unlock();
        SafeArrayDestroy(data);
        if (!sent || WaitForSingleObject(done_, 5000) != WAIT_OBJECT_0) return "";
        return reply_;
    }

    HRESULT OnSetCommandComplete(IMbnDeviceService*, ULONG, SAFEARRAY* data, HRESULT, ULONG requestId) override {
        Lock();
        const bool matched = requestId == requestId_;
        if (matched) {
            void* bytes = nullptr;
            LONG upper = -1;
            SafeArrayGetUBound(data, 1, &upper);
            SafeArrayAccessData(data, &bytes);
            reply_.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(upper + 1));
            SafeArrayUnaccessData(data);
        }
        Unlock();
        if (matched) SetEvent(done_);
        return S_OK;
    }
    HRESULT OnQuerySupportedCommandsComplete(IMbnDeviceService*, SAFEARRAY*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnOpenCommandSessionComplete(IMbnDeviceService*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnCloseCommandSessionComplete(IMbnDeviceService*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnQueryCommandComplete(IMbnDeviceService*, ULONG, SAFEARRAY*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnEventNotification(IMbnDeviceService*, ULONG, SAFEARRAY*) override { return S_OK; }
    HRESULT OnOpenDataSessionComplete(IMbnDeviceService*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnCloseDataSessionComplete(IMbnDeviceService*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnWriteDataComplete(IMbnDeviceService*, HRESULT, ULONG) override { return S_OK; }
    HRESULT OnReadData(IMbnDeviceService*, SAFEARRAY*) override { return S_OK; }
    HRESULT OnInterfaceStateChange(BSTR, MBN_DEVICE_SERVICES_INTERFACE_STATE) override { return S_OK; }

protected:
    virtual void Lock() { WaitForSingleObject(lock_, INFINITE); }
    virtual void Unlock() { SetEvent(lock_); }

private:
    HANDLE lock_;
    HANDLE done_;
    ULONG requestId_ = 0;
    std::string reply_;
};

class PendingRequestChannelWithoutItsLock final : public PendingRequestChannel {
    void Lock() override {}
    void Unlock() override {}
};

class RaceProbe : public SimTest, public ::testing::WithParamInterface<bool> {
protected:
    bool Locked() const { return GetParam(); }
};

TEST_P(RaceProbe, ACallbackAndTheWorkerShareTheProvider) {
    sim::ModemInterface settings;
    settings.providerId = "46001";
    machine().modem().AddInterface(settings);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    std::unique_ptr<ProviderWorker> worker =
        Locked() ? std::make_unique<ProviderWorker>() : std::make_unique<ProviderWorkerWithoutItsLock>();
    ProviderSink sink(*worker);
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager, &object), S_OK);
    auto* manager = static_cast<IMbnInterfaceManager*>(object);
    IConnectionPoint* point = kvtest::PointOf(manager, IID_IMbnRegistrationEvents);
    ASSERT_NE(point, nullptr);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

    worker->Start();
    machine().modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange);  // as it starts
    Sleep(1000);
    machine().modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange);  // while it waits
    Sleep(1000);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    const std::vector<std::string> seen = worker->Stop();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "46001");
    point->Release();
    manager->Release();
    CoUninitialize();
}

TEST_P(RaceProbe, ALogLineIsWrittenWhileTheLogReopens) {
    constexpr int kTimes = 20;
    const char kPath[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
    WriteFile(kPath, "");
    std::unique_ptr<ShapedLog> log =
        Locked() ? std::make_unique<ShapedLog>(kPath) : std::make_unique<ShapedLogWithoutItsLock>(kPath);
    // The worker reopens at each of its wake-ups while a callback of the layer logs.
    HANDLE reopener = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            for (int i = 0; i < kTimes; ++i) {
                static_cast<ShapedLog*>(parameter)->Reopen();
                Sleep(1);
            }
            return 0;
        },
        log.get(), 0, nullptr);
    machine().clock().Post([&log] {
        for (int i = 0; i < kTimes; ++i) {
            log->Write("line " + std::to_string(i));
            Sleep(1);
        }
    });
    EXPECT_EQ(WaitForSingleObject(reopener, INFINITE), WAIT_OBJECT_0);
    CloseHandle(reopener);
    machine().clock().Settle();
    log.reset();
    EXPECT_EQ(kvtest::SplitLines(ReadFile(kPath)).size(), static_cast<std::size_t>(kTimes));
}

TEST_P(RaceProbe, AnEarlyCompletionAndTheSendersNextLinesShareTheRequest) {
    machine().modem().AddInterface();
    machine().modem().SetSessionOpen(sim::kAtServiceId, true);
    machine().modem().SetEarlyCompletions(true);
    machine().modem().SetReply("AT+BODYSARON?\r\n", sim::ModemReply::Text("\r\n1\r\nOK\r\n"));
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    std::unique_ptr<PendingRequestChannel> channel = Locked() ? std::make_unique<PendingRequestChannel>()
                                                              : std::make_unique<PendingRequestChannelWithoutItsLock>();
    IMbnDeviceService* at = kvtest::FirstInterfaceDeviceService(sim::kAtServiceId);
    ASSERT_NE(at, nullptr);
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MbnDeviceServicesManager, nullptr, CLSCTX_ALL, IID_IMbnDeviceServicesManager,
                               &object),
              S_OK);
    auto* services = static_cast<IMbnDeviceServicesManager*>(object);
    IConnectionPoint* point = kvtest::PointOf(services, IID_IMbnDeviceServicesEvents);
    ASSERT_NE(point, nullptr);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(channel.get(), &cookie), S_OK);

    EXPECT_EQ(channel->SendAndRecord(at, "AT+BODYSARON?\r\n"), "\r\n1\r\nOK\r\n");
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    machine().clock().Settle();  // the completion may still be returning: the channel goes after it
    for (IUnknown* held : {static_cast<IUnknown*>(at), static_cast<IUnknown*>(point), static_cast<IUnknown*>(services)})
        held->Release();
    CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(UnderItsLock, RaceProbe, ::testing::Values(true));
INSTANTIATE_TEST_SUITE_P(DISABLED_WithoutItsLock, RaceProbe, ::testing::Values(false));

}  // namespace
