// The index switch: the SAR table index and the antenna-tuner profile for the notebook's posture.
#include <climits>
#include <cstdlib>

#include "common/CLog.h"
#include "common/TextHelpers.h"
#include "config/CXmlTableReader.h"
#include "core/CStateWork.h"
#include "platform/profile.h"

namespace {

const char kControlKey[] = "SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

bool HasZero(const std::string& reply) { return reply.find('0') != std::string::npos; }

// The index text of the device-mode table as a number; what is not a number counts as 0.
int IndexFromText(const std::string& text) {
    long long value = 0;
    ParseNumber(text, {}, value);
    return static_cast<int>(value);
}

struct SarBranch {
    const char* announce;
    const char* enableQuery;
    const char* enableFailed;
    const char* disabled;
    const char* enabled;
    const char* modeQuery;
    const char* modeFailed;
    const char* hardwareMode;
    const char* softwareMode;
    const char* indexCommand;
    const char* sent;
    const char* notSent;
    const char* sensorLabels[3];
};

const SarBranch kBodySar = {
    "SARType = 1 (Support BodySar),check if BodySar enable",
    "AT+bodysaren?",
    "Query BodySar enable/disable get fail!",
    "BodySar disable!Stop config SarIndex!",
    "BodySar enable!Start to config SarIndex!",
    "AT+BODYSARMODE?",
    "Query BodySar HW/SW mode get fail!",
    "BodySar HW mode!Stop config SarIndex!",
    "BodySar SW mode!Start to config SarIndex!",
    "at+bodysaron=1,",
    "Bodysar Index set success!",
    "Bodysar Index set fail!",
    {"Sensor1:", "Sensor2:", "Sensor3:"},
};

const SarBranch kTaSar = {
    "SARType = 2 (Support TaSar),check if TaSar enable",
    "AT+gttasen?",
    "Query TASar enable/disable get fail!",
    "TaSar disable!Stop config SarIndex!",
    "TaSar enable!Start to config SarIndex!",
    "AT+gttasmode?",
    "Query TASar HW/SW mode get fail!",
    "TASar HW mode!Stop config SarIndex!",
    "TASar SW mode!Start to config SarIndex!",
    "AT+GTTASTRIGIDX=",
    "TASar Index set success!",
    "TASar Index set fail!",
    {"dwSensor1:", "dwSensor2:", "dwSensor3:"},
};

}  // namespace

void CStateWork::Config(int customizationSolutionType, int sarDownloadType, bool fromRegistration) {
    Log(4, "Config enter.");
    if (fromRegistration) {
        if (sarDownloadType == 2)
            Log(4, "FlashSarByATSend");
        else if (sarDownloadType == 1)
            Log(4, "FlashSarByImage");
    }

    int sarType = static_cast<int>(GetPrivateProfileIntA("Setting", "SarType", 0, m_strIniFilePath.c_str()));
    SARTableIndexSwitch(sarType, customizationSolutionType);

    int antTurner = static_cast<int>(GetPrivateProfileIntA("Setting", "AntTurner", 0, m_strIniFilePath.c_str()));
    if (antTurner == 0) {
        Log(4, "AntTurner=Disable,stop config AntTurnerMapTable!");
        return;
    }

    std::string reply;
    if (!ExecuteCmd("AT+GTANTTUNINGEN?", reply)) {
        Log(1, "Query AntTuner enable/disable fail,stop config AntTurnerMapTable!");
    } else if (HasZero(reply)) {
        Log(4, "AntTunerTable disable,stop config AntTurnerMapTable!");
        return;
    }
    reply.clear();
    if (!ExecuteCmd("AT+GTANTCTRLMODE?", reply)) {
        Log(1, "Query AntTuner enable/disable fail,stop config AntTurnerMapTable!");
    } else if (HasZero(reply)) {
        Log(4, "AntTunerTable HW mode,stop config AntTurnerMapTable!");
        return;
    }
    Log(4, "AntTunerTable SW mode,start to config SarIndex");

    CXmlTableReader reader;
    DWORD deviceMode = 0;
    if (reader.GetRegKeyValue(kControlKey, "DeviceMode", deviceMode) != 0) {
        Log(1, "Get DeviceMode from register fail,stop config AntTurnerMapTable!");
    } else {
        m_strDeviceMode = std::to_string(deviceMode);
        Log(4, "DeviceMode:" + m_strDeviceMode);
        std::string index;
        if (!reader.GetIndexByAnt(m_strDeviceModeMappingTablePath, m_strDeviceMode, index)) {
            Log(1, "GetIndexByAnt fail!");
        } else {
            int antennaIndex = IndexFromText(index);
            Log(4, "AntTunerIndex:" + index);
            std::string answer;
            if (ExecuteCmd("AT+GTANTPROFILE=" + std::to_string(antennaIndex), answer))
                Log(4, "AntTunner index set success!");
            else
                Log(1, "AntTunner index set fail!");
        }
    }
    Log(4, "Config done.");
}

