// The Mobile Broadband objects the platform tests make or fetch for themselves.
#pragma once

#include <cstring>
#include <string>

#include "platform/com.h"
#include "platform/mbn.h"
#include "platform/sync.h"

namespace kvtest {

// A sink of one events interface whose reference count the test watches: the sink lives on the
// test's stack or in its hands, and the count never frees it.
template <class Events, const IID& kEvents>
class TestSink : public Events {
public:
    HRESULT QueryInterface(REFIID riid, void** out) override {
        *out = riid == kEvents ? static_cast<Events*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }
    // Read as the other holders change it.
    LONG Refs() { return InterlockedCompareExchange(&refs_, 0, 0); }

private:
    LONG refs_ = 1;
};

// The connection point of `owner` for `events` (the caller releases it), or null.
inline IConnectionPoint* PointOf(IUnknown* owner, REFIID events) {
    IConnectionPointContainer* container = nullptr;
    if (FAILED(owner->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))))
        return nullptr;
    IConnectionPoint* point = nullptr;
    if (FAILED(container->FindConnectionPoint(events, &point))) point = nullptr;
    container->Release();
    return point;
}

// The named device service of the modem's first interface (the caller releases it), or null.
inline IMbnDeviceService* FirstInterfaceDeviceService(const char* id) {
    void* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager, &object)))
        return nullptr;
    auto* manager = static_cast<IMbnInterfaceManager*>(object);
    SAFEARRAY* array = nullptr;
    IMbnInterface* item = nullptr;
    LONG first = 0;
    if (SUCCEEDED(manager->GetInterfaces(&array))) SafeArrayGetElement(array, &first, &item);
    SafeArrayDestroy(array);
    manager->Release();
    BSTR interfaceId = nullptr;
    if (item) item->get_InterfaceID(&interfaceId);
    if (item) item->Release();
    IMbnDeviceServicesContext* context = nullptr;
    if (interfaceId &&
        SUCCEEDED(CoCreateInstance(CLSID_MbnDeviceServicesManager, nullptr, CLSCTX_ALL, IID_IMbnDeviceServicesManager,
                                   &object))) {
        auto* services = static_cast<IMbnDeviceServicesManager*>(object);
        services->GetDeviceServicesContext(interfaceId, &context);
        services->Release();
    }
    SysFreeString(interfaceId);
    if (!context) return nullptr;
    std::u16string wide(id, id + std::strlen(id));
    IMbnDeviceService* service = nullptr;
    context->GetDeviceService(wide.data(), &service);
    context->Release();
    return service;
}

}  // namespace kvtest
