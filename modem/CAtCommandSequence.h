// AT commands sent one after another through CAtExecute, each with the table
// writers' retries (3) and delay (3 s), stopping at the first command that
// fails. What was sent before the failure stays in the modem; the failing
// command's result is what the writer reports.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CAtCommandSequence {
public:
    // The error line (log type 1) of a failing command, made from its result.
    using FailLine = std::function<std::string(int result)>;

    static constexpr int kRetries = 3;
    static constexpr int kDelaySeconds = 3;

    // Appends a command; `failLine`, when not empty, is logged (type 1) if it fails.
    CAtCommandSequence& Add(std::string command, std::string failLine = {});
    // Appends a command whose error line carries the command's result.
    CAtCommandSequence& Add(std::string command, FailLine failLine);

    // Sends the commands in order. 0 when every one succeeded, otherwise the
    // (non-zero) result of the first that failed; nothing after it is sent.
    int Send();
    // Position of the command that failed in the last Send, -1 when none did.
    int FailedIndex() const { return m_nFailedIndex; }

    std::size_t Size() const { return m_vecSteps.size(); }
    const std::string& Command(std::size_t index) const { return m_vecSteps.at(index).command; }
    void Clear();

    // One command with the writers' retries and delay; the reply of the last
    // attempt into `reply`.
    static int SendOne(const std::string& command, std::string& reply);
    static int SendOne(const std::string& command);

private:
    struct Step {
        std::string command;
        FailLine failLine;
    };
    std::vector<Step> m_vecSteps;
    int m_nFailedIndex = -1;
};
