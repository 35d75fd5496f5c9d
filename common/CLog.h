// The process-wide log writer.
#pragma once

#include <cstdio>
#include <string>

#include "platform/types.h"

class CLog {
public:
    static CLog* GetInstance();

    // Sets the path and moves a file grown past the limit to its "bk" backup.
    void SetPathAndRotate(std::string path);
    void Enable(bool flag);
    void Open();
    // Returns the number of message characters written, 0 when no file is open.
    int WriteLog(int type, const std::string& message);
    void Close();
    // Close followed by SetPathAndRotate as one step under the lock, so no line logged
    // meanwhile can open the file between the two and keep it from its backup.
    void Reopen(std::string path);
    static bool FileExists(const std::string& path);
    void SetLevelDefault();

    // A file larger than this is moved to the backup when the path is set.
    static constexpr long long kRotateSize = 0x31FFFFF;

private:
    CLog();
    void CloseLocked();
    void SetPathLocked(std::string path);

    std::string m_strPath;
    std::FILE* m_file = nullptr;
    int m_level = 4;
    bool m_initialised = false;
    bool m_opened = false;
    HANDLE m_lock = nullptr;
    bool m_enabled = false;
};
