// A stand-in for the older sibling service, for the runs under Wine: it reports
// RUNNING and stops when asked, nothing more.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
char serviceName[] = "Kavrion WWAN Config Service";

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(statusHandle, &status);
}

void WINAPI Handler(DWORD control) {
    if (control != SERVICE_CONTROL_STOP) return;
    Report(SERVICE_STOP_PENDING);
    SetEvent(stopEvent);
}

void WINAPI Main(DWORD, LPSTR*) {
    statusHandle = RegisterServiceCtrlHandlerA(serviceName, Handler);
    if (!statusHandle) return;
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, INFINITE);
    Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
    SERVICE_TABLE_ENTRYA table[] = {{serviceName, Main}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}
