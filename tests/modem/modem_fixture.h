// A machine with a modem interface and the system's log in a file of its drive.
#pragma once

#include <string>

#include "common/CLog.h"
#include "platform/com.h"
#include "platform/sim/modem.h"
#include "tests/support/sim_test.h"

namespace kvtest {

class ModemTest : public SimTest {
protected:
    static constexpr const char* kLogPath = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";

    void SetUp() override {
        SimTest::SetUp();
        CLog* log = CLog::GetInstance();
        log->Close();
        log->SetPathAndRotate(kLogPath);
        log->Enable(true);
        machine().modem().AddInterface();
    }
    void TearDown() override {
        machine().clock().Settle();
        CLog::GetInstance()->Close();
        SimTest::TearDown();
    }

    sim::Modem& modem() { return machine().modem(); }
    std::string Log() const { return ReadText(kLogPath); }
    // Whether `text` was logged as a whole message.
    bool Logged(const std::string& text) const {
        std::string log = Log();
        std::string wanted = ": " + text + "\n";
        return log.find(wanted) != std::string::npos;
    }
    std::size_t CountLogged(const std::string& text) const {
        std::string log = Log();
        std::string wanted = ": " + text + "\n";
        std::size_t count = 0;
        for (std::size_t at = log.find(wanted); at != std::string::npos; at = log.find(wanted, at + 1)) ++count;
        return count;
    }
    std::int64_t Now() { return machine().clock().Now(); }
};

}  // namespace kvtest
