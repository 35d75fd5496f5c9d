// The COM objects of the Mobile Broadband API, over the simulated modem.
#include "platform/mbn.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/hidden.h"
#include "platform/sim/modem_core.h"

namespace sim {

namespace {

std::atomic<std::size_t> liveObjects{0};

// HRESULT_FROM_WIN32(ERROR_NOT_FOUND) and (ERROR_DEVICE_NOT_CONNECTED).
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);
constexpr HRESULT kGone = static_cast<HRESULT>(0x8007048F);

class ObjectBase {
public:
    ObjectBase(const ObjectBase&) = delete;
    ObjectBase& operator=(const ObjectBase&) = delete;

protected:
    explicit ObjectBase(std::shared_ptr<ModemCore> core) : core_(std::move(core)) { HiddenIncrement(liveObjects); }
    virtual ~ObjectBase() { HiddenDecrement(liveObjects); }
    // The Mobile Broadband service's own counting: it orders none of the system's threads, nor
    // does the object's end.
    ULONG AddRefImpl() { return HiddenIncrement(refs_); }
    ULONG ReleaseImpl() {
        Hidden hidden;
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    bool Alive() const { return core_->alive.load(); }

    std::shared_ptr<ModemCore> core_;

private:
    std::atomic<ULONG> refs_{1};
};

template <class T>
HRESULT Hand(T* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

#define KV_COM_REFCOUNT                                  \
    ULONG AddRef() override { return AddRefImpl(); }     \
    ULONG Release() override { return ReleaseImpl(); }

// The slots the system never calls answer as Windows does for what a device
// does not support.
constexpr HRESULT kNotImplemented = E_NOTIMPL;

class ConnectionPoint final : public IConnectionPoint, public ObjectBase {
public:
    ConnectionPoint(std::shared_ptr<ModemCore> core, const IID& events)
        : ObjectBase(std::move(core)), events_(events), point_(core_->NewPoint()) {}
    KV_COM_REFCOUNT
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IConnectionPoint) return Hand<IConnectionPoint>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = events_;
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer**) override { return kNotImplemented; }
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        return core_->Advise(point_, events_, sink, cookie);
    }
    HRESULT Unadvise(DWORD cookie) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        return core_->Unadvise(point_, cookie);
    }
    HRESULT EnumConnections(IEnumConnections**) override { return kNotImplemented; }

private:
    const IID events_;
    const std::uint64_t point_;
};

// The connection points of one container, one per events interface.
class Points {
public:
    Points(std::vector<IID> supported) : supported_(std::move(supported)) {}
    ~Points() {
        for (auto& entry : points_) entry.second->Release();
    }
    HRESULT Find(const std::shared_ptr<ModemCore>& core, REFIID riid, IConnectionPoint** point) {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (HRESULT fault = core->Fault(ModemFault::FindConnectionPoint); FAILED(fault)) return fault;
        for (std::size_t i = 0; i < supported_.size(); ++i) {
            if (!(supported_[i] == riid)) continue;
            std::lock_guard lock(mutex_);
            auto& slot = points_[i];
            if (!slot) slot = new ConnectionPoint(core, riid);
            slot->AddRef();
            *point = slot;
            return S_OK;
        }
        return CONNECT_E_NOCONNECTION;
    }

private:
    std::vector<IID> supported_;
    HiddenMutex mutex_;
    std::map<std::size_t, ConnectionPoint*> points_;
};

class SubscriberInformation final : public IMbnSubscriberInformation, public ObjectBase {
public:
    SubscriberInformation(std::shared_ptr<ModemCore> core, std::uint64_t key) : ObjectBase(std::move(core)), key_(key) {}
    KV_COM_REFCOUNT
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMbnSubscriberInformation)
            return Hand<IMbnSubscriberInformation>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT get_SubscriberID(BSTR*) override { return kNotImplemented; }
    HRESULT get_SimIccID(BSTR* iccid) override {
        if (!iccid) return E_POINTER;
        *iccid = nullptr;
        if (!Alive()) return RPC_E_DISCONNECTED;
        ModemInterface settings;
        if (!core_->FindInterface(key_, &settings, nullptr)) return kGone;
        if (FAILED(settings.iccidResult)) return settings.iccidResult;
        *iccid = NewBstr(settings.iccid);
        return S_OK;
    }
    HRESULT get_TelephoneNumbers(SAFEARRAY**) override { return kNotImplemented; }

