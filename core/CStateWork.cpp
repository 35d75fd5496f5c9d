#include "core/CStateWork.h"

#include <cctype>

#include "common/CLog.h"
#include "common/ProcessSingleton.h"
#include "common/WideText.h"
#include "config/CXmlTableReader.h"
#include "config/UnZipPackage.h"
#include "core/MbnInterfaceWalk.h"
#include "modem/CMbimDeviceService.h"
#include "platform/com.h"
#include "platform/files.h"
#include "platform/mbn.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/sync.h"

namespace {

const char kControlKey[] = "SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";
const char kRecoveryCommand[] =
    "sc failure \"Kavrion WWAN CfgService\" reset= 86400 actions= restart/60000/restart/60000/restart/60000";
const DWORD kWaitMs = 5000;
const int kWakeUpsPerLogReopen = 2160;

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

}  // namespace

CStateWork::CStateWork() {}

CStateWork::~CStateWork() { delete m_pMbimDeviceService; }

CStateWork* CStateWork::GetInstance() {
    return CProcessSingletons::Get<CStateWork>([] { return new CStateWork(); });
}

int CStateWork::InitPath() {
    std::string module(520, '\0');
    DWORD length = GetModuleFileNameA(nullptr, module.data(), static_cast<DWORD>(module.size()));
    module.resize(length < module.size() ? length : module.size() - 1);
    std::string::size_type last = module.rfind('\\');
    if (last == std::string::npos || last == 0) return 1;
    std::string::size_type parent = module.rfind('\\', last - 1);
    if (parent == std::string::npos) return 1;
    std::string base = module.substr(0, parent + 1);

    m_strLogFilePath = base + "KvConfigService\\KvConfigService.log";
    m_strPackageFilePath = base + "Firmware\\KavrConfigFiles.flz";
    m_strUnzipFolderPath = base + "KvConfigService\\KavrConfigFiles\\";
    m_strRegionMappingTablePath = base + "KvConfigService\\RegionMappingTable.xml";
    m_strDeviceModeMappingTablePath = base + "KvConfigService\\DeviceModeToScenarioIndexMappingTable.xml";
    m_strIniFilePath = base + "KvConfigService\\kvwwanConfig.ini";
    m_strDeviceIdImageMappingTablePath = base + "FwSwitchBin\\SarAntData\\WwanDeviceIdImageMappingTable.xml";
    m_strScatterFilePath = base + "FwSwitchBin\\FlashData\\scatter.xml";
    m_strOldServiceExePath = base + "KvConfigService\\KvWwanConfigService.exe";
    return 1;
}

int CStateWork::InitLog() {
    CLog* log = CLog::GetInstance();
    log->SetPathAndRotate(m_strLogFilePath);
    log->Enable(true);
    return log->WriteLog(4, m_strLogFilePath);
}

int CStateWork::InitWork() {
    m_strSensor1.clear();
    m_strSensor2.clear();
    m_strSensor3.clear();
    m_strDeviceMode.clear();
    m_hThread = nullptr;

    HKEY key = nullptr;
    m_hControlKey = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kControlKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS ? key : nullptr;

    m_hEvents[REG_CHANGE] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!m_hEvents[REG_CHANGE]) {
        Log(1, "[Fail][CStateWork::InitWork] Create REG_CHANGE Event Fail.");
        return 0;
    }
    ArmRegChange();

    m_hEvents[SIM_CHANGE] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!m_hEvents[SIM_CHANGE]) Log(1, "[Fail][CStateWork::InitWork] Create SIM_CHANGE Event Fail.");

    m_hEvents[STOP_EVENT] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!m_hEvents[STOP_EVENT]) {
        Log(1, "[Fail][CStateWork::InitWork] Create STOP_EVENT Event Fail.");
        return 0;
    }
    return 1;
}

