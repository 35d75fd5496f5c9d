#include "modem/CAtCommandSequence.h"

#include "common/CLog.h"
#include "modem/CAtExecute.h"

CAtCommandSequence& CAtCommandSequence::Add(std::string command, std::string failLine) {
    FailLine line;
    if (!failLine.empty()) {
        line = [text = std::move(failLine)](int) { return text; };
    }
    m_vecSteps.push_back({std::move(command), std::move(line)});
    return *this;
}

CAtCommandSequence& CAtCommandSequence::Add(std::string command, FailLine failLine) {
    m_vecSteps.push_back({std::move(command), std::move(failLine)});
    return *this;
}

int CAtCommandSequence::Send() {
    m_nFailedIndex = -1;
    for (std::size_t i = 0; i < m_vecSteps.size(); ++i) {
        const Step& step = m_vecSteps[i];
        int result = SendOne(step.command);
        if (result != 0) {
            m_nFailedIndex = static_cast<int>(i);
            if (step.failLine) {
                CLog::GetInstance()->WriteLog(1, step.failLine(result));
            }
            return result;
        }
    }
    return 0;
}

void CAtCommandSequence::Clear() {
    m_vecSteps.clear();
    m_nFailedIndex = -1;
}

int CAtCommandSequence::SendOne(const std::string& command, std::string& reply) {
    CAtExecute at;
    return at.ExecuteAtCommandRetry(kRetries, kDelaySeconds, command, reply);
}

int CAtCommandSequence::SendOne(const std::string& command) {
    std::string reply;
    return SendOne(command, reply);
}
