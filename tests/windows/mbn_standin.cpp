// A stand-in Mobile Broadband service for the runs under Wine (which has none): an in-process COM
// server for the interface manager and the device-services manager, over one modem described by
// the file modem.txt beside this DLL, in the syntax of kvsim's modem file
// (platform/modemfile/modem_description.h). Without the file there is no interface.
//
// The device services answer from the file's replies as the simulated modem does
// (modemfile::Answer): session opening and closing, SetCommand and QueryCommand complete from a
// thread of the stand-in's own, with request ids, status and a VT_UI1 SAFEARRAY, possibly before
// the call has returned; a reply may carry a failing status, come later, never come, or leave
// the modem gone. Not given here: "early on" (completions always come from the stand-in's
// thread) and "fault coinitialize" (CoInitializeEx is Wine's); each is noted in the transcript.
//
// Beside the DLL:
//   modem.txt            the modem, read when the service's process first creates an object
//   mbn-transcript.txt   appended: every call that reaches a device service (the command's exact
//                        bytes, in the simulation's transcript form), every event raised, every
//                        control line
//   mbn-control.txt      read as it grows, one control a line, while the service runs:
//                          register <provider id>   interface 0 registers on that network
//                          ready <0-8>              interface 0's ready state changes
//                          remove                   every interface goes
//                          return                   the interfaces removed come back
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/mbn.h"
#include "platform/modemfile/interface_list.h"
#include "platform/modemfile/modem_com.h"
#include "platform/modemfile/modem_description.h"

namespace {

using modemfile::ModemFault;
using modemfile::NewBstr;
using modemfile::NewByteArray;
using modemfile::ModemInterface;
using modemfile::ModemReply;
using modemfile::SessionBehaviour;

// HRESULT_FROM_WIN32 of ERROR_NOT_FOUND and of ERROR_DEVICE_NOT_CONNECTED, as the simulation gives.
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);
constexpr HRESULT kGone = static_cast<HRESULT>(0x8007048F);
constexpr ULONG kDataClassLte = 0x20;

HMODULE thisModule = nullptr;

std::wstring BesideThisDll(const wchar_t* name) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetModuleFileNameW(thisModule, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

// A file's bytes from `offset` on, or none.
bool ReadFrom(const std::wstring& path, std::size_t offset, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    bytes.clear();
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    }
    CloseHandle(file);
    return true;
}

class CTranscript {
public:
    void Add(const std::string& line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        HANDLE file = CreateFileW(m_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        std::string text = line + "\n";
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }

private:
    std::mutex m_mutex;
    std::wstring m_path = BesideThisDll(L"mbn-transcript.txt");
};

class CModem;
CModem& Modem();

// One object's references; the object goes with the last.
class CRefCount {
public:
    ULONG Add() { return ++m_count; }
    template <class T>
    ULONG Drop(T* object) {
        ULONG left = --m_count;
        if (left == 0) delete object;
        return left;
    }

private:
    std::atomic<ULONG> m_count{1};
};

#define KV_STANDIN_REFCOUNT                                                  \
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.Add(); }       \
    ULONG STDMETHODCALLTYPE Release() override { return m_refs.Drop(this); }

