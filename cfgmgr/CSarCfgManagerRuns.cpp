// The table-writing runs, one per project type: the gate, the writers in
// their fixed order and, in the XML runs, the modem's table versions before
// and the delay and reset request after.
#include <algorithm>
#include <cstdint>

#include "antenna/CAntGpoIniCfg.h"
#include "antenna/CAntGpoXmlCfg.h"
#include "antenna/CAntMipiXmlCfg.h"
#include "cfgmgr/CSarCfgManager.h"
#include "common/CLog.h"
#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "modem/CAtCommandSequence.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "sar_dpr/CDprSarCfg_5201_MultiMode.h"
#include "sar_dpr/CDprSarCfg_5201_NonMultiMode.h"
#include "sar_dpr/CDprSarCfg_Q520.h"
#include "sar_tas/CTasSarCfg_CE.h"
#include "sar_tas/CTasSarCfg_FCC.h"
#include "sar_tas/CTasSarCfg_ISED.h"
#include "sar_tas/CTasSarCfg_Q520.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

const int kModuleAttempts = 240;
const DWORD kModuleRetryMs = 1000;
const char kModuleWaitFailedCommand[] = "sc failure KavrConfigSrv reset= 86400 actions= \"\"";
const char kResetEventName[] = "ResetMoudle";
const char kNoNeedLine[] = "GetCfgInfo no need set cfg info****";

// [BASE_CONFIG] "DELAY_SECONDS"; a negative value waits nothing.
int DelaySeconds() {
    return std::max(0, GetKavrConfigValue(CConfigPath::GetInstance()->GetKavrConfigPath(), kDELAY_SECONDS));
}

void SleepSeconds(int seconds) {
    // INFINITE is one above the longest finite sleep.
    std::int64_t ms = std::min<std::int64_t>(static_cast<std::int64_t>(seconds) * 1000, INFINITE - 1);
    Sleep(static_cast<DWORD>(ms));
}

std::string DelayLine(int seconds) {
    return "Delay " + std::to_string(seconds) + " seconds and then reboot modem...";
}

// The changed flags of an XML run, one per writer, all false before the
// first writer; logged together so that a reader of the log sees which
// writer changed the modem.
struct ChangedFlag {
    const char* writer;
    bool changed = false;
};

template <std::size_t N>
bool LogChanged(const ChangedFlag (&flags)[N]) {
    std::string line = "Changed flags:";
    bool any = false;
    for (const ChangedFlag& flag : flags) {
        line += std::string(" ") + flag.writer + "=" + (flag.changed ? "1" : "0");
        any = any || flag.changed;
    }
    Log(4, line);
    return any;
}

bool IsModuleId(int id) { return (id >= 0x21CB && id <= 0x21CE) || id == 0x1D88; }

}  // namespace

int CSarCfgManager::DoGetCfgInfoQ520(std::string mcc) { return CallGetCfgInfoQ520(mcc); }
int CSarCfgManager::DoGetCfgInfoQ520RNV(std::string mcc) { return CallGetCfgInfoQ520RNV(mcc); }
int CSarCfgManager::DoGetCfgInfoQ520RNorvale(std::string mcc) { return CallGetCfgInfoQ520RNorvale(mcc); }

int CSarCfgManager::CallGetCfgInfoQ520(std::string mcc) {
    GetCfgInfoQ520(mcc);
    return 0;
}
int CSarCfgManager::CallGetCfgInfoQ520RNV(std::string mcc) {
    GetCfgInfoQ520RNV(mcc);
    return 0;
}
int CSarCfgManager::CallGetCfgInfoQ520RNorvale(std::string mcc) {
    GetCfgInfoQ520RNorvale(mcc);
    return 0;
}

void CSarCfgManager::RunIniWriters() {
    {
        CDprSarCfg_Q520 writer(m_strMcc, m_strBoardProduct);
        writer.SetBodySar();
    }
    {
        CTasSarCfg_Q520 writer(m_strMcc, m_strBoardProduct);
        writer.SetTasSar();
    }
    {
        CAntGpoIniCfg writer(m_strMcc, m_strBoardProduct);
        writer.SetAntCfg();
    }
}

