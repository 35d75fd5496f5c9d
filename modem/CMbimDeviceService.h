// One AT command exchange over the modem's AT device service.
#pragma once

#include <string>
#include <vector>

#include "modem/CrMbimServicesEvents.h"
#include "modem/PendingRequest.h"
#include "platform/com.h"
#include "platform/mbn.h"

class CMbimDeviceService {
public:
    CMbimDeviceService();
    ~CMbimDeviceService();
    CMbimDeviceService(const CMbimDeviceService&) = delete;
    CMbimDeviceService& operator=(const CMbimDeviceService&) = delete;

    HRESULT Init();
    HRESULT AdviseEvents(DWORD& cookie, IUnknown* sink, REFIID eventsIid);
    bool CheckInterface();
    HRESULT GetFirstInterface();
    HRESULT OpenDeviceService();
    // 0 when the command was exchanged; the reply is the modem's raw reply.
    int SendCommand(const std::string& command, std::string& reply, std::string& hex);
    SAFEARRAY* StrToSafeArray(const std::string& command);
    HRESULT Unadvise(DWORD cookie);
    void Uninit();
    int ReleaseService();
    bool SetCommandId(ULONG commandId);
    bool SetDeviceServiceId(const std::string& id);

private:
    void ReleaseExchange();

    IMbnInterfaceManager* m_interfaceManager = nullptr;
    IMbnDeviceServicesManager* m_deviceServicesManager = nullptr;
    CrMbimServicesEvents* m_sink = nullptr;
    IMbnInterface* m_interface = nullptr;
    IMbnDeviceService* m_deviceService = nullptr;
    IMbnDeviceServicesContext* m_context = nullptr;
    IConnectionPoint* m_connectionPoint = nullptr;
    IConnectionPointContainer* m_connectionPointContainer = nullptr;
    DWORD m_adviseCookie = 0;
    LONG m_sessionOpenedHere = 0;
    ULONG m_commandId = 1;
    std::string m_deviceServiceId = "{ffffffff-abca-4b11-a4e2-f2fc87f94488}";
    std::vector<PendingRequest> m_pendingRequests;
    // CoUninitialize balances only a CoInitializeEx that succeeded.
    bool m_comInitialised = false;
};
