// The service's entry and its conversation with the service control manager.
#pragma once

#include "platform/service.h"

// The body of main: hands the dispatcher the one-entry service table; 0 when it returns.
int ServiceProgramMain();

void ServiceMain(DWORD argc, LPSTR* argv);
void SvcInit(DWORD argc, LPSTR* argv);
void SvcCtrlHandler(DWORD control);
void ReportSvcStatus(DWORD currentState, DWORD win32ExitCode, DWORD waitHint);
