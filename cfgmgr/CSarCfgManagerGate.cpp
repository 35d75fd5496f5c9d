// The gate: is this notebook listed, by board product or by WWAN device
// configuration ID, and which MCC (if any) selects its table files.
#include "cfgmgr/CSarCfgManager.h"

#include "common/CLog.h"
#include "common/WideText.h"
#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "modem/CAtText.h"
#include "platform/com.h"
#include "platform/mbn.h"
#include "platform/sync.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

const int kConfigIdAttempts = 240;
const DWORD kConfigIdRetryMs = 1000;

// Why a gate said no, for whoever reads the log (kvsim flash warns with it):
// which product, which lists of which file, or the missing provider.
void LogNotConfigured(const std::string& what, const std::string& id, const char* netKey, const char* baseKey,
                      const std::string& srvConfig, bool netListed) {
    const std::string named = what + " \"" + CAtText::Printable(id) + "\" is listed ";
    Log(4, CSarCfgManager::kNotConfigured +
               (netListed ? named + "in [GENERAL] \"" + netKey + "\" of " + srvConfig +
                                ", but the modem reports no provider ID"
                          : named + "in neither [GENERAL] \"" + netKey + "\" nor \"" + baseKey + "\" of " + srvConfig));
}

}  // namespace

CSarCfgManager::CSarCfgManager() {}

CSarCfgManager::~CSarCfgManager() {}

bool CSarCfgManager::IsListed(const std::string& list, const std::string& text) {
    if (text.empty()) return false;
    return CAtText::Upper(list).find(CAtText::Upper(text)) != std::string::npos;
}

bool CSarCfgManager::IsPairListed(const std::string& list, const std::string& first, const std::string& mcc) {
    if (first.empty() || mcc.empty()) return false;
    return IsListed(list, first + "_" + mcc);
}

bool CSarCfgManager::CfgEnable(std::string mcc) {
    Log(4, "CfgEnable start");
    m_strMcc.clear();
    m_strBoardProduct.clear();
    CConfigPath configPath;

    std::string valueName = "BaseBoardProduct";
    std::string board;
    CSysHelper().GetBoardProduct(valueName, board);
    Log(4, "strBaseBoadProductID:" + board);
    const std::string srvConfig = configPath.GetConfigPath();
    std::string netList = GetSrvConfigValue(srvConfig, kNetBoardProduct);
    Log(4, "strCfgNetBoadProductID:" + netList);
    board = CAtText::Upper(board);

    bool decision = false;
    const bool netListed = IsListed(netList, board);
    if (netListed) {
        std::string providerId;
        GetProviderId(providerId);
        std::string netMccList = GetSrvConfigValue(srvConfig, kNetMccId);
        // The provider ID only proves that the modem is on a network; the
        // caller's MCC is the one used.
        if (!providerId.empty()) {
            m_strMcc = mcc;
            m_strNetMcc = mcc;
            m_strBoardProduct = board;
            if (!IsPairListed(netMccList, m_strBoardProduct, m_strMcc)) m_strMcc.clear();
            decision = true;
        }
    } else if (IsListed(GetSrvConfigValue(srvConfig, kBaseBoardProduct), board)) {
        m_strMcc.clear();
        m_strBoardProduct = board;
        decision = true;
    }
    if (!decision) LogNotConfigured("board product", board, kNetBoardProduct, kBaseBoardProduct, srvConfig, netListed);

    m_bCfgEnable = decision;
    Log(4, "CfgEnable end");
    return decision;
}

bool CSarCfgManager::CfgEnableQ520Norvale(std::string mcc) {
    Log(4, "CfgEnableQ520Norvale enter");
    m_strMcc.clear();
    m_StrWwanDeviceConfigInfo.clear();
    CConfigPath configPath;

    std::string configId;
    bool found = false;
    CSysHelper helper;
    for (int attempt = 0; attempt < kConfigIdAttempts; ++attempt) {
        if (helper.GetWwanDeviceConfigId(configId) == 0 && !configId.empty()) {
            found = true;
            break;
        }
        Sleep(kConfigIdRetryMs);
    }
    if (!found) {
        Log(1, "GetWWANDeviceConfigID failed");
        return false;
    }
    Log(4, configId);

    std::string srvConfig = configPath.GetConfigPath();
    std::string netIdList = GetSrvConfigValue(srvConfig, kNetWwanDeviceConfigID);
    configId = CAtText::Upper(configId);

    bool decision = false;
    const bool netListed = IsListed(netIdList, configId);
    if (netListed) {
        std::string providerId;
        GetProviderId(providerId);
        std::string netMccList = GetSrvConfigValue(srvConfig, kNetMccId);
        if (!providerId.empty()) {
            m_strMcc = mcc;
            Log(4, "Mcc:" + mcc);
            m_StrWwanDeviceConfigInfo = configId;
            Log(4, "m_StrWwanDeviceConfigInfo:" + m_StrWwanDeviceConfigInfo);
            if (!IsPairListed(netMccList, m_StrWwanDeviceConfigInfo, m_strMcc)) m_strMcc.clear();
            decision = true;
        }
    } else if (IsListed(GetSrvConfigValue(srvConfig, kBaseWwanDeviceConfigID), configId)) {
        m_strMcc.clear();
        m_StrWwanDeviceConfigInfo = configId;
        decision = true;
    }
    if (!decision) {
        LogNotConfigured("WWAN device configuration ID", configId, kNetWwanDeviceConfigID, kBaseWwanDeviceConfigID,
                         srvConfig, netListed);
    }

    m_bCfgEnable = decision;
    Log(4, "CfgEnableQ520Norvale end");
    return decision;
}

int CSarCfgManager::GetProviderId(std::string& providerId) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(init)) return 1;

    IMbnInterfaceManager* manager = nullptr;
    SAFEARRAY* interfaces = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager,
                                   reinterpret_cast<void**>(&manager))) &&
        manager && SUCCEEDED(manager->GetInterfaces(&interfaces)) && interfaces) {
        LONG lower = 0;
        LONG upper = -1;
        SafeArrayGetLBound(interfaces, 1, &lower);
        SafeArrayGetUBound(interfaces, 1, &upper);
        // The last interface that answers wins.
        for (LONG i = lower; i <= upper; ++i) {
            IUnknown* element = nullptr;
            if (FAILED(SafeArrayGetElement(interfaces, &i, &element)) || !element) break;
            IMbnRegistration* registration = nullptr;
            HRESULT hr = element->QueryInterface(IID_IMbnRegistration, reinterpret_cast<void**>(&registration));
            element->Release();
            if (FAILED(hr) || !registration) break;
            BSTR id = nullptr;
            hr = registration->GetProviderID(&id);
            if (SUCCEEDED(hr)) providerId = NarrowText(id);
            SysFreeString(id);
            registration->Release();
            if (FAILED(hr)) break;
        }
    }
    if (interfaces) SafeArrayDestroy(interfaces);
    if (manager) manager->Release();
    CoUninitialize();
    return 1;
}
