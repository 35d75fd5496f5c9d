#include "common/CLog.h"

#include "common/ProcessSingleton.h"
#include "common/TextHelpers.h"
#include "platform/crt.h"
#include "platform/files.h"
#include "platform/sync.h"

namespace {

const char kStartLine[] = "---------------log start------------------\n";

// Holds the writer's lock event for one scope.
class CLockHold {
public:
    explicit CLockHold(HANDLE lock) : m_lock(lock) { WaitForSingleObject(m_lock, INFINITE); }
    ~CLockHold() { SetEvent(m_lock); }
    CLockHold(const CLockHold&) = delete;
    CLockHold& operator=(const CLockHold&) = delete;

private:
    HANDLE m_lock;
};

}  // namespace

CLog::CLog() { m_lock = CreateEventA(nullptr, FALSE, TRUE, nullptr); }

CLog* CLog::GetInstance() {
    // The stream is the host's: it is closed when the process ends, as Windows closes it.
    return CProcessSingletons::Get<CLog>([] { return new CLog(); },
                                         [](CLog* log) {
                                             if (log->m_file) std::fclose(log->m_file);
                                             log->m_file = nullptr;
                                         });
}

void CLog::SetPathAndRotate(std::string path) {
    // Other threads may be logging: the path and the move change under the lock.
    CLockHold hold(m_lock);
    SetPathLocked(std::move(path));
}

void CLog::Reopen(std::string path) {
    CLockHold hold(m_lock);
    CloseLocked();
    SetPathLocked(std::move(path));
}

void CLog::SetPathLocked(std::string path) {
    const bool ownFileOpen = m_file != nullptr && StrEqualNoCase(m_strPath, path);
    m_strPath = std::move(path);
    const std::string backup = m_strPath + "bk";

    long long size = 0;
    if (FileExists(m_strPath)) {
        if (std::FILE* file = _fsopen(m_strPath.c_str(), "r", _SH_DENYNO)) {
            if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
            std::fclose(file);
        }
    }
    // A file this writer holds open cannot be renamed; it goes on in place, and the backup,
    // which nothing would replace, stays.
    if (size > kRotateSize && !ownFileOpen) {
        if (FileExists(backup)) DeleteFileA(backup.c_str());
        MoveFileA(m_strPath.c_str(), backup.c_str());
    }
}

void CLog::Enable(bool flag) {
    CLockHold hold(m_lock);
    m_enabled = flag;
    if (!m_initialised) {
        m_level = 4;
        Open();
        m_initialised = true;
    }
}

void CLog::Open() {
    if (m_opened) return;
    for (std::size_t at = m_strPath.find('\\'); at != std::string::npos; at = m_strPath.find('\\', at + 1))
        _mkdir(m_strPath.substr(0, at).c_str());
    if (m_enabled && !m_file) m_file = _fsopen(m_strPath.c_str(), "a+", _SH_DENYNO);
    if (m_file) {
        std::fputs(kStartLine, m_file);
        std::fflush(m_file);
        m_opened = true;
    }
}

int CLog::WriteLog(int type, const std::string& message) {
    CLockHold hold(m_lock);
    if (!m_initialised) {
        m_level = 4;
        Open();
        m_initialised = true;
    }
    if (!m_file) return 0;

    const char* tag = type == 1 ? "[ERROR] " : type == 2 ? "[WARNING] " : "[DETAIL]";
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::fprintf(m_file, "%s %02d-%02d %02d:%02d:%02d:%03d: ", tag, now.wMonth, now.wDay, now.wHour, now.wMinute,
                 now.wSecond, now.wMilliseconds);
    const std::size_t written = std::fwrite(message.data(), 1, message.size(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
    return static_cast<int>(written);
}

void CLog::Close() {
    // Also without an open file: a failed opening must be tried again later.
    CLockHold hold(m_lock);
    CloseLocked();
}

void CLog::CloseLocked() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_initialised = false;
    m_opened = false;
}

bool CLog::FileExists(const std::string& path) { return _access(path.c_str(), 0) == 0; }

void CLog::SetLevelDefault() { m_level = 4; }
