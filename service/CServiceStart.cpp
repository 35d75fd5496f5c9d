#include "service/CServiceStart.h"

#include "common/CLog.h"
#include "core/CMbnMonitor.h"
#include "core/CStateWork.h"

namespace {
void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }
}  // namespace

bool CServiceStart::StartWork() {
    Log(4, "[Information][CServiceStart::StartWork] Service start, StartWork Enter  >> ");
    bool result = false;
    CStateWork* work = CStateWork::GetInstance();
    if (!work->InitWork()) {
        Log(1, "[Error][CServiceStart::StartWork] InitWork Fail.");
    } else if (!CMbnMonitor::GetInstance()->AttachStateMbnRegEvent()) {
        Log(1, "[Error][CServiceStart::StartWork] AttachStateMbnRegEvent Fail.");
    } else if (!work->StartThread()) {
        Log(1, "[Error][CServiceStart::StartWork] StartThread Fail.");
    } else {
        result = true;
    }
    Log(4, "[Information][CServiceStart::StartWork] StartWork Done.");
    return result;
}

void CServiceStart::StopWork() {
    CMbnMonitor::GetInstance()->DetachStateMbnRegEvent();
    CStateWork::GetInstance()->StopThread();
    Log(4, "[Infomation][CServiceStart::StopWork] Stop work success.\r\n\r\n");
}
