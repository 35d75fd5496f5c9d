#include "core/CMbnRegEvent.h"

#include <string>

#include "common/CLog.h"
#include "common/WideText.h"
#include "core/CStateWork.h"
#include "core/MbnInterfaceWalk.h"
#include "platform/sync.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

// The registered provider ID as 8-bit text; the returned string is freed here.
HRESULT ReadProviderId(IMbnRegistration* registration, std::string& providerId) {
    BSTR id = nullptr;
    HRESULT hr = registration->GetProviderID(&id);
    if (hr == S_OK) providerId = NarrowText(id);
    SysFreeString(id);
    return hr;
}

// The three events that only look at the provider ID.
void LogProviderId(IMbnRegistration* registration, const char* failed, const char* event) {
    std::string providerId;
    if (ReadProviderId(registration, providerId) != S_OK) Log(1, failed);
    if (!providerId.empty())
        Log(4, std::string(" --------------------") + event);
    else
        Log(4, std::string(event) + " strmccInfo=null");
}

}  // namespace

HRESULT CMbnRegEvent::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IMbnRegistrationEvents)) {
        *object = static_cast<IMbnRegistrationEvents*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CMbnRegEvent::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

ULONG CMbnRegEvent::Release() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT CMbnRegEvent::OnRegisterModeAvailable(IMbnRegistration* newInterface) {
    if (!newInterface) return S_OK;
    LogProviderId(newInterface, "CMbnRegEvent::OnRegisterModeAvailable error", "CMbnRegEvent::OnRegisterModeAvailable");
    return S_OK;
}

HRESULT CMbnRegEvent::OnRegisterStateChange(IMbnRegistration* newInterface) {
    if (!newInterface) {
        Log(1, " CMbnRegEvent::OnRegisterStateChange newInterface == NULL");
        return S_OK;
    }
    Log(4, "CMbnRegEvent::OnRegisterStateChange enter.");
    std::string providerId;
    if (ReadProviderId(newInterface, providerId) != S_OK) {
        Log(1, "CMbnRegEvent::OnRegisterStateChange error");
        return S_OK;
    }
    Log(4, "CMbnRegEvent::OnRegisterStateChange GetProviderID mccmnc: " + providerId);
    // Every readable change is handed over, also an unchanged or empty ID.
    CStateWork::GetInstance()->SetSimChangeEvent(providerId, "");
    return S_OK;
}

HRESULT CMbnRegEvent::OnPacketServiceStateChange(IMbnRegistration* newInterface) {
    if (!newInterface) return S_OK;
    LogProviderId(newInterface, "CMbnRegEvent::OnPacketServiceStateChange error",
                  "CMbnRegEvent::OnPacketServiceStateChange");
    return S_OK;
}

HRESULT CMbnRegEvent::OnSetRegisterModeComplete(IMbnRegistration* newInterface, ULONG, HRESULT) {
    if (!newInterface) return S_OK;
    LogProviderId(newInterface, "CMbnRegEvent::OnSetRegisterModeComplete error Result",
                  "CMbnRegEvent::OnSetRegisterModeComplete");
    return S_OK;
}

bool CMbnRegEvent::GetSimInfo() {
    Log(4, "[CMbnRegEvent::GetSimInfo] enter.");
    CMbnLastInterface last("[CMbnRegEvent::GetSimInfo] CoInitializeEx Fail.Error Code");
    if (last.ManagerMissing()) return false;
    last.LogHomeProvider("[CStateWork::GetSimInfo] GetHomeProvider str_mccmnc: ");
    return true;
}
