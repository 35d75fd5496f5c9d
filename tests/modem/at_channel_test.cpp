#include <string>
#include <vector>

#include "modem/CMbimDeviceService.h"
#include "modem/CrMbimServicesEvents.h"
#include "platform/sync.h"
#include "tests/modem/modem_fixture.h"

namespace {

using kvtest::ModemTest;

class AtChannelTest : public ModemTest {
protected:
    // One exchange on a fresh channel, as the worker does it.
    int Exchange(const std::string& command, std::string* reply = nullptr, std::string* hex = nullptr) {
        CMbimDeviceService channel;
        EXPECT_TRUE(channel.CheckInterface());
        std::string text, digits;
        return channel.SendCommand(command, reply ? *reply : text, hex ? *hex : digits);
    }
    void Reply(const std::string& command, sim::ModemReply reply) { modem().SetReply(command, std::move(reply)); }
};

TEST_F(AtChannelTest, OpensAndClosesItsOwnSession) {
    Reply("AT+bodysaren?\r\n", sim::ModemReply::Text("\r\n+BODYSAREN: 1\r\nOK\r\n"));
    std::string reply;
    EXPECT_EQ(Exchange("AT+bodysaren?\r\n", &reply), 0);
    EXPECT_EQ(reply, "\r\n+BODYSAREN: 1\r\nOK\r\n");
    EXPECT_FALSE(modem().SessionOpen(sim::kAtServiceId));
    auto commands = modem().Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].bytes, "AT+bodysaren?\r\n");
    EXPECT_EQ(commands[0].commandId, 1u);
    EXPECT_EQ(commands[0].serviceId, sim::kAtServiceId);
    EXPECT_EQ(machine().transcript().Lines("modem"),
              std::vector<std::string>{std::string("SetCommand ") + sim::kAtServiceId +
                                       " 1 \"AT+bodysaren?\\r\\n\" -> \"\\r\\n+BODYSAREN: 1\\r\\nOK\\r\\n\""});
    EXPECT_TRUE(Logged("CoUninitialize"));
}

TEST_F(AtChannelTest, ASessionAlreadyOpenIsUsedAndLeftOpen) {
    modem().SetSessionOpen(sim::kAtServiceId, true);
    // Were the channel to open or close it, these would cost 5000 ms each.
    modem().SetOpenBehaviour(sim::kAtServiceId, {sim::SessionBehaviour::Never});
    modem().SetCloseBehaviour(sim::kAtServiceId, {sim::SessionBehaviour::Never});
    std::string reply;
    EXPECT_EQ(Exchange("AT\r\n", &reply), 0);
    EXPECT_EQ(reply, "\r\nOK\r\n");
    EXPECT_TRUE(modem().SessionOpen(sim::kAtServiceId));
    EXPECT_EQ(Now(), 0);
}

TEST_F(AtChannelTest, ReplyBytesComeBackExactlyAndAsHex) {
    const std::string bytes("\r\n\x00\xFFok", 6);
    Reply("AT+X\r\n", sim::ModemReply::Text(bytes));
    CMbimDeviceService channel;
    ASSERT_TRUE(channel.CheckInterface());
    std::string reply;
    std::string hex = "before:";
    EXPECT_EQ(channel.SendCommand("AT+X\r\n", reply, hex), 0);
    EXPECT_EQ(reply, bytes);
    EXPECT_EQ(hex, "before:0D 0A 00 FF 6F 6B ");
}

TEST_F(AtChannelTest, ACompletionWithoutDataGivesTheEmptyReply) {
    sim::ModemReply nodata;
    nodata.kind = sim::ModemReply::NoData;
    Reply("AT+N\r\n", nodata);
    Reply("AT+E\r\n", sim::ModemReply::Text(""));
    for (const char* command : {"AT+N\r\n", "AT+E\r\n"}) {
        std::string reply = "stale", hex;
        EXPECT_EQ(Exchange(command, &reply, &hex), 0) << command;
        EXPECT_EQ(reply, "");
        EXPECT_EQ(hex, "");
    }
}

