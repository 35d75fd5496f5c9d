// The long-lived device-mode query channel, and the byte and text helpers of
// its unit.
#pragma once

#include <string>

#include "modem/CDefaultServiceEventNew.h"
#include "platform/com.h"
#include "platform/mbn.h"

class CMbnDeviceServiceMgr {
public:
    static CMbnDeviceServiceMgr* GetInstance();

    bool Init();
    HRESULT InitIfNeeded();
    // Runs the set-up on first use; on a channel whose set-up failed it is
    // E_FAIL. The outputs are written only for an answer that carried the
    // three numbers.
    HRESULT QueryCommand(const BYTE* command, ULONG commandSize, std::string& deviceMode, std::string& sarIndex,
                         std::string& antennaIndex, const WCHAR* deviceServiceId, ULONG commandId);
    HRESULT OpenCommandSession(const WCHAR* deviceServiceId);
    IMbnInterface* GetFirstInterface();
    void CloseCommandSession();
    void Release();

private:
    CMbnDeviceServiceMgr() = default;
    void ReleaseSessionObjects();

    CDefaultServiceEventNew* m_sink = nullptr;
    IMbnDeviceServicesManager* m_deviceServicesManager = nullptr;
    IMbnInterface* m_interface = nullptr;
    IMbnDeviceServicesContext* m_context = nullptr;
    IMbnDeviceService* m_deviceService = nullptr;
    IConnectionPointContainer* m_connectionPointContainer = nullptr;
    IMbnInterfaceManager* m_interfaceManager = nullptr;
    IConnectionPoint* m_connectionPoint = nullptr;
    DWORD m_adviseCookie = 0;
    LONG m_sessionState = 0;  // 0 none known, 1 opened here, 2 found open
    LONG m_setUpState = 0;    // 0 not tried, 1 ready, 2 failed
};

// A one-dimensional VT_UI1 array, lower bound 0, holding the bytes.
SAFEARRAY* BytesToSafeArray(const BYTE* bytes, ULONG count);
// For a VT_UI1 array: a 32-bit little-endian length, then that many bytes of
// text (as many as the array holds). Any other array gives the empty text.
std::string SafeArrayToString(SAFEARRAY* array);
// The whole zero-terminated wide text into `buffer`; null when a pointer is
// missing or the text does not fit.
char* WideToAnsi(char* buffer, const WCHAR* wide, int bufferSize, UINT codePage);