void CStateWork::ArmRegChange() {
    const LSTATUS status = m_hControlKey ? RegNotifyChangeKeyValue(m_hControlKey, TRUE, REG_NOTIFY_CHANGE_LAST_SET,
                                                                   m_hEvents[REG_CHANGE], TRUE)
                                         : ERROR_FILE_NOT_FOUND;
    m_bArmAgain = false;
    if (status == ERROR_SUCCESS) {
        m_bControlKeyWatched = true;
        return;
    }
    if (m_hControlKey && status != ERROR_KEY_DELETED) {
        // The key is still held: the next wake-up arms it again, with no switch to run.
        m_bControlKeyWatched = true;
        m_bArmAgain = true;
        return;
    }
    // A deleted key stays deleted for the handle held on it: a key created again under the name would
    // never be watched, and every later posture change would go unseen.
    if (m_bControlKeyWatched) Log(1, "[Fail][CStateWork::ArmRegChange] Control key lost, watching for its return.");
    m_bControlKeyWatched = false;
    ReopenControlKey();
}

void CStateWork::ReopenControlKey() {
    if (m_hControlKey) {
        RegCloseKey(m_hControlKey);
        m_hControlKey = nullptr;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kControlKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    m_hControlKey = key;
    m_bControlKeyWatched = true;
    Log(4, "[Infomation][CStateWork::ReopenControlKey] Control key watched again.");
    // The next pass arms the notification on the key and applies the values written while
    // nothing watched it.
    SetEvent(m_hEvents[REG_CHANGE]);
}

HANDLE CStateWork::StartThread() {
    m_hThread = CreateThread(nullptr, 0, &CStateWork::TheadWork, this, 0, nullptr);
    return m_hThread;
}

void CStateWork::StopThread() {
    SetEvent(m_hEvents[STOP_EVENT]);
    WaitForSingleObject(m_hThread, INFINITE);
}

DWORD CStateWork::TheadWork(LPVOID parameter) {
    Log(4, "[Infomation][CStateWork::TheadWork] Enter TheadWork.");
    static_cast<CStateWork*>(parameter)->Work();
    return 1;
}

void CStateWork::Work() {
    WinExec(kRecoveryCommand, SW_HIDE);
    Log(4, "[Info]Config service Properties->recovery");

    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        Log(1, "CoInitializeEx error");
    else
        Log(4, "CoInitializeEx done");

    GetSimInfo();
    Log(4, "\n\n--------Start service-------------------\n");

    std::string providerId;
    {
        std::lock_guard<std::mutex> lock(m_providerLock);
        providerId = m_strProviderID;
    }
    SetSimChangeEvent(providerId, "");

    CXmlTableReader reader;
    DWORD newPackageFlag = 0;
    if (reader.GetRegKeyValue(kControlKey, "NewPackageFlag", newPackageFlag) != 0) {
        Log(1, "get NewPackageFlag error!");
    } else {
        Log(4, std::to_string(newPackageFlag));
        if (newPackageFlag == 1) {
            if (UnZipPackage(m_strUnzipFolderPath, m_strPackageFilePath)) {
                Log(4, "unzip KavrConfigFiles.flz success");
                reader.SetRegKeyValue(kControlKey, "NewPackageFlag", 0, REG_DWORD);
            } else {
                Log(4, "unzip KavrConfigFiles.flz failed");
            }
        } else if (newPackageFlag == 0) {
            Log(4, "Do not need to unzip anymore");
        }
    }

    // Wait only on the events that exist: an empty handle would fail every wait, and the loop
    // would spin without ever seeing STOP_EVENT.
    HANDLE handles[3];
    int eventOf[3];
    DWORD count = 0;
    for (int i = REG_CHANGE; i <= STOP_EVENT; ++i) {
        if (m_hEvents[i]) {
            handles[count] = m_hEvents[i];
            eventOf[count] = i;
            ++count;
        }
    }
    if (count == 0) return;

    int wakeUps = 0;
    for (;;) {
        DWORD result = WaitForMultipleObjects(count, handles, FALSE, kWaitMs);
        int event = result < WAIT_OBJECT_0 + count ? eventOf[result - WAIT_OBJECT_0] : -1;

        if (++wakeUps >= kWakeUpsPerLogReopen) {
            Log(4, "Set SetLogPath-----");
            wakeUps = 0;
            CLog::GetInstance()->Reopen(m_strLogFilePath);
        }

        // Until the control key is back, every wake-up looks for it; a refused arming is tried
        // again here, or below for a change of the key.
        if (!m_bControlKeyWatched)
            ReopenControlKey();
        else if (m_bArmAgain && event != REG_CHANGE)
            ArmRegChange();

        int customizationSolutionType =
            static_cast<int>(GetPrivateProfileIntA("Setting", "CustomizationSolutionType", 1, m_strIniFilePath.c_str()));
        int sarDownloadType =
            static_cast<int>(GetPrivateProfileIntA("Setting", "SarDownloadType", 1, m_strIniFilePath.c_str()));

        if (event == REG_CHANGE) {
            Log(4, "\n\n------------------------[CStateWork::Work] Enter register event-------------------\n");
            // Armed before Config, so a value written while Config runs is not lost.
            ArmRegChange();
            Config(customizationSolutionType, sarDownloadType, false);
            ServiceCheckAndDelete();
        } else if (event == SIM_CHANGE) {
            Log(4, "\n\n------------------------[[CStateWork::Work] Enter Sim event--------------------\n");
            std::string mcc;
            {
                std::lock_guard<std::mutex> lock(m_providerLock);
                mcc = m_strProviderID.substr(0, 3);
            }
            Log(4, "mcc:" + mcc);
            reader.getRegulatoryByMcc(m_strRegionMappingTablePath, mcc, m_strRegion);
            for (char& c : m_strRegion) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (customizationSolutionType == 2) {
                if (m_strRegion == "FCC")
                    SetRegionByIOControl(1);
                else if (m_strRegion == "CE")
                    SetRegionByIOControl(2);
                else if (m_strRegion == "ISED")
                    SetRegionByIOControl(3);
            } else if (customizationSolutionType == 3) {
                Config(3, sarDownloadType, true);
            }
            ServiceCheckAndDelete();
        } else if (event == STOP_EVENT) {
            break;
        }
    }
    Log(4, "[Infomation][CStateWork::Work] Triger Service Stop Event.\n");
}

bool CStateWork::GetSimInfo() {
    CMbnLastInterface last("[Fail][CStateWork::GetSimInfo] CoInitializeEx Fail.");
    if (last.ManagerMissing()) return false;
    IMbnInterface* mbnInterface = last.Get();
    if (!mbnInterface) return true;

    IMbnSubscriberInformation* subscriber = nullptr;
    if (SUCCEEDED(mbnInterface->GetSubscriberInformation(&subscriber)) && subscriber) {
        BSTR iccid = nullptr;
        if (SUCCEEDED(subscriber->get_SimIccID(&iccid))) {
            std::string text = NarrowText(iccid);
            std::lock_guard<std::mutex> lock(m_providerLock);
            m_strIccID = text;
        }
        SysFreeString(iccid);
        subscriber->Release();
    }

    last.LogHomeProvider("[CStateWork::GetSimInfo] GetHomeProvider mccmnc: ");

    IMbnRegistration* registration = nullptr;
    if (FAILED(mbnInterface->QueryInterface(IID_IMbnRegistration, reinterpret_cast<void**>(&registration)))) {
        Log(1, "[error][CStateWork::GetSimInfo] QueryInterface Fail.");
    } else if (!registration) {
        Log(1, "RegisterInterface is null");
    } else {
        BSTR providerId = nullptr;
        if (FAILED(registration->GetProviderID(&providerId))) {
            Log(1, "[error][CStateWork::GetSimInfo] GetProviderID Fail.");
        } else {
            std::string text = NarrowText(providerId);
            {
                std::lock_guard<std::mutex> lock(m_providerLock);
                m_strProviderID = text;
            }
            Log(4, "[CStateWork::GetSimInfo] GetProviderID mccmnc: " + text);
        }
        SysFreeString(providerId);
        registration->Release();
    }
    return true;
}

void CStateWork::SetSimChangeEvent(std::string providerId, std::string iccid) {
    {
        std::lock_guard<std::mutex> lock(m_providerLock);
        m_carrierInfo[0].strMccMnc = providerId;
        m_carrierInfo[0].strIccid = iccid;
        m_strProviderID = providerId;
        m_strIccID = iccid;
    }
    Log(4, "SetSimChangeEvent mccmnc:: " + providerId);
    SetEvent(m_hEvents[SIM_CHANGE]);
}