int CSarCfgManager::GetCfgInfoQ520(std::string mcc) {
    Log(4, "---------GetCfgInfoQ520 enter---------");
    if (!CfgEnable(mcc)) {
        Log(4, kNoNeedLine);
        return 0;
    }
    RunIniWriters();
    Log(4, "---------GetCfgInfoQ520 end---------");
    return 0;
}

int CSarCfgManager::GetCfgInfoQ520RNV(std::string mcc) {
    Log(4, "---------GetCfgInfoQ520RNV enter---------");
    if (!CfgEnable(mcc)) {
        Log(4, kNoNeedLine);
        return 0;
    }
    if (!IsBodySarEnabled()) {
        Log(4, "Current BodySAR has not enabled, need enabled it first.");
        int result = EnableBodySar();
        if (result != 0) {
            Log(4, "Set_BodySAR enable failed");
            return result;
        }
        if (!IsBodySarSoftMode()) {
            Log(4, "Current BodySAR mode is not soft mode,need set it.");
            result = SetBodySarSoftMode();
            if (result != 0) {
                Log(4, "Set_SoftMode SAR failed");
                return result;
            }
        }
    }

    if (GetKavrConfigValue(CConfigPath::GetInstance()->GetKavrConfigPath(), kMULTIMODE_FUNCTION) != 1) {
        RunIniWriters();
        Log(4, "---------GetCfgInfoQ520RNV end---------");
        return 0;
    }

    SarTableVersions versions;
    if (!QueryCurSarVersion(versions)) return 0;

    ChangedFlag changed[] = {{"CDprSarCfg_5201_MultiMode"}, {"CTasSarCfg_FCC"}, {"CTasSarCfg_CE"},
                             {"CTasSarCfg_ISED"},           {"CAntGpoXmlCfg"},  {"CAntMipiXmlCfg"}};
    // Each writer is built right after the previous one has returned.
    {
        CDprSarCfg_5201_MultiMode writer;
        writer.SetBodySarXml(m_strMcc, m_strNetMcc, m_strBoardProduct, versions.DprVer, &changed[0].changed);
    }
    {
        CTasSarCfg_FCC writer;
        writer.SetTasSarXml(m_strMcc, m_strNetMcc, m_strBoardProduct, versions.TasFccVer, &changed[1].changed);
    }
    {
        // The modem has no CE slot: the CE tables share the FCC version.
        CTasSarCfg_CE writer;
        writer.SetTasSarXml(m_strMcc, m_strNetMcc, m_strBoardProduct, versions.TasFccVer, &changed[2].changed);
    }
    {
        CTasSarCfg_ISED writer;
        writer.SetTasSarXml(m_strMcc, m_strBoardProduct, versions.TasIsedVer, &changed[3].changed);
    }
    {
        CAntGpoXmlCfg writer;
        writer.SetAntCfgXml(m_strMcc, m_strBoardProduct, versions.AntGpoVer, &changed[4].changed);
    }
    {
        CAntMipiXmlCfg writer;
        writer.SetAntCfgXml(m_strMcc, m_strBoardProduct, versions.AntMipiVer, &changed[5].changed);
    }
    bool anyChanged = LogChanged(changed);

    int delay = DelaySeconds();
    SleepSeconds(delay);
    Log(4, DelayLine(delay));
    if (anyChanged) ResetMoudleEvent();
    return 0;
}

