#include "service/ServiceHost.h"

#include <mutex>
#include <string>

#include "common/CLog.h"
#include "core/CStateWork.h"
#include "platform/profile.h"
#include "platform/sync.h"
#include "service/CServiceStart.h"

namespace {

char kServiceName[] = "Kavrion WWAN CfgService";
const DWORD kStartWaitHint = 3000;

SERVICE_STATUS g_ServiceStatus = {};
SERVICE_STATUS_HANDLE g_StatusHandle = nullptr;
HANDLE g_ServiceStopEvent = nullptr;
DWORD g_dwCheckPoint = 1;
// The service thread and the dispatcher's thread both report; each report is one step.
std::mutex g_statusLock;

void ReportLocked(DWORD currentState, DWORD win32ExitCode, DWORD waitHint) {
    g_ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_ServiceStatus.dwCurrentState = currentState;
    g_ServiceStatus.dwWin32ExitCode = win32ExitCode;
    g_ServiceStatus.dwServiceSpecificExitCode = 0;
    g_ServiceStatus.dwWaitHint = waitHint;
    g_ServiceStatus.dwControlsAccepted = currentState == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    g_ServiceStatus.dwCheckPoint =
        currentState == SERVICE_RUNNING || currentState == SERVICE_STOPPED ? 0 : g_dwCheckPoint++;
    SetServiceStatus(g_StatusHandle, &g_ServiceStatus);
}

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

}  // namespace

int ServiceProgramMain() {
    SERVICE_TABLE_ENTRYA table[] = {{kServiceName, &ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}

void ReportSvcStatus(DWORD currentState, DWORD win32ExitCode, DWORD waitHint) {
    std::lock_guard<std::mutex> lock(g_statusLock);
    ReportLocked(currentState, win32ExitCode, waitHint);
}

void ServiceMain(DWORD argc, LPSTR* argv) {
    g_StatusHandle = RegisterServiceCtrlHandlerA(kServiceName, &SvcCtrlHandler);
    if (!g_StatusHandle) return;
    ReportSvcStatus(SERVICE_START_PENDING, 0, kStartWaitHint);
    SvcInit(argc, argv);
}

void SvcInit(DWORD, LPSTR*) {
    g_ServiceStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!g_ServiceStopEvent) {
        ReportSvcStatus(SERVICE_STOPPED, 0, 0);
        return;
    }
    ReportSvcStatus(SERVICE_RUNNING, 0, 0);

    CStateWork* work = CStateWork::GetInstance();
    work->InitPath();
    work->InitLog();

    int type = static_cast<int>(
        GetPrivateProfileIntA("Setting", "CustomizationSolutionType", 1, work->GetIniFilePath().c_str()));
    Log(4, "[Information][SvcInit]  ScemsropType=" + std::to_string(type));

    if (type == 2 || type == 3) {
        CServiceStart start;
        start.StartWork();
        WaitForSingleObject(g_ServiceStopEvent, INFINITE);
        start.StopWork();
    } else {
        Log(4, "[Information][SvcInit] Disable Runing Service!");
    }
    ReportSvcStatus(SERVICE_STOPPED, 0, 0);
}

void SvcCtrlHandler(DWORD control) {
    if (control != SERVICE_CONTROL_STOP) return;
    // Both reports and the event under one lock, so the service thread's STOPPED report
    // cannot fall between them.
    std::lock_guard<std::mutex> lock(g_statusLock);
    ReportLocked(SERVICE_STOP_PENDING, 0, 0);
    SetEvent(g_ServiceStopEvent);
    ReportLocked(g_ServiceStatus.dwCurrentState, 0, 0);
}
