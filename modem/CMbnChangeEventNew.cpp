#include "modem/CMbnChangeEventNew.h"

#include "platform/sync.h"

HRESULT CMbnChangeEventNew::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IMbnInterfaceEvents)) {
        AddRef();
        *object = static_cast<IMbnInterfaceEvents*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CMbnChangeEventNew::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

ULONG CMbnChangeEventNew::Release() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT CMbnChangeEventNew::OnInterfaceCapabilityAvailable(IMbnInterface*) { return S_OK; }
HRESULT CMbnChangeEventNew::OnSubscriberInformationChange(IMbnInterface*) { return S_OK; }
HRESULT CMbnChangeEventNew::OnReadyStateChange(IMbnInterface*) { return S_OK; }
HRESULT CMbnChangeEventNew::OnEmergencyModeChange(IMbnInterface*) { return S_OK; }
HRESULT CMbnChangeEventNew::OnHomeProviderAvailable(IMbnInterface*) { return S_OK; }
HRESULT CMbnChangeEventNew::OnPreferredProvidersChange(IMbnInterface*) { return S_OK; }
HRESULT CMbnChangeEventNew::OnSetPreferredProvidersComplete(IMbnInterface*, ULONG, HRESULT) { return S_OK; }
HRESULT CMbnChangeEventNew::OnScanNetworkComplete(IMbnInterface*, ULONG, HRESULT) { return S_OK; }
