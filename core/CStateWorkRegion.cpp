// The region switch through the control driver, the removal of the older sibling service, and the
// firmware-flash service's new-package flag.
#include "common/CLog.h"
#include "config/CXmlTableReader.h"
#include "core/CStateWork.h"
#include "platform/device.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/sync.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

const char kControlDevice[] = "\\??\\KVControl";
const DWORD kIoctlSetRegion = 0x06000004;

const char kOldServiceName[] = "Kavrion WWAN Config Service";
const DWORD kPollIntervalMs = 1000;
// An older service stuck in STOP_PENDING would hold the worker, and the service's own stop, for ever.
const int kMaxStatusPolls = 30;

const char kFwFlashKey[] = "SOFTWARE\\WOW6432Node\\Kavrion\\FwFlashService";
const char kNewPackageFlag[] = "NewPackageFlag";

std::string WithLastError(const char* text) { return text + (" (" + std::to_string(GetLastError()) + ")"); }

}  // namespace

bool CStateWork::SetRegionByIOControl(int region) {
    HANDLE device =
        CreateFileA(kControlDevice, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        Log(4, "[Error][CStateWork::SetRegionByIOControl] CreateFile error. errorcode=" +
                   std::to_string(GetLastError()));
        return false;
    }
    DWORD code = static_cast<DWORD>(region);
    DWORD returned = 0;
    bool accepted = DeviceIoControl(device, kIoctlSetRegion, &code, sizeof code, nullptr, 0, &returned, nullptr) != FALSE;
    if (accepted)
        Log(4, "[Infomation][CStateWork::SetRegionByIOControl] Set region OK. region=" + std::to_string(region));
    else
        Log(4, "[Error][CStateWork::SetRegionByIOControl] Set region error. region=" + std::to_string(region));
    CloseHandle(device);
    return accepted;
}

int CStateWork::ServiceCheckAndDelete() {
    Log(4, "[Infomation][CStateWork::ServiceCheckAndDelete] Enter ServiceCheckThead.");
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) {
        Log(4, WithLastError("OpenSCManager failed"));
        return 0;
    }
    SC_HANDLE service = OpenServiceA(manager, kOldServiceName, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service) {
        Log(4, WithLastError("OpenService failed"));
        CloseServiceHandle(manager);
        return 0;
    }

    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        Log(4, "Service stop Failed.");
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return 0;
    }

    for (int poll = 0; poll < kMaxStatusPolls; ++poll) {
        Sleep(kPollIntervalMs);
        if (!QueryServiceStatus(service, &status) || status.dwCurrentState != SERVICE_STOP_PENDING) break;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) Log(4, "Service dwCurrentState == SERVICE_STOPPED");

    if (!DeleteService(service)) {
        Log(4, "Service removed Failed");
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return 0;
    }
    Log(4, "Service removed successfully");
    CloseServiceHandle(service);
    CloseServiceHandle(manager);

    if (!DeleteFileA(m_strOldServiceExePath.c_str())) {
        Log(4, "Delete Service application Failed");
        return 0;
    }
    Log(4, "[Infomation][CStateWork::ServiceCheckAndDelete] ServiceCheckThead done.");
    return 1;
}

DWORD GetFwFlashNewPackageFlag() {
    DWORD flag = 0;
    CXmlTableReader reader;
    reader.GetRegKeyValue(kFwFlashKey, kNewPackageFlag, flag);
    return flag;
}

int SetFwFlashNewPackageFlag() {
    CXmlTableReader reader;
    reader.SetRegKeyValue(kFwFlashKey, kNewPackageFlag, 2, REG_DWORD);
    return 0;
}
