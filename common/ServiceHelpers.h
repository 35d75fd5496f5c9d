// Installing, reconfiguring, starting, stopping and removing a service through
// the service control manager. They print to standard output, never to the log.
#pragma once

#include <string>

#include "common/ServiceInfo.h"
#include "platform/service.h"

// True when the service is installed or reconfigured; a service that refuses the
// reconfiguration is stopped (or its process killed), deleted and created again.
bool InstallService(ServiceInfo& info, bool automatic);
// 0 created or reconfigured (a start was requested), 1 the service exists and
// refused the reconfiguration, 2 no manager or the creation failed.
int CreateAndStartService(ServiceInfo& info, bool automatic);
// 0 removed, -1 not.
int UninstallService(ServiceInfo& info);
bool DeleteServiceByName(const std::string& name);
// 1 when the service stopped or its process was killed, else 0.
int StopServiceOrKill(ServiceInfo& info);
// Waits at most 30 s from the call.
bool StopServiceAndWait(const std::string& name);
// True when every active dependent stopped (at most 30 s).
bool StopDependentServices(const std::string& name, SC_HANDLE manager, SC_HANDLE service);
// Terminates the first process named as the record's executable.
bool KillServiceProcess(ServiceInfo& info);
// Copies the registered executable path into the record.
bool QueryServiceBinaryPath(ServiceInfo& info);
// 0 changed, 2 failed.
int ChangeServiceStartType(ServiceInfo& info, DWORD startType);
// Does not wait; true when nothing had to be done or the request was accepted.
bool StartOrStopService(const std::string& name, bool start);
// 0 set, 2 failed.
int SetServiceRecovery(const std::string& name);
// Three restarts after 30 s each, the count reset at once.
bool SetServiceFailureActions(const std::string& name, SC_HANDLE service);
