// A Mobile Broadband service with no modem, for the runs under Wine (which has
// none at all): an in-process COM server for the interface manager and the
// device-services manager. The interface manager lists no interface, the
// device-services manager knows no device, and both take event sinks.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleauto.h>

#include <atomic>
#include <mutex>
#include <new>
#include <vector>

#include "platform/mbn.h"

namespace {

std::atomic<long> liveObjects{0};

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

class CPoint final : public IConnectionPoint {
public:
    CPoint(IConnectionPointContainer* container, const IID& events) : m_container(container), m_events(events) {
        ++liveObjects;
        m_container->AddRef();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) return E_NOINTERFACE;
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_refs.Drop(this); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = m_events;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        *container = m_container;
        m_container->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        IUnknown* events = nullptr;
        if (FAILED(sink->QueryInterface(m_events, reinterpret_cast<void**>(&events))) || !events)
            return CONNECT_E_CANNOTCONNECT;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sinks.push_back(events);
        *cookie = static_cast<DWORD>(m_sinks.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (cookie == 0 || cookie > m_sinks.size() || !m_sinks[cookie - 1]) return CONNECT_E_NOCONNECTION;
        m_sinks[cookie - 1]->Release();
        m_sinks[cookie - 1] = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    friend class CRefCount;
    ~CPoint() {
        for (IUnknown* sink : m_sinks)
            if (sink) sink->Release();
        m_container->Release();
        --liveObjects;
    }

    IConnectionPointContainer* m_container;
    const IID m_events;
    CRefCount m_refs;
    std::mutex m_mutex;
    std::vector<IUnknown*> m_sinks;
};

class CManager final : public IMbnInterfaceManager, public IMbnDeviceServicesManager, public IConnectionPointContainer {
public:
    CManager() { ++liveObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMbnInterfaceManager))
            *out = static_cast<IMbnInterfaceManager*>(this);
        else if (IsEqualIID(riid, IID_IMbnDeviceServicesManager))
            *out = static_cast<IMbnDeviceServicesManager*>(this);
        else if (IsEqualIID(riid, IID_IConnectionPointContainer))
            *out = static_cast<IConnectionPointContainer*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_refs.Drop(this); }
    HRESULT STDMETHODCALLTYPE GetInterface(LPCWSTR, IMbnInterface** found) override {
        if (!found) return E_POINTER;
        *found = nullptr;
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE GetInterfaces(SAFEARRAY** interfaces) override {
        if (!interfaces) return E_POINTER;
        *interfaces = SafeArrayCreateVector(VT_UNKNOWN, 0, 0);
        return *interfaces ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceServicesContext(BSTR, IMbnDeviceServicesContext** context) override {
        if (!context) return E_POINTER;
        *context = nullptr;
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (!IsEqualIID(riid, IID_IMbnRegistrationEvents) && !IsEqualIID(riid, IID_IMbnInterfaceEvents) &&
            !IsEqualIID(riid, IID_IMbnDeviceServicesEvents))
            return CONNECT_E_NOCONNECTION;
        *point = new (std::nothrow) CPoint(this, riid);
        return *point ? S_OK : E_OUTOFMEMORY;
    }

private:
    friend class CRefCount;
    ~CManager() { --liveObjects; }

    CRefCount m_refs;
};

class CFactory final : public IClassFactory {
public:
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
        CManager* manager = new (std::nothrow) CManager;
        if (!manager) return E_OUTOFMEMORY;
        HRESULT hr = manager->QueryInterface(riid, out);
        manager->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

CFactory factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_MbnInterfaceManager) && !IsEqualCLSID(clsid, CLSID_MbnDeviceServicesManager))
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return liveObjects.load() == 0 ? S_OK : S_FALSE;
}
