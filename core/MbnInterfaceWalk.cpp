#include "core/MbnInterfaceWalk.h"

#include "common/CLog.h"
#include "common/WideText.h"
#include "platform/com.h"

namespace {
void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }
}  // namespace

bool GetLastMbnInterface(IMbnInterfaceManager* manager, IMbnInterface*& found) {
    found = nullptr;
    SAFEARRAY* interfaces = nullptr;
    if (FAILED(manager->GetInterfaces(&interfaces))) {
        Log(1, "[error][CStateWork::GetSimInfo] Get All Interface Fail.");
        return false;
    }

    IMbnInterface* mbnInterface = nullptr;
    bool nullElement = false;
    LONG lower = 0;
    LONG upper = -1;
    if (interfaces) {
        SafeArrayGetLBound(interfaces, 1, &lower);
        SafeArrayGetUBound(interfaces, 1, &upper);
    }
    for (LONG i = lower; i <= upper; ++i) {
        IUnknown* element = nullptr;
        if (FAILED(SafeArrayGetElement(interfaces, &i, &element))) {
            Log(1, "[error][CStateWork::GetSimInfo] SafeArrayGetElement Fail.");
            break;
        }
        if (mbnInterface) mbnInterface->Release();
        mbnInterface = static_cast<IMbnInterface*>(element);
        if (!mbnInterface) {
            Log(1, "mInterface is null");
            nullElement = true;
            break;
        }
        MBN_READY_STATE readyState = MBN_READY_STATE_OFF;
        if (FAILED(mbnInterface->GetReadyState(&readyState))) {
            Log(1, "[error][CStateWork::GetSimInfo] GetReadyState Fail.");
            break;
        }
    }
    if (!mbnInterface && !nullElement) Log(1, "[error][CStateWork::GetSimInfo] Get mbim interface fail.");
    // The interface holds its own reference; the array can go.
    if (interfaces) SafeArrayDestroy(interfaces);
    found = mbnInterface;
    return true;
}

CMbnLastInterface::CMbnLastInterface(const char* createFailed) {
    HRESULT hr = CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager,
                                  reinterpret_cast<void**>(&m_manager));
    if (FAILED(hr)) {
        Log(1, createFailed);
        m_manager = nullptr;
        return;
    }
    if (!m_manager) {
        Log(1, "InterfaceManager is null");
        m_managerMissing = true;
        return;
    }
    GetLastMbnInterface(m_manager, m_interface);
}

CMbnLastInterface::~CMbnLastInterface() {
    if (m_interface) m_interface->Release();
    if (m_manager) m_manager->Release();
}

void CMbnLastInterface::LogHomeProvider(const char* prefix) const {
    if (!m_interface) return;
    MBN_PROVIDER home = {};
    if (SUCCEEDED(m_interface->GetHomeProvider(&home))) {
        Log(4, prefix + NarrowText(home.providerID));
        SysFreeString(home.providerID);
        SysFreeString(home.providerName);
    } else {
        Log(1, "[error][CStateWork::GetSimInfo] GetHomeProvider Fail.");
    }
}
