// The host on a real Windows (or Wine): a fresh folder under the temporary
// folder and a fresh key under HKEY_CURRENT_USER\Software, both removed
// afterwards, read-only files included.
#include "tests/conformance/host.h"

#include <atomic>

namespace conformance {

namespace {

std::atomic<unsigned> g_serial{0};

std::string UniqueName() {
    return "KvConformance-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_serial);
}

void RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

void RemoveKey(HKEY root, const std::string& path, REGSAM view) {
    const std::size_t split = path.rfind('\\');
    const std::string parent = path.substr(0, split);
    const std::string name = path.substr(split + 1);
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, parent.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeA(key, name.c_str());
    RegDeleteKeyExA(key, name.c_str(), view, 0);
    RegCloseKey(key);
}

bool CanWriteMachineSoftware() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_CREATE_SUB_KEY, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

struct CHost::CState {};

CHost::CHost() {
    const std::string name = UniqueName();
    char temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof temp, temp);
    std::string base(temp, length);
    if (!base.empty() && base.back() == '\\') base.pop_back();
    m_folder = base + "\\" + name;
    CreateDirectoryA(m_folder.c_str(), nullptr);

    m_root = HKEY_CURRENT_USER;
    m_key = "Software\\" + name;
    HKEY key = nullptr;
    if (RegCreateKeyExA(m_root, m_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
    if (CanWriteMachineSoftware()) m_machineKey = "SOFTWARE\\" + name;

    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    m_wine = ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

CHost::~CHost() {
    RemoveFolder(m_folder);
    RemoveKey(m_root, m_key, 0);
    if (!m_machineKey.empty()) {
        RemoveKey(HKEY_LOCAL_MACHINE, m_machineKey, KEY_WOW64_64KEY);
        RemoveKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\" + m_machineKey.substr(m_machineKey.find('\\') + 1),
                  KEY_WOW64_64KEY);
    }
}

}  // namespace conformance