template <class T>
HRESULT Hand(T* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

class CObject {
protected:
    CRefCount m_refs;
};

// ---- the modem --------------------------------------------------------------------------------

struct CServiceState {
    std::string id;
    bool sessionOpen = false;
    SessionBehaviour open;
    SessionBehaviour close;
};

struct CSink {
    DWORD cookie = 0;
    IID events{};
    const void* point = nullptr;
    IUnknown* sink = nullptr;  // the events interface, one reference held
};

class CModem {
public:
    CModem();

    // Interfaces, by a key that outlives their position.
    bool Find(std::uint64_t key, ModemInterface* settings, std::string* id) const;
    bool FindById(const std::string& id, std::uint64_t* key) const;
    std::vector<std::uint64_t> Keys() const;

    bool ServiceExists(const std::string& id, std::string* canonical) const;
    bool SessionOpen(const std::string& id) const;
    HRESULT Fault(ModemFault step) const;

    HRESULT Advise(const void* point, REFIID events, IUnknown* sink, DWORD* cookie);
    HRESULT Unadvise(const void* point, DWORD cookie);

    HRESULT Session(IMbnDeviceService* service, const std::string& id, bool open, ULONG* requestId);
    HRESULT Command(IMbnDeviceService* service, const std::string& id, bool query, ULONG commandId, SAFEARRAY* data,
                    ULONG* requestId);

    CTranscript& transcript() { return m_transcript; }

private:
    void Load();
    // Runs `delivery` on the stand-in's thread, `delayMs` from now.
    void Later(DWORD delayMs, std::function<void()> delivery);
    void Run();
    void PollControl();
    void Control(const std::string& line);
    // Calls `call` with every sink advised for `events` as the delivery begins, also one unadvised
    // meanwhile, each held for its call; returns how many.
    std::size_t Deliver(REFIID events, const std::function<void(IUnknown*)>& call);
    void RegistrationEvent(const char* name, std::size_t index);
    void InterfaceEvent(std::size_t index);
    void InterfaceStateEvent(const std::string& id, MBN_DEVICE_SERVICES_INTERFACE_STATE state);
    // Every interface goes (kept for a "return"); their ids.
    std::vector<std::string> RemoveAll();
    void RemovalEvents(const std::vector<std::string>& ids);

    CTranscript m_transcript;
    mutable std::mutex m_mutex;
    modemfile::InterfaceList m_interfaces;
    std::vector<ModemInterface> m_removed;
    std::map<std::string, CServiceState> m_services;  // by lower-case id
    modemfile::ModemAnswers m_answers;
    std::map<ModemFault, HRESULT> m_faults;
    std::vector<CSink> m_sinks;
    DWORD m_nextCookie = 1;
    ULONG m_nextRequestId = 1;

    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> m_queue;
    std::wstring m_controlPath = BesideThisDll(L"mbn-control.txt");
    std::size_t m_controlRead = 0;
    std::string m_controlPartial;
};

// ---- COM objects ------------------------------------------------------------------------------

class CPoint final : public IConnectionPoint, public CObject {
public:
    CPoint(IConnectionPointContainer* container, const IID& events) : m_container(container), m_events(events) {
        m_container->AddRef();
    }
    KV_STANDIN_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint))
            return Hand<IConnectionPoint>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = m_events;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        return Hand(m_container, reinterpret_cast<void**>(container));
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        return Modem().Advise(this, m_events, sink, cookie);
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override { return Modem().Unadvise(this, cookie); }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    friend class CRefCount;
    ~CPoint() { m_container->Release(); }

    IConnectionPointContainer* m_container;
    const IID m_events;
};

