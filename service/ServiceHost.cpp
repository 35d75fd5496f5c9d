#include "service/ServiceHost.h"

#include <mutex>
#include <string>

#include "common/CLog.h"
#include "common/ProcessSingleton.h"
#include "core/CStateWork.h"
#include "platform/profile.h"
#include "platform/sync.h"
#include "service/CServiceStart.h"

namespace {

char kServiceName[] = "Kavrion WWAN CfgService";
const DWORD kStartWaitHint = 3000;

// The process globals, in one record that each process starts fresh.
struct CServiceGlobals {
    SERVICE_STATUS serviceStatus = {};
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    HANDLE serviceStopEvent = nullptr;
    DWORD checkPoint = 1;
    // The service thread and the dispatcher's thread both report; each report is one step.
    std::mutex statusLock;
};

CServiceGlobals& Globals() { return *CProcessSingletons::Get<CServiceGlobals>([] { return new CServiceGlobals(); }); }

void ReportLocked(DWORD currentState, DWORD win32ExitCode, DWORD waitHint) {
    CServiceGlobals& globals = Globals();
    SERVICE_STATUS& status = globals.serviceStatus;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = currentState;
    status.dwWin32ExitCode = win32ExitCode;
    status.dwServiceSpecificExitCode = 0;
    status.dwWaitHint = waitHint;
    status.dwControlsAccepted = currentState == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    status.dwCheckPoint = currentState == SERVICE_RUNNING || currentState == SERVICE_STOPPED ? 0 : globals.checkPoint++;
    SetServiceStatus(globals.statusHandle, &status);
}

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

}  // namespace

int ServiceProgramMain() {
    SERVICE_TABLE_ENTRYA table[] = {{kServiceName, &ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}

void ReportSvcStatus(DWORD currentState, DWORD win32ExitCode, DWORD waitHint) {
    std::lock_guard<std::mutex> lock(Globals().statusLock);
    ReportLocked(currentState, win32ExitCode, waitHint);
}

void ServiceMain(DWORD argc, LPSTR* argv) {
    Globals().statusHandle = RegisterServiceCtrlHandlerA(kServiceName, &SvcCtrlHandler);
    if (!Globals().statusHandle) return;
    ReportSvcStatus(SERVICE_START_PENDING, 0, kStartWaitHint);
    SvcInit(argc, argv);
}

void SvcInit(DWORD, LPSTR*) {
    Globals().serviceStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!Globals().serviceStopEvent) {
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
        WaitForSingleObject(Globals().serviceStopEvent, INFINITE);
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
    std::lock_guard<std::mutex> lock(Globals().statusLock);
    ReportLocked(SERVICE_STOP_PENDING, 0, 0);
    SetEvent(Globals().serviceStopEvent);
    ReportLocked(Globals().serviceStatus.dwCurrentState, 0, 0);
}
