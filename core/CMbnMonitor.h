// Connects the registration-event sink to the Mobile Broadband API at start, disconnects it at stop.
#pragma once

#include "platform/mbn.h"

class CMbnRegEvent;

class CMbnMonitor {
public:
    static CMbnMonitor* GetInstance();

    // 1 when the sink is advised, 0 after logging the failed step; what was obtained is kept for
    // DetachStateMbnRegEvent.
    int AttachStateMbnRegEvent();
    // Safe after a partial or failed attach.
    void DetachStateMbnRegEvent();

    // The sink while the monitor holds it (tests look at its reference count).
    CMbnRegEvent* GetRegEvent() const { return m_p_RegEvent; }

private:
    CMbnMonitor() {}

    IConnectionPointContainer* m_connRegPointContainer = nullptr;
    IMbnInterfaceManager* mbnInterfaceRegManager = nullptr;
    IConnectionPoint* m_connRegPoint = nullptr;
    DWORD m_dwAdviseCookie = 0;
    CMbnRegEvent* m_p_RegEvent = nullptr;
};