int CSarCfgManager::GetCfgInfoQ520RNorvale(std::string mcc) {
    Log(4, "---------GetCfgInfoQ520RNorvale enter---------");
    bool moduleFound = false;
    CSysHelper helper;
    for (int attempt = 0; attempt < kModuleAttempts; ++attempt) {
        if (IsModuleId(helper.GetModuleId())) {
            Log(4, "Device exist");
            moduleFound = true;
            break;
        }
        Sleep(kModuleRetryMs);
    }
    if (!moduleFound) {
        Log(1, "Cannot find Q520 R+ Norvale device.");
        WinExec(kModuleWaitFailedCommand, SW_HIDE);
    }

    if (!CfgEnableQ520Norvale(mcc)) {
        Log(4, kNoNeedLine);
        return 0;
    }

    SarTableVersions versions;
    if (QueryCurSarVersion(versions)) {
        ChangedFlag changed[] = {{"CDprSarCfg_5201_NonMultiMode"}};
        CDprSarCfg_5201_NonMultiMode writer;
        writer.SetBodySarXml(m_strMcc, m_StrWwanDeviceConfigInfo, versions.DprVer, &changed[0].changed);
        bool anyChanged = LogChanged(changed);

        int delay = DelaySeconds();
        Log(4, DelayLine(delay));
        SleepSeconds(delay);
        if (anyChanged) ResetMoudleEvent();
    }
    Log(4, "---------GetCfgInfoQ520RNorvale end---------");
    return 0;
}

bool CSarCfgManager::IsBodySarEnabled() {
    std::string reply;
    if (CAtCommandSequence::SendOne("AT+BODYSAREN?\r\n", reply) != 0) {
        Log(1, "Send AT+BODYSAREN? failed");
        return false;
    }
    return reply.find('1') != std::string::npos;
}

bool CSarCfgManager::IsBodySarSoftMode() {
    std::string reply;
    if (CAtCommandSequence::SendOne("AT+BODYSARMODE?\r\n", reply) != 0) return false;
    return reply.find('1') != std::string::npos;
}

int CSarCfgManager::EnableBodySar() {
    std::string reply;
    return CAtCommandSequence::SendOne("AT+BODYSAREN=1\r\n", reply);
}

int CSarCfgManager::SetBodySarSoftMode() {
    std::string reply;
    return CAtCommandSequence::SendOne("AT+BODYSARMODE=1\r\n", reply);
}

bool CSarCfgManager::QueryCurSarVersion(SarTableVersions& versions) {
    Log(4, "QueryCurSarVersion enter");
    versions = SarTableVersions();
    std::string reply;
    if (CAtCommandSequence::SendOne("AT+GETOEMTABLEVER?\r\n", reply) != 0) {
        Log(1, "QueryBodySarVersion fail.");
        return false;
    }
    versions.Parse(reply);
    Log(4, "QueryCurSarVersion end");
    return true;
}

void CSarCfgManager::ResetMoudleEvent() {
    Log(4, "ResetMoudleEvent start");
    HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, kResetEventName);
    if (event) {
        SetEvent(event);
        CloseHandle(event);
    } else {
        // Whoever resets the modem is not there: the new tables wait for the next modem start.
        Log(1, "Open ResetMoudle event failed, error " + std::to_string(GetLastError()) +
                   ": the modem is not reset");
    }
    Log(4, "ResetMoudleEvent end");
}

bool CSarCfgManager::CallSetWwanConfigID() {
    std::string module(260, '\0');
    DWORD length = GetModuleFileNameA(nullptr, module.data(), static_cast<DWORD>(module.size()));
    module.resize(std::min<std::size_t>(length, module.size()));
    // The parent folder of the executable's folder.
    std::size_t last = module.rfind('\\');
    std::size_t parent = last == std::string::npos || last == 0 ? std::string::npos : module.rfind('\\', last - 1);
    if (parent == std::string::npos) return false;
    std::string path = module.substr(0, parent) + "\\FwSwitchbin\\WWANFirmwareFlash.dll";
    if (path.size() > 259) return false;

    HMODULE library = LoadLibraryA(path.c_str());
    if (!library) return false;
    FARPROC setWwanConfigId = GetProcAddress(library, "SetWwanConfigID");
    if (!setWwanConfigId) return false;
    return setWwanConfigId() != 0;
}
