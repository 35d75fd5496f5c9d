// The service control manager.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;
struct SERVICE_STATUS_HANDLE__;
using SERVICE_STATUS_HANDLE = SERVICE_STATUS_HANDLE__*;

constexpr DWORD SERVICE_KERNEL_DRIVER = 0x1;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x20;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;
constexpr DWORD SERVICE_ACCEPT_PAUSE_CONTINUE = 0x2;
constexpr DWORD SERVICE_ACCEPT_SHUTDOWN = 0x4;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_CONTROL_SHUTDOWN = 5;

// Failure action types (what the manager does when the service fails).
constexpr DWORD SC_ACTION_NONE = 0;
constexpr DWORD SC_ACTION_RESTART = 1;
constexpr DWORD SC_ACTION_REBOOT = 2;
constexpr DWORD SC_ACTION_RUN_COMMAND = 3;

constexpr DWORD ERROR_DATABASE_DOES_NOT_EXIST = 1065;
constexpr DWORD ERROR_SERVICE_NOT_IN_EXE = 1083;
constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;

constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;

constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x0040;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_USER_DEFINED_CONTROL = 0x0100;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
using LPSERVICE_STATUS = SERVICE_STATUS*;

using LPSERVICE_MAIN_FUNCTIONA = void (*)(DWORD argc, LPSTR* argv);
using LPHANDLER_FUNCTION = void (*)(DWORD control);

struct SERVICE_TABLE_ENTRYA {
    LPSTR lpServiceName;
    LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
};

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* serviceStartTable);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR serviceName, LPHANDLER_FUNCTION handler);
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle, LPSERVICE_STATUS status);

SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess);
SC_HANDLE OpenServiceA(SC_HANDLE scManager, LPCSTR serviceName, DWORD desiredAccess);
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL DeleteService(SC_HANDLE service);
BOOL CloseServiceHandle(SC_HANDLE object);

#endif  // _WIN32
