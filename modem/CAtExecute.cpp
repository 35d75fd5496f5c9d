#include "modem/CAtExecute.h"

#include <cstring>

#include "common/CLog.h"
#include "common/TextHelpers.h"
#include "core/CStateWork.h"
#include "modem/CMbnDeviceServiceMgr.h"
#include "platform/sync.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

const char kEndMark[] = "\r\n\r\nOK\r\n";
const WCHAR kDeviceModeService[] = KV_WIDE("{613a2c9f-7579-4be2-bf30-94dc8fe47b1c}");
const ULONG kDeviceModeCommandId = 3;

const char* const kPostures[] = {"Lowest Power", "Full Power", "Lid close", "Clameshell", "flat",
                                 "stand",        "tent",       "tablet",    "book"};

int CheckedRetryValue(int value) { return static_cast<unsigned>(value) <= 10u ? value : 3; }

// Leading decimal digits (after an optional sign); anything else is 0. Values
// beyond any posture number saturate instead of overflowing.
int LeadingNumber(const std::string& text) {
    long long number = 0;
    ParseNumber(text, {.blanks = "", .lowest = -1000000, .highest = 1000000}, number);
    return static_cast<int>(number);
}

// Sends `command` and checks that its reply holds a capital K; the whole reply
// is handed over.
int QueryWholeReply(CAtExecute& executor, const char* command, std::string& reply) {
    std::string answer;
    int result = executor.ExecuteAtCommand(command, answer);
    if (result != 0) {
        reply = answer;
        return result;
    }
    if (answer.find('K') == std::string::npos) return CAtExecute::kQueryCheckFailed;
    reply = answer;
    return 0;
}

}  // namespace

int CAtExecute::ExecuteAtCommand(const std::string& command, std::string& reply) {
    CStateWork work;
    std::string text(command.c_str(), std::strlen(command.c_str()));
    std::string answer;
    bool ok = work.ExecuteCmd(text, answer);
    reply = answer;
    Log(4, "strCommand:");
    Log(4, text);
    Log(4, "response");
    Log(4, reply);
    return ok ? 0 : kExchangeFailed;
}

int CAtExecute::ExecuteAtCommandRetry(int retries, int delaySeconds, const std::string& command, std::string& reply) {
    const int n = CheckedRetryValue(retries);
    const DWORD delayMs = static_cast<DWORD>(CheckedRetryValue(delaySeconds)) * 1000;
    int result = 0;
    for (int attempt = 0; attempt <= n + 1; ++attempt) {
        result = ExecuteAtCommand(command, reply);
        if (result == 0) return 0;
        Sleep(delayMs);
    }
    return result;
}

int CAtExecute::QueryBodySarOn(std::string& reply) { return QueryWholeReply(*this, "AT+bodysaron?\r\n", reply); }

int CAtExecute::QueryBodySar(std::string& reply) { return QueryWholeReply(*this, "AT+BODYSAR?\r\n", reply); }

int CAtExecute::QueryTasCfg(std::string& reply) { return QueryWholeReply(*this, "AT+GTTASCFG?\r\n", reply); }

int CAtExecute::QueryTas(std::string& reply) { return QueryWholeReply(*this, "AT+GTTAS?\r\n", reply); }

int CAtExecute::QueryFdCar(std::string& value) {
    std::string reply;
    int result = ExecuteAtCommand("AT+gtfdcar?\r\n", reply);
    if (result != 0) return result;
    if (reply.find("OK") == std::string::npos) return kQueryCheckFailed;
    std::size_t colon = reply.find(':');
    std::size_t end = reply.find(kEndMark);
    if (colon == std::string::npos || end == std::string::npos || end <= colon) return kQueryCheckFailed;
    value = reply.substr(colon + 1, end - colon - 1);
    return 0;
}

int CAtExecute::QueryLockCar(std::string& firstValue, std::string& secondValue) {
    std::string reply;
    int result = ExecuteAtCommand("AT+gtlockcar?\r\n", reply);
    if (result != 0) return result;
    std::size_t comma = reply.find(',');
    if (reply.find("OK") == std::string::npos || comma == std::string::npos || comma == 0) return kQueryCheckFailed;
    std::size_t end = reply.find(kEndMark);
    if (end == std::string::npos) end = reply.size();
    if (end < comma) return kQueryCheckFailed;
    firstValue = reply.substr(comma - 1, 1);
    secondValue = reply.substr(comma + 1, end - comma - 1);
    return 0;
}

int CAtExecute::QueryTasEnable(std::string& value) {
    std::string reply;
    int result = ExecuteAtCommand("AT+GTTASEN?\r\n", reply);
    if (result != 0) return result;
    if (reply.find('K') == std::string::npos) return kQueryCheckFailed;
    std::size_t colon = reply.find(':');
    if (colon == std::string::npos || colon + 1 >= reply.size()) return kQueryCheckFailed;
    value = reply.substr(colon + 1, 1);
    return 0;
}

void CAtExecute::GetDeviceMode(std::string& posture) {
    DeviceModeInfo info;
    const BYTE command[] = {'\r', '\n'};
    CMbnDeviceServiceMgr::GetInstance()->QueryCommand(command, sizeof command, info.strDeviceMode, info.strSarIndex,
                                                      info.strAntIndex, kDeviceModeService, kDeviceModeCommandId);
    int mode = info.strDeviceMode.empty() ? 0 : LeadingNumber(info.strDeviceMode);
    posture = mode >= 0 && mode <= 8 ? kPostures[mode] : kPostures[0];
}

int CAtExecute::FindNthChar(const std::string& text, char character, int n) {
    if (n < 1) return -1;
    std::size_t position = std::string::npos;
    for (int i = 0; i < n; ++i) {
        position = text.find(character, position == std::string::npos ? 0 : position + 1);
        if (position == std::string::npos) return -1;
    }
    return static_cast<int>(position);
}
