// Keeps a do-nothing sink advised on the Mobile Broadband interface events.
#pragma once

#include "modem/CMbnChangeEventNew.h"
#include "platform/com.h"
#include "platform/mbn.h"

class CMbnInterfaceEventMgr {
public:
    static CMbnInterfaceEventMgr* GetInstance();

    bool Init();
    void Release();

private:
    CMbnInterfaceEventMgr() = default;

    IConnectionPointContainer* m_connectionPointContainer = nullptr;
    IMbnInterfaceManager* m_interfaceManager = nullptr;
    IConnectionPoint* m_connectionPoint = nullptr;
    DWORD m_adviseCookie = 0;
    CMbnChangeEventNew* m_sink = nullptr;
};
