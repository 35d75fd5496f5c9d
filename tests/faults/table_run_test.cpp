// The table-writing run while the modem goes away in the middle of it: the run
// leaves no version for tables it did not finish, so the next run, once the
// modem is back, writes them again from the start.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "core/CStateWork.h"
#include "modem/CMbnDeviceServiceMgr.h"
#include "platform/com.h"
#include "platform/sim/modem.h"
#include "tests/support/service_run.h"

namespace {

using kvtest::ServiceRun;
using Commands = std::vector<std::string>;

const char kZeroVersion[] = "0000.0000.000000.0000.0000.000";
const char kVersionQuery[] = "AT+GETOEMTABLEVER?\r\n\r\n";
const char kRecord[] = "At+SETOEMTABLEVER=";

// A modem that reports the versions last recorded in its slots 1 to 5.
class VersionedModem {
public:
    explicit VersionedModem(sim::Modem& modem) : modem_(modem) {
        slots_ = {{1, "0001.0001"}, {2, "0001.0000"}, {3, kZeroVersion}, {4, kZeroVersion}, {5, "0001.0001"}};
        Answer();
    }
    // Takes in the versions the commands recorded, and answers with them from now on.
    void Record(const Commands& commands) {
        for (const std::string& command : commands) {
            if (command.rfind(kRecord, 0) != 0) continue;
            std::size_t comma = command.find(',');
            std::size_t open = command.find('"', comma);
            std::size_t close = command.find('"', open + 1);
            slots_[std::stoi(command.substr(sizeof kRecord - 1, comma))] = command.substr(open + 1, close - open - 1);
        }
        Answer();
    }

private:
    void Answer() {
        modem_.SetReply(kVersionQuery, sim::ModemReply::Text("\r\n+GETOEMTABLEVER: DPR ver: " + slots_[1] +
                                                             ", TAS_FCC ver: " + slots_[2] + ", TAS_ISED ver: " +
                                                             slots_[3] + ", ANT_GPO ver: " + slots_[4] +
                                                             ", ANT_MIPI ver: " + slots_[5] + "\r\n\r\nOK\r\n"));
    }
    sim::Modem& modem_;
    std::map<int, std::string> slots_;
};

// The AT commands from the `from`-th on, without the line ends.
Commands AtCommands(sim::Modem& modem, std::size_t from) {
    Commands commands;
    std::vector<sim::ModemCommand> all = modem.Commands();
    for (std::size_t i = from; i < all.size(); ++i) {
        if (all[i].serviceId != sim::kAtServiceId) continue;
        std::string text = all[i].bytes;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        commands.push_back(text);
    }
    return commands;
}

std::size_t CountStarting(const Commands& commands, const std::string& prefix) {
    return static_cast<std::size_t>(
        std::count_if(commands.begin(), commands.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

// The FCC TA-SAR commands of a changed file: TA SAR on, nine profiles, the
// parameters and the two version records.
Commands FccTables(const Commands& run) {
    auto first = std::find(run.begin(), run.end(), "AT+BODYSAREN=0");
    if (first == run.end()) return {};
    auto last = std::find(first, run.end(), "At+SETOEMTABLEVER=2,\"0002.0000\"");
    return Commands(first, last == run.end() ? run.end() : last + 1);
}

TEST(TableRunFaults, ModemGoneHalfwayThroughTheTasTablesIsWrittenWholeNextRun) {
    ServiceRun run("tables-multimode");
    sim::Modem& modem = run.machine().modem();
    run.machine().AddForeignEvent("ResetMoudle");
    VersionedModem versions(modem);
    const sim::ModemInterface settings = modem.Interface(0);
    sim::ModemReply gone = sim::ModemReply::Text("\r\nOK\r\n");
    gone.gone = true;
    modem.SetReply("AT+GTTASPROFILE=4\r\n\r\n", gone);

    CStateWork* work = CStateWork::GetInstance();
    work->InitPath();
    work->InitLog();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    work->GetSimInfo();
    work->FlashSarByATSend();
    const Commands first = AtCommands(modem, 0);
    versions.Record(first);

    // Body SAR was written whole; TA SAR stops after profile 4, the last
    // command the modem took: no version of its own, no other writer's either.
    Commands tas = FccTables(first);
    ASSERT_FALSE(tas.empty());
    EXPECT_EQ(tas.back(), "AT+GTTASPROFILE=4");
    EXPECT_EQ(first.back(), "AT+GTTASPROFILE=4");
    EXPECT_EQ(CountStarting(first, "At+SETOEMTABLEVER=1,"), 1u);
    EXPECT_EQ(CountStarting(first, "At+SETOEMTABLEVER=2,"), 0u);
    EXPECT_EQ(CountStarting(first, "At+SETOEMTABLEVER=5,"), 0u);
    std::string log = run.Log();
    EXPECT_NE(log.find("Changed flags: CDprSarCfg_5201_MultiMode=1 CTasSarCfg_FCC=0 CTasSarCfg_CE=0 "
                       "CTasSarCfg_ISED=0 CAntGpoXmlCfg=0 CAntMipiXmlCfg=0\n"),
              std::string::npos);
    EXPECT_NE(log.find(": MBIM not exist\n"), std::string::npos);

    // The modem is back; the next run finds the TA-SAR version unchanged in
    // the modem and writes every table again, turning TA SAR on first.
    modem.SetReply("AT+GTTASPROFILE=4\r\n\r\n", sim::ModemReply::Text("\r\nOK\r\n"));
    modem.ReturnInterface(settings);
    const std::size_t mark = modem.Commands().size();
    work->FlashSarByATSend();
    const Commands second = AtCommands(modem, mark);
    tas = FccTables(second);
    ASSERT_GE(tas.size(), 3u);
    EXPECT_EQ(Commands(tas.begin(), tas.begin() + 3),
              (Commands{"AT+BODYSAREN=0", "AT+GTTASEN=1", "AT+GTTASALGO=1"}));
    EXPECT_EQ(CountStarting(tas, "AT+GTTASPROFILE="), 9u);
    EXPECT_EQ(CountStarting(tas, "AT+GTTAS="), 18u);
    EXPECT_EQ(tas[tas.size() - 2], std::string("At+SETOEMTABLEVER=3,\"") + kZeroVersion + "\"");
    EXPECT_EQ(tas.back(), "At+SETOEMTABLEVER=2,\"0002.0000\"");
    // Body SAR, recorded by the first run, is not written again.
    EXPECT_EQ(CountStarting(second, "AT+BODYSARPROFILE="), 0u);
    EXPECT_EQ(CountStarting(second, "At+SETOEMTABLEVER=5,"), 1u);
    log = run.Log();
    EXPECT_NE(log.find("Changed flags: CDprSarCfg_5201_MultiMode=0 CTasSarCfg_FCC=1 CTasSarCfg_CE=0 "
                       "CTasSarCfg_ISED=0 CAntGpoXmlCfg=0 CAntMipiXmlCfg=1\n"),
              std::string::npos);

    CoUninitialize();
    CMbnDeviceServiceMgr::GetInstance()->Release();
    run.machine().clock().Settle();
    CLog::GetInstance()->Close();
}

}  // namespace
