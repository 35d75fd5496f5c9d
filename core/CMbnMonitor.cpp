#include "core/CMbnMonitor.h"

#include <new>
#include <string>

#include "common/CLog.h"
#include "common/ProcessSingleton.h"
#include "core/CMbnRegEvent.h"

namespace {

// Logs the failed step of the attach and gives its result.
int Fail(const char* step) {
    CLog::GetInstance()->WriteLog(1, std::string("[Fail][CMbnMonitor::AttachStateMbnRegEvent] ") + step);
    return 0;
}

}  // namespace

CMbnMonitor* CMbnMonitor::GetInstance() {
    return CProcessSingletons::Get<CMbnMonitor>([] { return new CMbnMonitor(); });
}

int CMbnMonitor::AttachStateMbnRegEvent() {
    // A second attach lets go of what the first one held.
    DetachStateMbnRegEvent();

    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return Fail("CoInitializeEx Fail.");
    if (FAILED(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager,
                                reinterpret_cast<void**>(&mbnInterfaceRegManager))))
        return Fail("CoCreateInstance CLSID_MbnInterfaceManager Fail.");
    m_p_RegEvent = new (std::nothrow) CMbnRegEvent();
    if (!m_p_RegEvent) return Fail("NULL == m_p_RegEvent");
    if (!mbnInterfaceRegManager) return Fail("NULL == mbnInterfaceRegManager");
    if (mbnInterfaceRegManager->QueryInterface(IID_IConnectionPointContainer,
                                               reinterpret_cast<void**>(&m_connRegPointContainer)) != S_OK)
        return Fail("QueryInterface IConnectionPointContainer Fail.");
    if (!m_connRegPointContainer) return Fail("NULL == m_connRegPointContainer");
    if (m_connRegPointContainer->FindConnectionPoint(IID_IMbnRegistrationEvents, &m_connRegPoint) != S_OK)
        return Fail("IConnectionPointContainer FindConnectionPoint Fail.");
    if (!m_connRegPoint) return Fail("NULL == m_connRegPoint");
    if (FAILED(m_connRegPoint->Advise(m_p_RegEvent, &m_dwAdviseCookie))) {
        m_dwAdviseCookie = 0;
        return Fail("IConnectionPoint Advise Fail.");
    }
    return 1;
}

void CMbnMonitor::DetachStateMbnRegEvent() {
    if (m_connRegPoint) {
        if (m_dwAdviseCookie != 0) m_connRegPoint->Unadvise(m_dwAdviseCookie);
        m_dwAdviseCookie = 0;
        m_connRegPoint->Release();
        m_connRegPoint = nullptr;
    }
    if (m_p_RegEvent) {
        m_p_RegEvent->Release();
        m_p_RegEvent = nullptr;
    }
    if (m_connRegPointContainer) {
        m_connRegPointContainer->Release();
        m_connRegPointContainer = nullptr;
    }
    if (mbnInterfaceRegManager) {
        mbnInterfaceRegManager->Release();
        mbnInterfaceRegManager = nullptr;
    }
}