private:
    const std::uint64_t key_;
};

class Interface final : public IMbnInterface, public IMbnRegistration, public ObjectBase {
public:
    Interface(std::shared_ptr<ModemCore> core, std::uint64_t key) : ObjectBase(std::move(core)), key_(key) {}
    KV_COM_REFCOUNT
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMbnInterface) return Hand<IMbnInterface>(this, out);
        if (riid == IID_IMbnRegistration) {
            ModemInterface settings;
            if (!Alive() || !core_->FindInterface(key_, &settings, nullptr)) return E_NOINTERFACE;
            if (FAILED(settings.registrationResult)) return settings.registrationResult;
            return Hand<IMbnRegistration>(this, out);
        }
        return E_NOINTERFACE;
    }
    HRESULT get_InterfaceID(BSTR* id) override {
        if (!id) return E_POINTER;
        *id = nullptr;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (HRESULT fault = core_->Fault(ModemFault::InterfaceId); FAILED(fault)) return fault;
        std::string text;
        if (!core_->FindInterface(key_, nullptr, &text)) return kGone;
        *id = NewBstr(text);
        return S_OK;
    }
    HRESULT GetInterfaceCapability(MBN_INTERFACE_CAPS*) override { return kNotImplemented; }
    HRESULT GetSubscriberInformation(IMbnSubscriberInformation** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        ModemInterface settings;
        if (HRESULT hr = Settings(&settings); FAILED(hr)) return hr;
        if (FAILED(settings.subscriberResult)) return settings.subscriberResult;
        *info = new SubscriberInformation(core_, key_);
        return S_OK;
    }
    HRESULT GetReadyState(MBN_READY_STATE* state) override {
        if (!state) return E_POINTER;
        ModemInterface settings;
        if (HRESULT hr = Settings(&settings); FAILED(hr)) return hr;
        if (FAILED(settings.readyStateResult)) return settings.readyStateResult;
        *state = settings.readyState;
        return S_OK;
    }
    HRESULT InEmergencyMode(VARIANT_BOOL*) override { return kNotImplemented; }
    HRESULT GetHomeProvider(MBN_PROVIDER* provider) override {
        if (!provider) return E_POINTER;
        ModemInterface settings;
        if (HRESULT hr = Settings(&settings); FAILED(hr)) return hr;
        if (FAILED(settings.homeProviderResult)) return settings.homeProviderResult;
        provider->providerID = NewBstr(settings.homeProviderId);
        provider->providerName = NewBstr(settings.homeProviderName);
        provider->providerState = 0x1;  // home
        provider->dataClass = MBN_DATA_CLASS_LTE;
        return S_OK;
    }
    HRESULT GetPreferredProviders(SAFEARRAY**) override { return kNotImplemented; }
    HRESULT SetPreferredProviders(SAFEARRAY*, ULONG*) override { return kNotImplemented; }
    HRESULT GetVisibleProviders(ULONG*, SAFEARRAY**) override { return kNotImplemented; }
    HRESULT ScanNetwork(ULONG*) override { return kNotImplemented; }
    HRESULT GetConnection(IMbnConnection**) override { return kNotImplemented; }
    HRESULT GetRegisterState(MBN_REGISTER_STATE*) override { return kNotImplemented; }
    HRESULT GetRegisterMode(MBN_REGISTER_MODE*) override { return kNotImplemented; }
    HRESULT GetProviderID(BSTR* id) override {
        if (!id) return E_POINTER;
        *id = nullptr;
        ModemInterface settings;
        if (HRESULT hr = Settings(&settings); FAILED(hr)) return hr;
        if (FAILED(settings.providerIdResult)) return settings.providerIdResult;
        *id = NewBstr(settings.providerId);
        return S_OK;
    }
    HRESULT GetProviderName(BSTR*) override { return kNotImplemented; }
    HRESULT GetRoamingText(BSTR*) override { return kNotImplemented; }
    HRESULT GetAvailableDataClasses(ULONG*) override { return kNotImplemented; }
    HRESULT GetCurrentDataClass(ULONG*) override { return kNotImplemented; }
    HRESULT GetRegistrationNetworkError(ULONG*) override { return kNotImplemented; }
    HRESULT GetPacketAttachNetworkError(ULONG*) override { return kNotImplemented; }
    HRESULT SetRegisterMode(MBN_REGISTER_MODE, LPCWSTR, ULONG, ULONG*) override { return kNotImplemented; }

