// The table-writing entry: the configuration manager's run for the project type.
#include "cfgmgr/CSarCfgManager.h"
#include "common/CLog.h"
#include "core/CStateWork.h"
#include "platform/profile.h"

void CStateWork::FlashSarByATSend() {
    CLog::GetInstance()->WriteLog(4, "FlashSarByATSend enter");
    CSarCfgManager manager;
    std::string mcc = GetMcc();
    int projectType = static_cast<int>(GetPrivateProfileIntA("Setting", "ProjectType", 0, m_strIniFilePath.c_str()));
    if (projectType == 1)
        manager.DoGetCfgInfoQ520RNorvale(mcc);
    else if (projectType == 2)
        manager.DoGetCfgInfoQ520RNV(mcc);
    else if (projectType == 3)
        manager.DoGetCfgInfoQ520(mcc);
    CLog::GetInstance()->WriteLog(4, "FlashSarByATSend end");
}