TEST_F(AtChannelTest, NoUsableCompletionTimesOutAfter5000Ms) {
    struct Case {
        const char* name;
        sim::ModemReply reply;
        const char* alsoLogged;
    };
    sim::ModemReply badStatus = sim::ModemReply::Text("\r\nOK\r\n");
    badStatus.status = E_FAIL;
    sim::ModemReply wrongId = sim::ModemReply::Text("\r\nOK\r\n");
    wrongId.wrongRequestId = true;
    sim::ModemReply late = sim::ModemReply::Text("\r\nOK\r\n");
    late.delayMs = 5001;
    const Case cases[] = {
        {"silence", sim::ModemReply::Silence(), nullptr},
        {"status", badStatus, "OnSetCommandComplete-status-not-ok"},
        {"unmatched id", wrongId, "OnSetCommandComplete-no-match-command"},
        {"late", late, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modem().SetReply("AT+Q\r\n", c.reply);
        std::int64_t start = Now();
        std::size_t before = CountLogged("SetCommandTimeout \n");
        std::string reply = "untouched";
        EXPECT_NE(Exchange("AT+Q\r\n", &reply), 0);
        EXPECT_EQ(reply, "untouched");
        EXPECT_EQ(Now() - start, 5000);
        EXPECT_EQ(CountLogged("SetCommandTimeout \n"), before + 1);
        if (c.alsoLogged) {
            EXPECT_TRUE(Logged(c.alsoLogged));
        }
        // A late completion finds no sink once the channel is gone.
        Sleep(1000);
    }
    EXPECT_EQ(CountLogged("OnSetCommandComplete-no-match-command"), 1u);
    EXPECT_EQ(modem().AdvisedSinks(IID_IMbnDeviceServicesEvents), 0u);
}

TEST_F(AtChannelTest, ACompletionBeforeSetCommandReturnsStillFindsItsRequest) {
    modem().SetEarlyCompletions(true);
    Reply("AT+EARLY\r\n", sim::ModemReply::Text("\r\nEARLY\r\n"));
    std::string reply;
    EXPECT_EQ(Exchange("AT+EARLY\r\n", &reply), 0);
    EXPECT_EQ(reply, "\r\nEARLY\r\n");
    EXPECT_FALSE(Logged("OnSetCommandComplete-no-match-command"));
    EXPECT_EQ(Now(), 0);
}

TEST_F(AtChannelTest, SessionStepsThatFail) {
    struct Case {
        const char* name;
        bool open;  // configure the open step, else the close step
        sim::SessionBehaviour behaviour;
        bool exchanged;
        const char* logged;
        std::int64_t waited;
    };
    const Case cases[] = {
        {"open fails", true, {sim::SessionBehaviour::Fail}, false, "OpenCommandSession", 0},
        {"open never completes", true, {sim::SessionBehaviour::Never}, false, "OpenSessionTimeout ", 5000},
        {"open completes late", true, {sim::SessionBehaviour::Complete, 6000}, false, "OpenSessionTimeout ", 5000},
        {"close fails", false, {sim::SessionBehaviour::Fail}, true, "CloseCommandSession\n", 0},
        {"close never completes", false, {sim::SessionBehaviour::Never}, true, "CloseSessionTimeout\n", 5000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modem().SetSessionOpen(sim::kAtServiceId, false);
        modem().SetOpenBehaviour(sim::kAtServiceId, c.open ? c.behaviour : sim::SessionBehaviour{});
        modem().SetCloseBehaviour(sim::kAtServiceId, c.open ? sim::SessionBehaviour{} : c.behaviour);
        std::size_t commands = modem().Commands().size();
        std::int64_t start = Now();
        std::size_t before = CountLogged(c.logged);
        int result = Exchange("AT\r\n");
        EXPECT_EQ(result == 0, c.exchanged);
        EXPECT_EQ(modem().Commands().size(), commands + (c.exchanged ? 1 : 0));
        EXPECT_EQ(CountLogged(c.logged), before + 1);
        EXPECT_EQ(Now() - start, c.waited);
        Sleep(2000);  // let a late completion pass
    }
}

TEST_F(AtChannelTest, FailingDeviceServiceCallsEndTheExchange) {
    struct Case {
        sim::ModemFault fault;
        const char* logged;
    };
    const Case cases[] = {
        {sim::ModemFault::GetInterfaces, "GetInterfaces"},
        {sim::ModemFault::InterfaceId, "get_InterfaceID"},
        {sim::ModemFault::GetDeviceServicesContext, "GetDeviceServicesContext"},
        {sim::ModemFault::GetDeviceService, "GetDeviceService"},
        {sim::ModemFault::IsCommandSessionOpen, "get_IsCommandSessionOpen"},
        {sim::ModemFault::SetCommand, "SetCommand\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        CMbimDeviceService channel;
        modem().SetFault(c.fault, E_ACCESSDENIED);
        std::string reply, hex;
        EXPECT_EQ(channel.SendCommand("AT\r\n", reply, hex), E_ACCESSDENIED);
        EXPECT_TRUE(Logged(c.logged));
        modem().SetFault(c.fault, S_OK);
        EXPECT_FALSE(modem().SessionOpen(sim::kAtServiceId));
    }
    EXPECT_TRUE(Logged("GetService"));
    EXPECT_TRUE(Logged("GetInterface"));
    EXPECT_TRUE(modem().Commands().empty());
}

TEST_F(AtChannelTest, CheckInterfaceNeedsAModemInterface) {
    {
        CMbimDeviceService channel;
        EXPECT_TRUE(channel.CheckInterface());
    }
    modem().RemoveInterfaces();
    {
        CMbimDeviceService channel;
        EXPECT_FALSE(channel.CheckInterface());
        EXPECT_FALSE(Logged("GetInterfaces"));
    }
    modem().SetFault(sim::ModemFault::CreateInterfaceManager, REGDB_E_CLASSNOTREG);
    {
        CMbimDeviceService channel;
        EXPECT_FALSE(channel.CheckInterface());
        EXPECT_TRUE(Logged("CoCreateInstance-CLSID_MbnInterfaceManager"));
        EXPECT_TRUE(Logged("InterfaceMgr is null"));
    }
}

TEST_F(AtChannelTest, EveryObjectAndBufferIsGivenBack) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    const std::size_t objects = sim::LiveComObjects();
    const std::size_t arrays = sim::LiveSafeArrays();
    const std::size_t texts = sim::LiveBstrs();
    const std::size_t handles = machine().handles().Count();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Exchange("AT\r\n"), 0);
    machine().clock().Settle();
    EXPECT_EQ(sim::LiveComObjects(), objects);
    EXPECT_EQ(sim::LiveSafeArrays(), arrays);
    EXPECT_EQ(sim::LiveBstrs(), texts);
    EXPECT_EQ(machine().handles().Count(), handles);
    EXPECT_EQ(modem().AdvisedSinks(IID_IMbnDeviceServicesEvents), 0u);
    // The channels balanced their own initialisation only.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

TEST_F(AtChannelTest, TearDownAfterAPartialSetUpReleasesOnlyWhatIsHeld) {
    struct Case {
        sim::ModemFault fault;
        const char* logged;
    };
    const Case cases[] = {
        {sim::ModemFault::CreateInterfaceManager, "CoCreateInstance-CLSID_MbnInterfaceManager"},
        {sim::ModemFault::CreateDeviceServicesManager, "CoCreateInstance-CLSID_MbnDeviceServicesManager"},
        {sim::ModemFault::ConnectionPointContainer, "QueryInterface"},
        {sim::ModemFault::FindConnectionPoint, "FindConnectionPoint"},
        {sim::ModemFault::Advise, "Advise"},
    };
    const std::size_t objects = sim::LiveComObjects();
    const std::size_t handles = machine().handles().Count();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        modem().SetFault(c.fault, E_FAIL);
        {
            CMbimDeviceService channel;
            std::string reply, hex;
            EXPECT_NE(channel.SendCommand("AT\r\n", reply, hex), 0);
        }
        modem().SetFault(c.fault, S_OK);
        EXPECT_TRUE(Logged(c.logged));
        EXPECT_EQ(sim::LiveComObjects(), objects);
        EXPECT_EQ(machine().handles().Count(), handles);
        // COM is left as it was found: not initialised on this thread.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }
    EXPECT_FALSE(Logged("Unadvise"));
}

TEST_F(AtChannelTest, AFailedInitialisationIsNotBalanced) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    modem().SetFault(sim::ModemFault::CoInitialize, E_OUTOFMEMORY);
    {
        CMbimDeviceService channel;  // goes on in the apartment this thread is in
        EXPECT_TRUE(channel.CheckInterface());
    }
    EXPECT_TRUE(Logged("CoInitializeEx error"));
    EXPECT_FALSE(Logged("CoUninitialize"));
    modem().SetFault(sim::ModemFault::CoInitialize, S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);  // still initialised once
    CoUninitialize();
    CoUninitialize();
}

TEST_F(AtChannelTest, EventNotificationsAreLogged) {
    CMbimDeviceService channel;
    const std::string numbers("\x05\0\0\0\x03\0\0\0\xFF\xFF\xFF\xFF", 12);
    modem().RaiseEventNotification("{00000000-1111-2222-3333-444444444444}", 1, numbers);
    machine().clock().Settle();
    std::string log = Log();
    EXPECT_NE(log.find(": UUID0:\n"), std::string::npos);
    EXPECT_NE(log.find(": {00000000-1111-2222-3333-444444444444}\n"), std::string::npos);
    EXPECT_EQ(log.find("UUID1:"), std::string::npos);
    EXPECT_EQ(log.find("Data1:"), std::string::npos);

    modem().RaiseEventNotification(sim::kDeviceModeServiceId, 2, numbers);
    machine().clock().Settle();
    EXPECT_TRUE(Logged("UUID1:"));
    EXPECT_EQ(CountLogged(sim::kDeviceModeServiceId), 2u);
    EXPECT_TRUE(Logged("Data1:"));
    EXPECT_TRUE(Logged("UI32DeviceMode=5 UI32SarIndex=3 UI32AntennaIndex=-1"));

    modem().RaiseEventNotification(sim::kDeviceModeServiceId, 2, numbers.substr(0, 11));
    machine().clock().Settle();
    EXPECT_EQ(CountLogged("UUID1:"), 2u);
    EXPECT_EQ(CountLogged("Data1:"), 1u);
}

TEST_F(AtChannelTest, SetDeviceServiceIdAcceptsOnlyAnId) {
    struct Case {
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {"{613A2C9F-7579-4BE2-BF30-94DC8FE47B1C}", true},
        {"613A2C9F-7579-4BE2-BF30-94DC8FE47B1C", true},
        {"613a2c9f-7579-4be2-bf30-94dc8fe47b1c", true},
        {"613a2c9f-7579-4be2-bf30-94dc8fe47b1", false},
        {"{613a2c9f-7579-4be2-bf30-94dc8fe47b1c", false},
        {"x613a2c9f-7579-4be2-bf30-94dc8fe47b1cx", false},
        {"613a2c9f-7579-4be2-bf30-94dc8fe47b1g", false},
        {"", false},
    };
    modem().SetSessionOpen(sim::kDeviceModeServiceId, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CMbimDeviceService channel;
        EXPECT_EQ(channel.SetDeviceServiceId(c.text), c.accepted);
        std::string reply, hex;
        channel.SendCommand("AT\r\n", reply, hex);
        // The command reaches the service the channel names.
        std::string expected = c.accepted ? sim::kDeviceModeServiceId : sim::kAtServiceId;
        EXPECT_EQ(modem().Commands().back().serviceId, expected);
    }
}

TEST(AtChannelSink, ReferenceCountEndsAtZeroExactlyOnce) {
    kvtest::TempDir temp;
    sim::Machine machine(temp.path());
    const std::size_t handles = machine.handles().Count();
    std::vector<PendingRequest> requests;
    auto* sink = new CrMbimServicesEvents(&requests);
    EXPECT_EQ(machine.handles().Count(), handles + 4);
    void* object = nullptr;
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(sink->QueryInterface(IID_IMbnDeviceServicesEvents, &object), S_OK);
    EXPECT_EQ(object, static_cast<IMbnDeviceServicesEvents*>(sink));
    EXPECT_EQ(sink->AddRef(), 3u);
    EXPECT_EQ(sink->Release(), 2u);
    EXPECT_EQ(sink->Release(), 1u);
    EXPECT_EQ(machine.handles().Count(), handles + 4);
    EXPECT_EQ(sink->Release(), 0u);
    EXPECT_EQ(machine.handles().Count(), handles);
}

TEST(AtChannelSink, FillsOnlyTheMatchingRequest) {
    kvtest::TempDir temp;
    sim::Machine machine(temp.path());
    std::vector<PendingRequest> requests(2);
    requests[0].requestId = 4;
    requests[1].requestId = 5;
    auto* sink = new CrMbimServicesEvents(&requests);
    SAFEARRAY* data = SafeArrayCreateVector(VT_UI1, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        BYTE b = static_cast<BYTE>('x' + i);
        SafeArrayPutElement(data, &i, &b);
    }
    EXPECT_EQ(sink->OnSetCommandComplete(nullptr, 1, data, S_OK, 5), S_OK);
    EXPECT_EQ(sink->WaitSetDone(), 0);
    EXPECT_EQ(requests[0].responseLength, 0);
    EXPECT_EQ(requests[1].responseLength, 2);
    EXPECT_EQ(std::string(requests[1].response.begin(), requests[1].response.end()), "xy");
    EXPECT_EQ(sink->OnSetCommandComplete(nullptr, 1, data, E_FAIL, 4), E_FAIL);
    EXPECT_EQ(sink->OnSetCommandComplete(nullptr, 1, data, S_OK, 6), S_OK);
    EXPECT_EQ(sink->WaitSetDone(), 1);
    EXPECT_EQ(machine.clock().Now(), 5000);
    EXPECT_EQ(requests[0].responseLength, 0);
    sink->DetachRequests();
    EXPECT_EQ(sink->OnSetCommandComplete(nullptr, 1, data, S_OK, 5), S_OK);  // no list: nothing to fill
    SafeArrayDestroy(data);
    EXPECT_EQ(sink->OnCloseCommandSessionComplete(nullptr, E_ABORT, 1), E_ABORT);
    EXPECT_EQ(sink->WaitCloseDone(), 0);
    sink->Release();
}

}  // namespace