private:
    HRESULT Settings(ModemInterface* settings) const {
        if (!Alive()) return RPC_E_DISCONNECTED;
        return core_->FindInterface(key_, settings, nullptr) ? S_OK : kGone;
    }

    const std::uint64_t key_;
};

class InterfaceManager final : public IMbnInterfaceManager, public IConnectionPointContainer, public ObjectBase {
public:
    explicit InterfaceManager(std::shared_ptr<ModemCore> core)
        : ObjectBase(std::move(core)), points_({IID_IMbnRegistrationEvents, IID_IMbnInterfaceEvents}) {}
    KV_COM_REFCOUNT
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMbnInterfaceManager) return Hand<IMbnInterfaceManager>(this, out);
        if (riid == IID_IConnectionPointContainer) {
            if (HRESULT fault = core_->Fault(ModemFault::ConnectionPointContainer); FAILED(fault)) return fault;
            return Hand<IConnectionPointContainer>(this, out);
        }
        return E_NOINTERFACE;
    }
    HRESULT GetInterface(LPCWSTR, IMbnInterface**) override { return kNotImplemented; }
    HRESULT GetInterfaces(SAFEARRAY** interfaces) override {
        if (!interfaces) return E_POINTER;
        *interfaces = nullptr;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (HRESULT fault = core_->Fault(ModemFault::GetInterfaces); FAILED(fault)) return fault;
        std::vector<std::uint64_t> keys = core_->InterfaceKeys();
        SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, static_cast<ULONG>(keys.size()));
        if (!array) return E_OUTOFMEMORY;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            IMbnInterface* item = NewMbnInterface(core_, keys[i]);
            LONG index = static_cast<LONG>(i);
            SafeArrayPutElement(array, &index, static_cast<IUnknown*>(item));
            item->Release();
        }
        *interfaces = array;
        return S_OK;
    }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return kNotImplemented; }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        return points_.Find(core_, riid, point);
    }

private:
    Points points_;
};

class DeviceService final : public IMbnDeviceService, public ObjectBase {
public:
    DeviceService(std::shared_ptr<ModemCore> core, std::uint64_t interfaceKey, std::string id)
        : ObjectBase(std::move(core)), interfaceKey_(interfaceKey), id_(std::move(id)) {}
    KV_COM_REFCOUNT
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMbnDeviceService) return Hand<IMbnDeviceService>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT QuerySupportedCommands(ULONG*) override { return kNotImplemented; }
    HRESULT OpenCommandSession(ULONG* requestId) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        return core_->Session(this, id_, true, requestId);
    }
    HRESULT CloseCommandSession(ULONG* requestId) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        return core_->Session(this, id_, false, requestId);
    }
    HRESULT SetCommand(ULONG commandId, SAFEARRAY* data, ULONG* requestId) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (HRESULT fault = core_->Fault(ModemFault::SetCommand); FAILED(fault)) return fault;
        return core_->Command(this, id_, false, commandId, data, requestId);
    }
    HRESULT QueryCommand(ULONG commandId, SAFEARRAY* data, ULONG* requestId) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (HRESULT fault = core_->Fault(ModemFault::QueryCommand); FAILED(fault)) return fault;
        return core_->Command(this, id_, true, commandId, data, requestId);
    }
    HRESULT OpenDataSession(ULONG*) override { return kNotImplemented; }
    HRESULT CloseDataSession(ULONG*) override { return kNotImplemented; }
    HRESULT WriteData(SAFEARRAY*, ULONG*) override { return kNotImplemented; }
    HRESULT get_InterfaceID(BSTR*) override { return kNotImplemented; }
    HRESULT get_DeviceServiceID(BSTR* id) override {
        if (!id) return E_POINTER;
        *id = nullptr;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (HRESULT fault = core_->Fault(ModemFault::DeviceServiceId); FAILED(fault)) return fault;
        *id = NewBstr(id_);
        return S_OK;
    }
    HRESULT get_IsCommandSessionOpen(BOOL* value) override {
        if (!value) return E_POINTER;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (HRESULT fault = core_->Fault(ModemFault::IsCommandSessionOpen); FAILED(fault)) return fault;
        if (!core_->ServiceExists(id_, nullptr)) return kGone;
        *value = core_->SessionIsOpen(id_) ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT get_IsDataSessionOpen(BOOL*) override { return kNotImplemented; }

private:
    [[maybe_unused]] const std::uint64_t interfaceKey_;
    const std::string id_;
};

