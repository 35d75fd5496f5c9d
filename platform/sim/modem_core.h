// The modem's state as the COM objects of the Mobile Broadband layer see it.
// Internal to the layer (platform/mbn.cpp, platform/com.cpp, platform/sim/modem*.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/mbn.h"
#include "platform/modemfile/interface_list.h"
#include "platform/modemfile/modem_com.h"
#include "platform/sim/hidden.h"
#include "platform/sim/modem.h"
#include "platform/sim/objects.h"
#include "platform/sim/names.h"

namespace sim {

class Machine;

// Holds one COM reference, released with the holder.
template <class T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* object, bool addRef = true) : object_(object) {
        if (object_ && addRef) object_->AddRef();
    }
    ComRef(const ComRef& other) : ComRef(other.object_) {}
    ComRef& operator=(const ComRef& other) {
        ComRef copy(other);
        std::swap(object_, copy.object_);
        return *this;
    }
    ~ComRef() {
        if (object_) object_->Release();
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }

private:
    T* object_ = nullptr;
};

struct ModemConnection {
    DWORD cookie = 0;
    IID events{};
    std::uint64_t point = 0;   // the connection point that made it
    void* sink = nullptr;      // the events interface, one reference held until the last call out
    int active = 0;            // calls begun and not yet ended, each holding the connection
    bool removed = false;
    // Where the sanitizer learns what the service orders: the Advise before every call to the
    // sink, every call that has ended before an Unadvise that finds none in progress and before
    // the sink is let go (not one call before the next).
    char advised = 0;
    char called = 0;
};

struct ModemServiceState {
    std::string id;  // as the modem names it
    bool sessionOpen = false;
    SessionBehaviour open;
    SessionBehaviour close;
};

struct ModemCore : std::enable_shared_from_this<ModemCore> {
    explicit ModemCore(Machine& machine);

    Machine& machine;
    std::atomic<bool> alive{true};
    const std::uint64_t serial;
    std::atomic<int> mtaThreads{0};

    mutable HiddenMutex mutex;
    modemfile::InterfaceList interfaces;
    std::map<std::string, ModemServiceState> services;  // by lower-case id
    modemfile::ModemAnswers answers;
    std::optional<ModemReply> replyOverride;
    bool early = false;
    std::map<ModemFault, HRESULT> faults;
    std::vector<std::shared_ptr<ModemConnection>> connections;
    DWORD nextCookie = 1;
    ULONG nextRequestId = 1;
    std::uint64_t nextPoint = 1;
    std::vector<ModemCommand> commands;

    // A copy of the core for a delivery to hold (see HiddenCopy).
    std::shared_ptr<ModemCore> Self();
    HRESULT Fault(ModemFault step) const;
    // The interface with this key (or id, letter case aside); false when gone.
    bool FindInterface(std::uint64_t key, ModemInterface* settings, std::string* id) const;
    bool FindInterfaceById(const std::string& id, std::uint64_t* key) const;
    std::vector<std::uint64_t> InterfaceKeys() const;
    void RemoveAllInterfaces();
    ULONG NewRequestId();

    // Connection points.
    std::uint64_t NewPoint();
    HRESULT Advise(std::uint64_t point, REFIID events, IUnknown* sink, DWORD* cookie);
    HRESULT Unadvise(std::uint64_t point, DWORD cookie);
    // Calls `call` with the events interface of every sink advised for
    // `events` as the delivery begins, also one unadvised meanwhile.
    void Deliver(REFIID events, const std::function<void(void*)>& call);
    void ReleaseAllSinks();

    // Runs `delivery` after `delayMs`, or (early, no delay) before returning.
    void Complete(DWORD delayMs, std::function<void()> delivery);

    // The device-service calls, on behalf of `service` (an IMbnDeviceService).
    HRESULT Session(IMbnDeviceService* service, const std::string& id, bool open, ULONG* requestId);
    HRESULT Command(IMbnDeviceService* service, const std::string& id, bool query, ULONG commandId,
                    SAFEARRAY* data, ULONG* requestId);
    bool ServiceExists(const std::string& id, std::string* canonical) const;
    bool SessionIsOpen(const std::string& id) const;
};

using modemfile::NewBstr;
using modemfile::NewByteArray;
using modemfile::WideToUtf8Text;

// Factories of the COM objects (platform/mbn.cpp); each starts with one reference.
IUnknown* NewMbnInterfaceManager(std::shared_ptr<ModemCore> core);
IUnknown* NewMbnDeviceServicesManager(std::shared_ptr<ModemCore> core);
IMbnInterface* NewMbnInterface(std::shared_ptr<ModemCore> core, std::uint64_t key);
IMbnDeviceService* NewMbnDeviceService(std::shared_ptr<ModemCore> core, std::uint64_t interfaceKey,
                                       std::string serviceId);

// The current machine's modem core, or null.
std::shared_ptr<ModemCore> CurrentModemCore();

}  // namespace sim
