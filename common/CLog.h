// The process-wide log writer.
#pragma once

#include <cstdio>
#include <string>

#include "platform/types.h"

class CLog {
public:
    static CLog* GetInstance();

    void SetPathAndRotate(std::string path);
    void Enable(bool flag);
    void Open();
    // Returns the number of message characters written, 0 when no file is open.
    int WriteLog(int type, const std::string& message);
    void Close();
    static bool FileExists(const std::string& path);
    void SetLevelDefault();

private:
    CLog();

    std::string m_strPath;
    std::FILE* m_file = nullptr;
    int m_level = 4;
    bool m_initialised = false;
    bool m_opened = false;
    HANDLE m_lock = nullptr;
    bool m_enabled = false;
};
