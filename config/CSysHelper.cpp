#include "config/CSysHelper.h"

#include <algorithm>
#include <vector>

#include "config/CConfigPath.h"
#include "config/CGlobalFunc.h"
#include "modem/CAtText.h"
#include "platform/fileinfo.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/sync.h"
#include "platform/system.h"

namespace {

const char kDefaultBoardKey[] = "SYSTEM\\HardwareConfig\\Current";
const char kDefaultBoardValue[] = "BaseBoardProduct";
const char kBiosKey[] = "HARDWARE\\DESCRIPTION\\System\\BIOS";
const char kFwFlashKey[] = "SOFTWARE\\WOW6432Node\\Razav\\FwFlashService";
const char kWwanDeviceConfigIdValue[] = "WwanDeviceConfigurationID";
const char kServiceParentKey[] = "SYSTEM\\CurrentControlSet\\Control\\Kavrion";
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv";
const FILEOP_FLAGS kQuietFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
const unsigned long long kLogSizeLimit = 0xA00000;

enum class RegText { Read, Failed, OtherType };

// One value read into the 125-byte buffer: the text up to its first zero
// within the bytes returned. A text that does not fit 124 characters is a
// failed read, never a longer one.
RegText ReadRegText(const char* keyPath, const std::string& valueName, std::string& text) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return RegText::Failed;
    char buffer[CSysHelper::kRegTextSize] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    LSTATUS status = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return RegText::Failed;
    if (type != REG_SZ) return RegText::OtherType;
    const char* end = buffer + (size < sizeof buffer ? size : sizeof buffer);
    const char* zero = std::find(static_cast<const char*>(buffer), end, '\0');
    if (zero == buffer + sizeof buffer) return RegText::Failed;
    text.assign(static_cast<const char*>(buffer), zero);
    return RegText::Read;
}

std::string TrimBlanks(const std::string& text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Opens the key for writing, creating it when it cannot be opened.
HKEY OpenOrCreateKey(const char* keyPath) {
    HKEY key = nullptr;
    const REGSAM access = KEY_READ | KEY_WOW64_32KEY | KEY_CREATE_SUB_KEY | KEY_SET_VALUE;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, access, &key) == ERROR_SUCCESS) return key;
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &created, nullptr) != ERROR_SUCCESS)
        return nullptr;
    RegCloseKey(created);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, access, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

bool KavrConfigFlag(const char* key) {
    std::string folder;
    CGlobalFunc().GetModuleDir(folder);
    const std::string path = folder + "kvconfig.ini";
    return PathFileExistsA(path.c_str()) && GetKavrConfigValue(path, key) == 1;
}

// A zero-terminated name list of one name for the shell's file operation.
std::vector<char> NameList(const std::string& name) {
    std::vector<char> list(name.begin(), name.end());
    list.push_back('\0');
    list.push_back('\0');
    return list;
}

int ShellOperation(UINT function, const std::string& from, const std::string& to = {}) {
    std::vector<char> source = NameList(from);
    std::vector<char> target = NameList(to);
    SHFILEOPSTRUCTA operation{};
    operation.wFunc = function;
    operation.pFrom = source.data();
    operation.pTo = function == FO_RENAME ? target.data() : nullptr;
    operation.fFlags = kQuietFlags;
    return SHFileOperationA(&operation);
}

bool LargerThanLogLimit(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    CloseHandle(file);
    if (low == INVALID_FILE_SIZE && high == 0) return false;
    const unsigned long long size = (static_cast<unsigned long long>(high) << 32) | low;
    return size > kLogSizeLimit;
}

}  // namespace

