// Placeholder until the log writer lands: every line is dropped.
#include "common/CLog.h"

CLog::CLog() {}

CLog* CLog::GetInstance() {
    static CLog* instance = new CLog();
    return instance;
}

void CLog::SetPathAndRotate(std::string path) { m_strPath = std::move(path); }
void CLog::Enable(bool flag) { m_enabled = flag; }
void CLog::Open() {}
int CLog::WriteLog(int, const std::string&) { return 0; }
void CLog::Close() {}
bool CLog::FileExists(const std::string&) { return false; }
void CLog::SetLevelDefault() { m_level = 4; }