class DeviceServicesContext final : public IMbnDeviceServicesContext, public ObjectBase {
public:
    DeviceServicesContext(std::shared_ptr<ModemCore> core, std::uint64_t key) : ObjectBase(std::move(core)), key_(key) {}
    KV_COM_REFCOUNT
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMbnDeviceServicesContext)
            return Hand<IMbnDeviceServicesContext>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT EnumerateDeviceServices(SAFEARRAY**) override { return kNotImplemented; }
    HRESULT GetDeviceService(BSTR id, IMbnDeviceService** service) override {
        if (!service) return E_POINTER;
        *service = nullptr;
        if (!id) return E_INVALIDARG;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (HRESULT fault = core_->Fault(ModemFault::GetDeviceService); FAILED(fault)) return fault;
        if (!core_->FindInterface(key_, nullptr, nullptr)) return kGone;
        std::string canonical;
        if (!core_->ServiceExists(WideToUtf8Text(id), &canonical)) return kNotFound;
        *service = NewMbnDeviceService(core_, key_, canonical);
        return S_OK;
    }
    HRESULT get_MaxCommandSize(ULONG*) override { return kNotImplemented; }
    HRESULT get_MaxDataSize(ULONG*) override { return kNotImplemented; }

private:
    const std::uint64_t key_;
};

class DeviceServicesManager final : public IMbnDeviceServicesManager, public IConnectionPointContainer,
                                    public ObjectBase {
public:
    explicit DeviceServicesManager(std::shared_ptr<ModemCore> core)
        : ObjectBase(std::move(core)), points_({IID_IMbnDeviceServicesEvents}) {}
    KV_COM_REFCOUNT
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMbnDeviceServicesManager)
            return Hand<IMbnDeviceServicesManager>(this, out);
        if (riid == IID_IConnectionPointContainer) {
            if (HRESULT fault = core_->Fault(ModemFault::ConnectionPointContainer); FAILED(fault)) return fault;
            return Hand<IConnectionPointContainer>(this, out);
        }
        return E_NOINTERFACE;
    }
    HRESULT GetDeviceServicesContext(BSTR interfaceId, IMbnDeviceServicesContext** context) override {
        if (!context) return E_POINTER;
        *context = nullptr;
        if (!interfaceId) return E_INVALIDARG;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (HRESULT fault = core_->Fault(ModemFault::GetDeviceServicesContext); FAILED(fault)) return fault;
        std::uint64_t key = 0;
        if (!core_->FindInterfaceById(WideToUtf8Text(interfaceId), &key)) return kNotFound;
        *context = new DeviceServicesContext(core_, key);
        return S_OK;
    }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return kNotImplemented; }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        return points_.Find(core_, riid, point);
    }

private:
    Points points_;
};

#undef KV_COM_REFCOUNT

}  // namespace

IUnknown* NewMbnInterfaceManager(std::shared_ptr<ModemCore> core) {
    return static_cast<IMbnInterfaceManager*>(new InterfaceManager(std::move(core)));
}

IUnknown* NewMbnDeviceServicesManager(std::shared_ptr<ModemCore> core) {
    return static_cast<IMbnDeviceServicesManager*>(new DeviceServicesManager(std::move(core)));
}

IMbnInterface* NewMbnInterface(std::shared_ptr<ModemCore> core, std::uint64_t key) {
    return new Interface(std::move(core), key);
}

IMbnDeviceService* NewMbnDeviceService(std::shared_ptr<ModemCore> core, std::uint64_t interfaceKey,
                                       std::string serviceId) {
    return new DeviceService(std::move(core), interfaceKey, std::move(serviceId));
}

std::size_t LiveComObjects() { return liveObjects.load(); }

}  // namespace sim