int CSysHelper::GetBoardIdRegPath(std::string& valueName, std::string& keyPath) {
    CConfigPath paths;
    std::string configured = GetSrvConfigValue(paths.GetConfigPath(), kBOARDIDPATH);
    if (configured.empty()) {
        keyPath = kDefaultBoardKey;
        valueName = kDefaultBoardValue;
        return 1;
    }
    configured = CAtText::Upper(configured);
    std::size_t slash = configured.rfind('\\');
    if (slash == std::string::npos) {
        keyPath = valueName = configured;
    } else {
        keyPath = configured.substr(0, slash);
        valueName = configured.substr(slash + 1);
    }
    return 1;
}

int CSysHelper::GetBoardProduct(std::string& valueName, std::string& boardProduct) {
    std::string keyPath;
    GetBoardIdRegPath(valueName, keyPath);
    std::string text;
    switch (ReadRegText(keyPath.c_str(), valueName, text)) {
        case RegText::Read:
            boardProduct = TrimBlanks(text);
            return 0;
        case RegText::OtherType:
            return 1;
        case RegText::Failed:
            break;
    }
    boardProduct.clear();
    return 1;
}

int CSysHelper::GetBiosValue(const std::string& valueName, std::string& value) {
    switch (ReadRegText(kBiosKey, valueName, value)) {
        case RegText::Read:
            return 0;
        case RegText::OtherType:
            return 1;
        case RegText::Failed:
            break;
    }
    value.clear();
    return 1;
}

int CSysHelper::GetWwanDeviceConfigId(std::string& configId) {
    std::string text;
    switch (ReadRegText(kFwFlashKey, kWwanDeviceConfigIdValue, text)) {
        case RegText::Read:
            if (text.empty()) return 1;
            configId = text;
            return 0;
        case RegText::OtherType:
            return 1;
        case RegText::Failed:
            break;
    }
    configId.clear();
    return 1;
}

int CSysHelper::GetModuleId() { return 0; }

int CSysHelper::SetServiceRegValue(const std::string& valueName, const std::string& value) {
    HKEY parent = OpenOrCreateKey(kServiceParentKey);
    if (!parent) return 1;
    HKEY key = OpenOrCreateKey(kServiceKey);
    if (!key) {
        RegCloseKey(parent);
        return 1;
    }
    int result = static_cast<int>(RegSetValueExA(key, valueName.c_str(), 0, REG_SZ,
                                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                                 static_cast<DWORD>(value.size() + 1)));
    RegCloseKey(key);
    RegCloseKey(parent);
    return result;
}

bool CSysHelper::IsFwPackUniversalEnabled() { return KavrConfigFlag(kFWPACK_UNIVERSAL_EN); }

bool CSysHelper::IsConfigNonSecureEnabled() { return KavrConfigFlag(kCONFIG_NONSECURE_ENABLE); }

void CSysHelper::DeleteFlsDataFolder() { ShellOperation(FO_DELETE, CConfigPath::GetInstance()->GetFlsDataPath()); }

void CSysHelper::BackupLogFiles() {
    std::string folder;
    CGlobalFunc().GetModuleDir(folder);
    const std::string serviceLog = folder + "KavrConfigSrv.log";
    const std::string updateLog = folder + "UpdateDebugLog.log";

    bool serviceLogMoved = false;
    if (LargerThanLogLimit(serviceLog))
        serviceLogMoved = ShellOperation(FO_RENAME, serviceLog, folder + "KavrConfigSrv_bk.log") == 0;

    char system[MAX_PATH] = {};
    UINT length = GetSystemDirectoryA(system, sizeof system);
    if (length > 0 && length < sizeof system) {
        const std::string logs = std::string(1, system[0]) + ":\\ProgramData\\Razav_DUR7560 Driver Package\\logs\\";
        ShellOperation(FO_DELETE, logs + "KavrConfigSrv.exe.log");
        ShellOperation(FO_DELETE, logs + "KavrConfigSrv.exeEx.log");
    }

    if (serviceLogMoved || LargerThanLogLimit(updateLog))
        ShellOperation(FO_RENAME, updateLog, folder + "UpdateDebugLog_bk.log");
}
