#include "modem/CMbnInterfaceEventMgr.h"

#include <new>

#include "common/ProcessSingleton.h"

namespace {

template <class T>
void ReleaseAndClear(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

}  // namespace

CMbnInterfaceEventMgr* CMbnInterfaceEventMgr::GetInstance() {
    return CProcessSingletons::Get<CMbnInterfaceEventMgr>([] { return new CMbnInterfaceEventMgr(); });
}

bool CMbnInterfaceEventMgr::Init() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return false;
    if (FAILED(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager,
                                reinterpret_cast<void**>(&m_interfaceManager))) ||
        !m_interfaceManager)
        return false;
    m_sink = new (std::nothrow) CMbnChangeEventNew();
    if (!m_sink) return false;
    if (FAILED(m_interfaceManager->QueryInterface(IID_IConnectionPointContainer,
                                                  reinterpret_cast<void**>(&m_connectionPointContainer))) ||
        !m_connectionPointContainer)
        return false;
    if (FAILED(m_connectionPointContainer->FindConnectionPoint(IID_IMbnInterfaceEvents, &m_connectionPoint)) ||
        !m_connectionPoint)
        return false;
    if (FAILED(m_connectionPoint->Advise(m_sink, &m_adviseCookie))) {
        m_adviseCookie = 0;
        return false;
    }
    return true;
}

void CMbnInterfaceEventMgr::Release() {
    if (m_connectionPoint && m_adviseCookie != 0) m_connectionPoint->Unadvise(m_adviseCookie);
    m_adviseCookie = 0;
    ReleaseAndClear(m_connectionPoint);
    ReleaseAndClear(m_sink);
    ReleaseAndClear(m_connectionPointContainer);
    ReleaseAndClear(m_interfaceManager);
}
