// The service control manager's install and configuration calls.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/service.h"
#include "platform/types.h"

constexpr DWORD SERVICE_NO_CHANGE = 0xFFFFFFFF;

constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;

constexpr DWORD SERVICE_ERROR_IGNORE = 0;
constexpr DWORD SERVICE_ERROR_NORMAL = 1;
constexpr DWORD SERVICE_ERROR_SEVERE = 2;
constexpr DWORD SERVICE_ERROR_CRITICAL = 3;

constexpr DWORD SERVICE_ACTIVE = 0x1;
constexpr DWORD SERVICE_INACTIVE = 0x2;
constexpr DWORD SERVICE_STATE_ALL = 0x3;

constexpr DWORD SERVICE_CONFIG_DESCRIPTION = 1;
constexpr DWORD SERVICE_CONFIG_FAILURE_ACTIONS = 2;

constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD ERROR_INVALID_ADDRESS = 487;
constexpr DWORD ERROR_INVALID_SERVICE_ACCOUNT = 1057;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_DUPLICATE_SERVICE_NAME = 1078;

enum SC_STATUS_TYPE { SC_STATUS_PROCESS_INFO = 0 };
using SC_ACTION_TYPE = DWORD;  // SC_ACTION_NONE, SC_ACTION_RESTART, ...

struct SC_ACTION {
    SC_ACTION_TYPE Type;
    DWORD Delay;  // milliseconds
};

// A null text or action list leaves that part as it was; an empty text clears it.
struct SERVICE_FAILURE_ACTIONSA {
    DWORD dwResetPeriod;  // seconds
    LPSTR lpRebootMsg;
    LPSTR lpCommand;
    DWORD cActions;
    SC_ACTION* lpsaActions;
};
using LPSERVICE_FAILURE_ACTIONSA = SERVICE_FAILURE_ACTIONSA*;

struct SERVICE_DESCRIPTIONA {
    LPSTR lpDescription;
};

// The texts point into the caller's buffer, after the record.
struct QUERY_SERVICE_CONFIGA {
    DWORD dwServiceType;
    DWORD dwStartType;
    DWORD dwErrorControl;
    LPSTR lpBinaryPathName;
    LPSTR lpLoadOrderGroup;
    DWORD dwTagId;
    LPSTR lpDependencies;  // names, each ended by a zero, the list by a second zero
    LPSTR lpServiceStartName;
    LPSTR lpDisplayName;
};
using LPQUERY_SERVICE_CONFIGA = QUERY_SERVICE_CONFIGA*;

struct SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
};
using LPSERVICE_STATUS_PROCESS = SERVICE_STATUS_PROCESS*;

struct ENUM_SERVICE_STATUSA {
    LPSTR lpServiceName;
    LPSTR lpDisplayName;
    SERVICE_STATUS ServiceStatus;
};
using LPENUM_SERVICE_STATUSA = ENUM_SERVICE_STATUSA*;

// A null account is the local system account. Fails with ERROR_SERVICE_EXISTS
// for a name already in the database.
SC_HANDLE CreateServiceA(SC_HANDLE scManager, LPCSTR serviceName, LPCSTR displayName, DWORD desiredAccess,
                         DWORD serviceType, DWORD startType, DWORD errorControl, LPCSTR binaryPathName,
                         LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR password);
// SERVICE_NO_CHANGE and null texts leave a setting as it was; an account that
// does not exist fails with ERROR_INVALID_SERVICE_ACCOUNT.
BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          LPCSTR binaryPathName, LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies,
                          LPCSTR serviceStartName, LPCSTR password, LPCSTR displayName);
BOOL ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info);
BOOL StartServiceA(SC_HANDLE service, DWORD numServiceArgs, LPCSTR* serviceArgVectors);
// ERROR_INSUFFICIENT_BUFFER with the size needed when the buffer is too small.
BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA serviceConfig, DWORD bufSize,
                         LPDWORD bytesNeeded);
BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer, DWORD bufSize,
                          LPDWORD bytesNeeded);
// The services that depend on this one, directly or not, in the order they can
// be stopped (a service after those that depend on it). ERROR_MORE_DATA with the size needed when the buffer is too small.
BOOL EnumDependentServicesA(SC_HANDLE service, DWORD serviceState, LPENUM_SERVICE_STATUSA services, DWORD bufSize,
                            LPDWORD bytesNeeded, LPDWORD servicesReturned);

#endif  // _WIN32