void CStateWork::SARTableIndexSwitch(int sarType, int customizationSolutionType) {
    Log(4, "SARTableIndexSwitch enter");
    if (sarType == 0) {
        Log(4, "SarType=Disable,stop config SarIndex!");
        return;
    }
    if (sarType != 1 && sarType != 2) return;
    const SarBranch& branch = sarType == 1 ? kBodySar : kTaSar;

    Log(4, branch.announce);
    std::string reply;
    if (!ExecuteCmd(branch.enableQuery, reply)) {
        Log(1, branch.enableFailed);
        return;
    }
    if (HasZero(reply)) {
        Log(4, branch.disabled);
        return;
    }
    Log(4, branch.enabled);

    reply.clear();
    if (!ExecuteCmd(branch.modeQuery, reply)) {
        Log(1, branch.modeFailed);
        return;
    }
    if (HasZero(reply)) {
        Log(4, branch.hardwareMode);
        return;
    }
    Log(4, branch.softwareMode);

    CXmlTableReader reader;
    int sarIndex = 0;
    if (customizationSolutionType == 2) {
        DWORD deviceMode = 0;
        if (reader.GetRegKeyValue(kControlKey, "DeviceMode", deviceMode) == 0)
            Log(4, "DeviceMode:" + std::to_string(deviceMode));
        DWORD value = 0;
        if (reader.GetRegKeyValue(kControlKey, "SARIndex", value) != 0) {
            Log(1, "SarIndex:error!");
            return;
        }
        Log(4, "SarIndex:" + std::to_string(value));
        sarIndex = static_cast<int>(value);
    } else if (customizationSolutionType == 3) {
        std::string configId;
        if (!reader.getWwanDeviceConfigID(m_strDeviceModeMappingTablePath, configId)) {
            Log(1, "Get WwanDeviceConfigID error");
            return;
        }
        Log(4, configId);
        struct {
            const char* name;
            std::string* stored;
            const char* label;
        } const reads[] = {
            {"Sensor1", &m_strSensor1, branch.sensorLabels[0]},
            {"Sensor2", &m_strSensor2, branch.sensorLabels[1]},
            {"Sensor3", &m_strSensor3, branch.sensorLabels[2]},
            {"DeviceMode", &m_strDeviceMode, "DeviceMode:"},
        };
        // A value that cannot be read keeps the last one read.
        for (const auto& read : reads) {
            DWORD value = 0;
            if (reader.GetRegKeyValue(kControlKey, read.name, value) != 0) continue;
            *read.stored = std::to_string(value);
            Log(4, read.label + *read.stored);
        }
        sarIndex = reader.GetSarIndexFromXml(m_strDeviceModeMappingTablePath, configId, m_strRegion, m_strSensor3,
                                             m_strDeviceMode, m_strSensor2, m_strSensor1);
        if (sarIndex == -1) {
            Log(1, "nSarIndex is null");
            return;
        }
    } else {
        return;
    }

    std::string answer;
    if (ExecuteCmd(branch.indexCommand + std::to_string(sarIndex), answer))
        Log(4, branch.sent);
    else
        Log(1, branch.notSent);
}