class CSubscriber final : public IMbnSubscriberInformation, public CObject {
public:
    explicit CSubscriber(std::uint64_t key) : m_key(key) {}
    KV_STANDIN_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMbnSubscriberInformation))
            return Hand<IMbnSubscriberInformation>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE get_SubscriberID(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_SimIccID(BSTR* iccid) override {
        if (!iccid) return E_POINTER;
        *iccid = nullptr;
        ModemInterface settings;
        if (!Modem().Find(m_key, &settings, nullptr)) return kGone;
        if (FAILED(settings.iccidResult)) return settings.iccidResult;
        *iccid = NewBstr(settings.iccid);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_TelephoneNumbers(SAFEARRAY**) override { return E_NOTIMPL; }

private:
    friend class CRefCount;
    ~CSubscriber() = default;
    const std::uint64_t m_key;
};

class CInterface final : public IMbnInterface, public IMbnRegistration, public CObject {
public:
    explicit CInterface(std::uint64_t key) : m_key(key) {}
    KV_STANDIN_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMbnInterface))
            return Hand<IMbnInterface>(this, out);
        if (IsEqualIID(riid, IID_IMbnRegistration)) {
            ModemInterface settings;
            if (!Modem().Find(m_key, &settings, nullptr)) return E_NOINTERFACE;
            if (FAILED(settings.registrationResult)) return settings.registrationResult;
            return Hand<IMbnRegistration>(this, out);
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE get_InterfaceID(BSTR* id) override {
        if (!id) return E_POINTER;
        *id = nullptr;
        if (HRESULT fault = Modem().Fault(ModemFault::InterfaceId); FAILED(fault)) return fault;
        std::string text;
        if (!Modem().Find(m_key, nullptr, &text)) return kGone;
        *id = NewBstr(text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInterfaceCapability(MBN_INTERFACE_CAPS*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSubscriberInformation(IMbnSubscriberInformation** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        ModemInterface settings;
        if (!Modem().Find(m_key, &settings, nullptr)) return kGone;
        if (FAILED(settings.subscriberResult)) return settings.subscriberResult;
        *info = new (std::nothrow) CSubscriber(m_key);
        return *info ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetReadyState(MBN_READY_STATE* state) override {
        if (!state) return E_POINTER;
        ModemInterface settings;
        if (!Modem().Find(m_key, &settings, nullptr)) return kGone;
        if (FAILED(settings.readyStateResult)) return settings.readyStateResult;
        *state = settings.readyState;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InEmergencyMode(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHomeProvider(MBN_PROVIDER* provider) override {
        if (!provider) return E_POINTER;
        ModemInterface settings;
        if (!Modem().Find(m_key, &settings, nullptr)) return kGone;
        if (FAILED(settings.homeProviderResult)) return settings.homeProviderResult;
        provider->providerID = NewBstr(settings.homeProviderId);
        provider->providerName = NewBstr(settings.homeProviderName);
        provider->providerState = 0x1;  // home
        provider->dataClass = kDataClassLte;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPreferredProviders(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPreferredProviders(SAFEARRAY*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVisibleProviders(ULONG*, SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ScanNetwork(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnection(IMbnConnection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRegisterState(MBN_REGISTER_STATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRegisterMode(MBN_REGISTER_MODE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProviderID(BSTR* id) override {
        if (!id) return E_POINTER;
        *id = nullptr;
        ModemInterface settings;
        if (!Modem().Find(m_key, &settings, nullptr)) return kGone;
        if (FAILED(settings.providerIdResult)) return settings.providerIdResult;
        *id = NewBstr(settings.providerId);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetProviderName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRoamingText(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAvailableDataClasses(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentDataClass(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRegistrationNetworkError(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPacketAttachNetworkError(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRegisterMode(MBN_REGISTER_MODE, LPCWSTR, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }

private:
    friend class CRefCount;
    ~CInterface() = default;
    const std::uint64_t m_key;
};

class CDeviceService final : public IMbnDeviceService, public CObject {
public:
    CDeviceService(std::uint64_t key, std::string id) : m_key(key), m_id(std::move(id)) {}
    KV_STANDIN_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMbnDeviceService))
            return Hand<IMbnDeviceService>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE QuerySupportedCommands(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenCommandSession(ULONG* requestId) override {
        return Modem().Session(this, m_id, true, requestId);
    }
    HRESULT STDMETHODCALLTYPE CloseCommandSession(ULONG* requestId) override {
        return Modem().Session(this, m_id, false, requestId);
    }
    HRESULT STDMETHODCALLTYPE SetCommand(ULONG commandId, SAFEARRAY* data, ULONG* requestId) override {
        if (HRESULT fault = Modem().Fault(ModemFault::SetCommand); FAILED(fault)) return fault;
        return Modem().Command(this, m_id, false, commandId, data, requestId);
    }
    HRESULT STDMETHODCALLTYPE QueryCommand(ULONG commandId, SAFEARRAY* data, ULONG* requestId) override {
        if (HRESULT fault = Modem().Fault(ModemFault::QueryCommand); FAILED(fault)) return fault;
        return Modem().Command(this, m_id, true, commandId, data, requestId);
    }
    HRESULT STDMETHODCALLTYPE OpenDataSession(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CloseDataSession(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteData(SAFEARRAY*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_InterfaceID(BSTR* id) override {
        if (!id) return E_POINTER;
        *id = nullptr;
        std::string text;
        if (!Modem().Find(m_key, nullptr, &text)) return kGone;
        *id = NewBstr(text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_DeviceServiceID(BSTR* id) override {
        if (!id) return E_POINTER;
        *id = nullptr;
        if (HRESULT fault = Modem().Fault(ModemFault::DeviceServiceId); FAILED(fault)) return fault;
        *id = NewBstr(m_id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsCommandSessionOpen(BOOL* value) override {
        if (!value) return E_POINTER;
        if (HRESULT fault = Modem().Fault(ModemFault::IsCommandSessionOpen); FAILED(fault)) return fault;
        if (!Modem().ServiceExists(m_id, nullptr)) return kGone;
        *value = Modem().SessionOpen(m_id) ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsDataSessionOpen(BOOL*) override { return E_NOTIMPL; }

private:
    friend class CRefCount;
    ~CDeviceService() = default;
    const std::uint64_t m_key;
    const std::string m_id;
};

class CContext final : public IMbnDeviceServicesContext, public CObject {
public:
    explicit CContext(std::uint64_t key) : m_key(key) {}
    KV_STANDIN_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMbnDeviceServicesContext))
            return Hand<IMbnDeviceServicesContext>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE EnumerateDeviceServices(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceService(BSTR id, IMbnDeviceService** service) override {
        if (!service) return E_POINTER;
        *service = nullptr;
        if (!id) return E_INVALIDARG;
        if (HRESULT fault = Modem().Fault(ModemFault::GetDeviceService); FAILED(fault)) return fault;
        if (!Modem().Find(m_key, nullptr, nullptr)) return kGone;
        std::string canonical;
        if (!Modem().ServiceExists(modemfile::WideToUtf8Text(id), &canonical)) return kNotFound;
        *service = new (std::nothrow) CDeviceService(m_key, canonical);
        return *service ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_MaxCommandSize(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MaxDataSize(ULONG*) override { return E_NOTIMPL; }

private:
    friend class CRefCount;
    ~CContext() = default;
    const std::uint64_t m_key;
};

// The interface manager or the device-services manager, each with its connection points.
class CManager final : public IMbnInterfaceManager, public IMbnDeviceServicesManager, public IConnectionPointContainer,
                       public CObject {
public:
    explicit CManager(bool deviceServices) : m_deviceServices(deviceServices) {}
    KV_STANDIN_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown))
            return m_deviceServices ? Hand<IMbnDeviceServicesManager>(this, out) : Hand<IMbnInterfaceManager>(this, out);
        if (!m_deviceServices && IsEqualIID(riid, IID_IMbnInterfaceManager)) return Hand<IMbnInterfaceManager>(this, out);
        if (m_deviceServices && IsEqualIID(riid, IID_IMbnDeviceServicesManager))
            return Hand<IMbnDeviceServicesManager>(this, out);
        if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
            if (HRESULT fault = Modem().Fault(ModemFault::ConnectionPointContainer); FAILED(fault)) return fault;
            return Hand<IConnectionPointContainer>(this, out);
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetInterface(LPCWSTR, IMbnInterface**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInterfaces(SAFEARRAY** interfaces) override {
        if (!interfaces) return E_POINTER;
        *interfaces = nullptr;
        if (HRESULT fault = Modem().Fault(ModemFault::GetInterfaces); FAILED(fault)) return fault;
        std::vector<std::uint64_t> keys = Modem().Keys();
        SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, static_cast<ULONG>(keys.size()));
        if (!array) return E_OUTOFMEMORY;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            CInterface* item = new (std::nothrow) CInterface(keys[i]);
            if (!item) continue;
            LONG index = static_cast<LONG>(i);
            SafeArrayPutElement(array, &index, static_cast<IMbnInterface*>(item));
            item->Release();
        }
        *interfaces = array;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceServicesContext(BSTR interfaceId, IMbnDeviceServicesContext** context) override {
        if (!context) return E_POINTER;
        *context = nullptr;
        if (!interfaceId) return E_INVALIDARG;
        if (HRESULT fault = Modem().Fault(ModemFault::GetDeviceServicesContext); FAILED(fault)) return fault;
        std::uint64_t key = 0;
        if (!Modem().FindById(modemfile::WideToUtf8Text(interfaceId), &key)) return kNotFound;
        *context = new (std::nothrow) CContext(key);
        return *context ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (HRESULT fault = Modem().Fault(ModemFault::FindConnectionPoint); FAILED(fault)) return fault;
        const bool known = m_deviceServices ? IsEqualIID(riid, IID_IMbnDeviceServicesEvents)
                                            : IsEqualIID(riid, IID_IMbnRegistrationEvents) ||
                                                  IsEqualIID(riid, IID_IMbnInterfaceEvents);
        if (!known) return CONNECT_E_NOCONNECTION;
        *point = new (std::nothrow) CPoint(this, riid);
        return *point ? S_OK : E_OUTOFMEMORY;
    }

private:
    friend class CRefCount;
    ~CManager() = default;

    const bool m_deviceServices;
};

class CFactory final : public IClassFactory {
public:
    explicit CFactory(bool deviceServices) : m_deviceServices(deviceServices) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ModemFault step = m_deviceServices ? ModemFault::CreateDeviceServicesManager : ModemFault::CreateInterfaceManager;
        if (HRESULT fault = Modem().Fault(step); FAILED(fault)) return fault;
        CManager* manager = new (std::nothrow) CManager(m_deviceServices);
        if (!manager) return E_OUTOFMEMORY;
        HRESULT hr = manager->QueryInterface(riid, out);
        static_cast<IMbnInterfaceManager*>(manager)->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    const bool m_deviceServices;
};

CFactory interfaceManagerFactory(false);
CFactory deviceServicesManagerFactory(true);

// ---- the modem's workings ---------------------------------------------------------------------

CModem::CModem() {
    for (const char* id : {modemfile::kAtServiceId, modemfile::kDeviceModeServiceId})
        m_services[id] = CServiceState{id, false, {}, {}};
    Load();
    std::thread([this] { Run(); }).detach();
}

void CModem::Load() {
    std::string text;
    if (!ReadFrom(BesideThisDll(L"modem.txt"), 0, text)) {
        m_transcript.Add("modem: no modem.txt, no interface");
        return;
    }
    modemfile::ModemDescription description;
    std::string problem = modemfile::ParseModemText(text, "modem.txt", description);
    if (!problem.empty()) {
        m_transcript.Add("modem: " + problem + "; no interface");
        return;
    }
    for (const ModemInterface& settings : description.interfaces) m_interfaces.Add(settings);
    for (const modemfile::ServiceSetting& setting : description.services) {
        const std::string key = modemfile::LowerAsciiText(setting.id);
        if (setting.kind == modemfile::ServiceSetting::Remove) {
            m_services.erase(key);
            continue;
        }
        CServiceState& state = m_services[key];
        if (state.id.empty()) state.id = key;
        if (setting.kind == modemfile::ServiceSetting::Session) state.sessionOpen = setting.open;
        if (setting.kind == modemfile::ServiceSetting::Open) state.open = setting.behaviour;
        if (setting.kind == modemfile::ServiceSetting::Close) state.close = setting.behaviour;
    }
    modemfile::ApplyAnswers(description, m_answers);
    if (description.early.value_or(false)) m_transcript.Add("modem: \"early on\" is not given here: ignored");
    for (const auto& [step, result] : description.faults) {
        if (step == ModemFault::CoInitialize) {
            m_transcript.Add("modem: \"fault coinitialize\" is not given here: ignored");
        } else if (result == S_OK) {
            m_faults.erase(step);
        } else {
            m_faults[step] = result;
        }
    }
    m_transcript.Add("modem: " + std::to_string(m_interfaces.Size()) + " interface(s)");
}

bool CModem::Find(std::uint64_t key, ModemInterface* settings, std::string* id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interfaces.Find(key, settings, id);
}

bool CModem::FindById(const std::string& id, std::uint64_t* key) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interfaces.FindById(id, key);
}

std::vector<std::uint64_t> CModem::Keys() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interfaces.Keys();
}

bool CModem::ServiceExists(const std::string& id, std::string* canonical) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_services.find(modemfile::LowerAsciiText(id));
    if (it == m_services.end()) return false;
    if (canonical) *canonical = it->second.id;
    return true;
}

bool CModem::SessionOpen(const std::string& id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_services.find(modemfile::LowerAsciiText(id));
    return it != m_services.end() && it->second.sessionOpen;
}

HRESULT CModem::Fault(ModemFault step) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_faults.find(step);
    return it == m_faults.end() ? S_OK : it->second;
}

HRESULT CModem::Advise(const void* point, REFIID events, IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    if (HRESULT fault = Fault(ModemFault::Advise); FAILED(fault)) return fault;
    void* typed = nullptr;
    if (FAILED(sink->QueryInterface(events, &typed)) || !typed) return CONNECT_E_CANNOTCONNECT;
    std::lock_guard<std::mutex> lock(m_mutex);
    *cookie = m_nextCookie++;
    m_sinks.push_back(CSink{*cookie, events, point, static_cast<IUnknown*>(typed)});
    return S_OK;
}

// Windows' documentation promises no wait for a call in progress, so there is none, as in the
// simulation: the harder case for a sink. Such a call, or one its delivery has yet to make, may
// still run in the sink after Unadvise has returned, holding the sink until it ends.
HRESULT CModem::Unadvise(const void* point, DWORD cookie) {
    if (HRESULT fault = Fault(ModemFault::Unadvise); FAILED(fault)) return fault;
    IUnknown* sink = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = std::find_if(m_sinks.begin(), m_sinks.end(),
                               [&](const CSink& s) { return s.cookie == cookie && s.point == point; });
        if (it == m_sinks.end()) return CONNECT_E_NOCONNECTION;
        sink = it->sink;
        m_sinks.erase(it);
    }
    sink->Release();
    return S_OK;
}

std::size_t CModem::Deliver(REFIID events, const std::function<void(IUnknown*)>& call) {
    std::vector<IUnknown*> targets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const CSink& s : m_sinks) {
            if (!IsEqualIID(s.events, events)) continue;
            s.sink->AddRef();
            targets.push_back(s.sink);
        }
    }
    for (IUnknown* target : targets) {
        call(target);
        target->Release();
    }
    return targets.size();
}

void CModem::Later(DWORD delayMs, std::function<void()> delivery) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), std::move(delivery));
    }
    m_queueChanged.notify_one();
}

void CModem::Run() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const auto controlEvery = std::chrono::milliseconds(20);
    auto nextPoll = std::chrono::steady_clock::now();
    for (;;) {
        std::function<void()> due;
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            auto wake = nextPoll;
            if (!m_queue.empty()) wake = std::min(wake, m_queue.begin()->first);
            m_queueChanged.wait_until(lock, wake);
            if (!m_queue.empty() && m_queue.begin()->first <= std::chrono::steady_clock::now()) {
                due = std::move(m_queue.begin()->second);
                m_queue.erase(m_queue.begin());
            }
        }
        if (due) due();
        if (std::chrono::steady_clock::now() >= nextPoll) {
            PollControl();
            nextPoll = std::chrono::steady_clock::now() + controlEvery;
        }
    }
}

void CModem::PollControl() {
    std::string bytes;
    if (!ReadFrom(m_controlPath, m_controlRead, bytes) || bytes.empty()) return;
    m_controlRead += bytes.size();
    m_controlPartial += bytes;
    for (std::size_t end; (end = m_controlPartial.find('\n')) != std::string::npos;) {
        std::string line = m_controlPartial.substr(0, end);
        m_controlPartial.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) Control(line);
    }
}

void CModem::Control(const std::string& line) {
    m_transcript.Add("control: " + line);
    const std::size_t blank = line.find(' ');
    const std::string verb = line.substr(0, blank);
    const std::string argument = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (verb == "register" || verb == "ready") {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_interfaces.Size() == 0) {
                m_transcript.Add("control: ignored, the modem has no interface");
                return;
            }
            if (verb == "register") {
                m_interfaces.At(0).providerId = argument;
            } else {
                char* end = nullptr;
                long state = std::strtol(argument.c_str(), &end, 10);
                if (argument.empty() || *end || state < 0 || state > 8) {
                    m_transcript.Add("control: a ready state is 0 to 8");
                    return;
                }
                m_interfaces.At(0).readyState = static_cast<MBN_READY_STATE>(state);
            }
        }
        if (verb == "register")
            RegistrationEvent("OnRegisterStateChange", 0);
        else
            InterfaceEvent(0);
    } else if (verb == "remove") {
        RemovalEvents(RemoveAll());
    } else if (verb == "return") {
        std::size_t first = 0;
        std::size_t count = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            first = m_interfaces.Size();
            count = m_removed.size();
            for (ModemInterface& settings : m_removed) m_interfaces.Add(std::move(settings));
            m_removed.clear();
        }
        // As a modem does once it is back and has found its network: ready, registered, attached.
        for (std::size_t i = first; i < first + count; ++i) {
            std::string id;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                id = m_interfaces.IdAt(i);
            }
            InterfaceStateEvent(id, MBN_DEVICE_SERVICES_CAPABLE_INTERFACE_ARRIVAL);
            InterfaceEvent(i);
            RegistrationEvent("OnRegisterStateChange", i);
            RegistrationEvent("OnPacketServiceStateChange", i);
        }
    } else {
        m_transcript.Add("control: unknown (register <id>, ready <0-8>, remove, return)");
    }
}

std::uint64_t KeyAt(const std::vector<std::uint64_t>& keys, std::size_t index) {
    return index < keys.size() ? keys[index] : 0;
}

void CModem::RegistrationEvent(const char* name, std::size_t index) {
    // An interface gone meanwhile is reported as none, as the simulation reports it.
    const std::uint64_t key = KeyAt(Keys(), index);
    IMbnRegistration* registration = nullptr;
    if (CInterface* item = key ? new (std::nothrow) CInterface(key) : nullptr) {
        static_cast<IMbnInterface*>(item)->QueryInterface(IID_IMbnRegistration, reinterpret_cast<void**>(&registration));
        static_cast<IMbnInterface*>(item)->Release();
    }
    const bool state = std::string(name) == "OnRegisterStateChange";
    std::size_t sinks = Deliver(IID_IMbnRegistrationEvents, [&](IUnknown* sink) {
        auto* events = reinterpret_cast<IMbnRegistrationEvents*>(sink);
        if (state)
            events->OnRegisterStateChange(registration);
        else
            events->OnPacketServiceStateChange(registration);
    });
    if (registration) registration->Release();
    m_transcript.Add(std::string("event: ") + name + " interface " + std::to_string(index) + " -> " +
                     std::to_string(sinks) + " sink(s)");
}

void CModem::InterfaceEvent(std::size_t index) {
    const std::uint64_t key = KeyAt(Keys(), index);
    CInterface* item = key ? new (std::nothrow) CInterface(key) : nullptr;
    std::size_t sinks = Deliver(IID_IMbnInterfaceEvents, [&](IUnknown* sink) {
        reinterpret_cast<IMbnInterfaceEvents*>(sink)->OnReadyStateChange(item);
    });
    if (item) static_cast<IMbnInterface*>(item)->Release();
    m_transcript.Add("event: OnReadyStateChange interface " + std::to_string(index) + " -> " + std::to_string(sinks) +
                     " sink(s)");
}

void CModem::InterfaceStateEvent(const std::string& id, MBN_DEVICE_SERVICES_INTERFACE_STATE state) {
    BSTR wide = NewBstr(id);
    std::size_t sinks = Deliver(IID_IMbnDeviceServicesEvents, [&](IUnknown* sink) {
        reinterpret_cast<IMbnDeviceServicesEvents*>(sink)->OnInterfaceStateChange(wide, state);
    });
    SysFreeString(wide);
    m_transcript.Add(std::string("event: OnInterfaceStateChange ") + id +
                     (state == MBN_DEVICE_SERVICES_CAPABLE_INTERFACE_ARRIVAL ? " arrival" : " removal") + " -> " +
                     std::to_string(sinks) + " sink(s)");
}

std::vector<std::string> CModem::RemoveAll() {
    std::vector<std::string> ids;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::size_t i = 0; i < m_interfaces.Size(); ++i) ids.push_back(m_interfaces.IdAt(i));
    for (ModemInterface& settings : m_interfaces.TakeAll()) m_removed.push_back(std::move(settings));
    return ids;
}

void CModem::RemovalEvents(const std::vector<std::string>& ids) {
    m_transcript.Add("modem: " + std::to_string(ids.size()) + " interface(s) gone");
    for (const std::string& id : ids) InterfaceStateEvent(id, MBN_DEVICE_SERVICES_CAPABLE_INTERFACE_REMOVAL);
}

HRESULT CModem::Session(IMbnDeviceService* service, const std::string& id, bool open, ULONG* requestId) {
    const char* call = open ? "OpenCommandSession " : "CloseCommandSession ";
    if (!requestId) return E_POINTER;
    SessionBehaviour behaviour;
    ULONG request = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_services.find(modemfile::LowerAsciiText(id));
        if (it == m_services.end()) return kGone;
        behaviour = open ? it->second.open : it->second.close;
        if (behaviour.kind != SessionBehaviour::Fail) request = m_nextRequestId++;
    }
    if (behaviour.kind == SessionBehaviour::Fail) {
        m_transcript.Add(call + id + " fails " + modemfile::HresultText(behaviour.failure));
        return behaviour.failure;
    }
    *requestId = request;
    if (behaviour.kind == SessionBehaviour::Never) {
        m_transcript.Add(call + id + " request " + std::to_string(request) + " -> (never completes)");
        return S_OK;
    }
    m_transcript.Add(call + id + " request " + std::to_string(request) + " -> status " +
                     modemfile::HresultText(behaviour.status));
    service->AddRef();
    const HRESULT status = behaviour.status;
    Later(behaviour.delayMs, [this, service, id, open, status, request] {
        if (status == S_OK) {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_services.find(modemfile::LowerAsciiText(id));
            if (it != m_services.end()) it->second.sessionOpen = open;
        }
        Deliver(IID_IMbnDeviceServicesEvents, [&](IUnknown* sink) {
            auto* events = reinterpret_cast<IMbnDeviceServicesEvents*>(sink);
            if (open)
                events->OnOpenCommandSessionComplete(service, status, request);
            else
                events->OnCloseCommandSessionComplete(service, status, request);
        });
        service->Release();
    });
    return S_OK;
}

HRESULT CModem::Command(IMbnDeviceService* service, const std::string& id, bool query, ULONG commandId,
                        SAFEARRAY* data, ULONG* requestId) {
    if (!requestId) return E_POINTER;
    std::string bytes;
    if (!modemfile::ReadByteArray(data, &bytes)) return E_INVALIDARG;
    const std::string call = std::string(query ? "QueryCommand " : "SetCommand ");
    const std::string received = " " + std::to_string(commandId) + " \"" + modemfile::EscapeBytes(bytes) + "\"";

    modemfile::ModemAnswer answer;
    ULONG request = 0;
    ULONG answerId = 0;
    std::string canonical;
    HRESULT refused = S_OK;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_services.find(modemfile::LowerAsciiText(id));
        if (it == m_services.end()) {
            refused = kGone;
        } else if (!it->second.sessionOpen) {
            refused = E_FAIL;
        } else {
            canonical = it->second.id;
            answer = modemfile::Answer(m_answers, canonical, commandId, bytes);
            request = m_nextRequestId++;
            answerId = answer.reply.wrongRequestId ? m_nextRequestId++ : request;
        }
    }
    if (FAILED(refused)) {
        m_transcript.Add(call + id + received + " refused " + modemfile::HresultText(refused));
        return refused;
    }
    *requestId = request;
    m_transcript.Add(call + canonical + received + " -> " + answer.description);
    const ModemReply reply = answer.reply;
    if (reply.kind == ModemReply::Silent) {
        if (reply.gone) {
            std::vector<std::string> ids = RemoveAll();
            Later(0, [this, ids] { RemovalEvents(ids); });
        }
        return S_OK;
    }
    service->AddRef();
    Later(reply.delayMs, [this, service, reply, query, commandId, answerId] {
        SAFEARRAY* array = reply.kind == ModemReply::NoData ? nullptr : NewByteArray(reply.bytes);
        Deliver(IID_IMbnDeviceServicesEvents, [&](IUnknown* sink) {
            auto* events = reinterpret_cast<IMbnDeviceServicesEvents*>(sink);
            if (query)
                events->OnQueryCommandComplete(service, commandId, array, reply.status, answerId);
            else
                events->OnSetCommandComplete(service, commandId, array, reply.status, answerId);
        });
        if (array) SafeArrayDestroy(array);
        service->Release();
        if (reply.gone) RemovalEvents(RemoveAll());
    });
    return S_OK;
}

// Made on first use and never freed: its thread runs until the process ends, and the DLL stays
// loaded as long (a DLL unloaded under its own thread would take the process with it).
CModem& Modem() {
    static CModem* modem = [] {
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&Modem), &pinned);
        return new CModem;
    }();
    return *modem;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) thisModule = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualCLSID(clsid, CLSID_MbnInterfaceManager)) return interfaceManagerFactory.QueryInterface(riid, out);
    if (IsEqualCLSID(clsid, CLSID_MbnDeviceServicesManager))
        return deviceServicesManagerFactory.QueryInterface(riid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
