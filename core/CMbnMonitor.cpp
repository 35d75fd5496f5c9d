// Placeholder until registration monitoring lands: attach and detach log their entry only.
#include "core/CMbnMonitor.h"

#include "common/CLog.h"

CMbnMonitor* CMbnMonitor::GetInstance() {
    static CMbnMonitor* instance = new CMbnMonitor();
    return instance;
}

int CMbnMonitor::AttachStateMbnRegEvent() {
    CLog::GetInstance()->WriteLog(4, "[CMbnMonitor::AttachStateMbnRegEvent] enter.");
    return m_bFailAttach ? 0 : 1;
}

void CMbnMonitor::DetachStateMbnRegEvent() {
    CLog::GetInstance()->WriteLog(4, "[CMbnMonitor::DetachStateMbnRegEvent] enter.");
}
