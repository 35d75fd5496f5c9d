// The service's worker object: the worker loop's events, the registered network, the region,
// the control key, the AT channel of the moment and the installation's paths.
#pragma once

#include <mutex>
#include <string>

#include "core/CarrierPackInfo.h"
#include "platform/types.h"

class CMbimDeviceService;

class CStateWork {
public:
    CStateWork();
    ~CStateWork();
    CStateWork(const CStateWork&) = delete;
    CStateWork& operator=(const CStateWork&) = delete;

    static CStateWork* GetInstance();

    int InitPath();
    int InitLog();
    int InitWork();
    HANDLE StartThread();
    void StopThread();
    static DWORD TheadWork(LPVOID parameter);
    void Work();
    bool GetSimInfo();
    void SetSimChangeEvent(std::string providerId, std::string iccid);

    std::string GetLogFilePath() const { return m_strLogFilePath; }
    std::string GetPackageFilePath() const { return m_strPackageFilePath; }
    std::string GetUnzipFolderPath() const { return m_strUnzipFolderPath; }
    std::string GetRegionMappingTablePath() const { return m_strRegionMappingTablePath; }
    std::string GetDeviceModeMappingTablePath() const { return m_strDeviceModeMappingTablePath; }
    std::string GetIniFilePath() const { return m_strIniFilePath; }
    std::string GetDeviceIdImageMappingTablePath() const { return m_strDeviceIdImageMappingTablePath; }
    std::string GetScatterFilePath() const { return m_strScatterFilePath; }
    std::string GetOldServiceExePath() const { return m_strOldServiceExePath; }

    // The index switch (CStateWorkConfig.cpp).
    void Config(int customizationSolutionType, int sarDownloadType, bool fromRegistration);
    void SARTableIndexSwitch(int sarType, int customizationSolutionType);

    // One AT command on a fresh channel (CStateWorkExecuteCmd.cpp); "\r\n" is appended and the
    // reply comes back without blanks, written only when accepted.
    bool ExecuteCmd(std::string command, std::string& reply);
    int CheckMBIM();
    int FreeMBIM();
    std::string GetMcc();

    // The table-writing entry (CStateWorkFlash.cpp); the worker loop does not call it.
    void FlashSarByATSend();

    // The region switch and the sibling-service removal (CStateWorkRegion.cpp).
    bool SetRegionByIOControl(int region);
    int ServiceCheckAndDelete();

    enum { REG_CHANGE = 0, SIM_CHANGE = 1, STOP_EVENT = 2 };

private:
    void ArmRegChange();
    void ReopenControlKey();

    HANDLE m_hThread = nullptr;
    HANDLE m_hEvents[3] = {nullptr, nullptr, nullptr};
    std::string m_strProviderID;
    std::string m_strIccID;
    std::string m_strRegion;
    std::mutex m_providerLock;
    HKEY m_hControlKey = nullptr;
    bool m_bControlKeyWatched = false;
    bool m_bArmAgain = false;  // the last arming was refused, the key is still held
    CMbimDeviceService* m_pMbimDeviceService = nullptr;
    CarrierPackInfo m_carrierInfo[2];
    std::string m_strSensor1;
    std::string m_strSensor2;
    std::string m_strSensor3;
    std::string m_strDeviceMode;
    std::string m_strLogFilePath;
    std::string m_strPackageFilePath;
    std::string m_strUnzipFolderPath;
    std::string m_strRegionMappingTablePath;
    std::string m_strDeviceModeMappingTablePath;
    std::string m_strIniFilePath;
    std::string m_strDeviceIdImageMappingTablePath;
    std::string m_strScatterFilePath;
    std::string m_strOldServiceExePath;
};

// False for an empty reply or one that holds "error" in any letter case.
bool IsAtResponseOk(std::string reply);

// The firmware-flash service's new-package flag; nothing in the service calls these.
DWORD GetFwFlashNewPackageFlag();
int SetFwFlashNewPackageFlag();
