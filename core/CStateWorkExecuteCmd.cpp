// AT commands of the worker: every command runs on a channel built for it.
#include <algorithm>
#include <mutex>
#include <new>

#include "common/CLog.h"
#include "common/TextHelpers.h"
#include "core/CStateWork.h"
#include "modem/CMbimDeviceService.h"
#include "platform/sync.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

const DWORD kDelayBeforeCommandMs = 100;

}  // namespace

bool IsAtResponseOk(std::string reply) {
    return !reply.empty() && ToLowerCopy(std::move(reply)).find("error") == std::string::npos;
}

bool CStateWork::ExecuteCmd(std::string command, std::string& reply) {
    if (!CheckMBIM()) {
        FreeMBIM();
        Log(4, "MBIM not exist");
        return false;
    }
    command += "\r\n";
    Sleep(kDelayBeforeCommandMs);

    std::string answer;
    std::string hex;
    if (m_pMbimDeviceService->SendCommand(command, answer, hex) == 0) {
        answer.erase(std::remove(answer.begin(), answer.end(), ' '), answer.end());
        if (IsAtResponseOk(answer)) {
            reply = answer;
            return true;
        }
    }
    // The channel stays until the next command frees it.
    Log(1, "ExecuteCmd");
    return false;
}

int CStateWork::CheckMBIM() {
    Log(4, "Check MBIM enter");
    FreeMBIM();
    m_pMbimDeviceService = new (std::nothrow) CMbimDeviceService();
    return m_pMbimDeviceService && m_pMbimDeviceService->CheckInterface() ? 1 : 0;
}

int CStateWork::FreeMBIM() {
    if (!m_pMbimDeviceService) return 0;
    Log(4, "FreeMBIM enter.");
    delete m_pMbimDeviceService;
    m_pMbimDeviceService = nullptr;
    return 1;
}

std::string CStateWork::GetMcc() {
    std::string mcc;
    {
        std::lock_guard<std::mutex> lock(m_providerLock);
        mcc = m_strProviderID.substr(0, 3);
    }
    Log(4, "mcc:" + mcc);
    return mcc;
}
