#include <cstring>
#include <string>

#include "modem/CMbnChangeEventNew.h"
#include "modem/CMbnDeviceServiceMgr.h"
#include "modem/CMbnInterfaceEventMgr.h"
#include "platform/sync.h"
#include "tests/modem/modem_fixture.h"

namespace {

using kvtest::ModemTest;

const WCHAR kDeviceModeService[] = u"{613a2c9f-7579-4be2-bf30-94dc8fe47b1c}";

struct Answer {
    std::string mode = "m", sar = "s", antenna = "a";
    HRESULT result = E_UNEXPECTED;
};

sim::ModemReply NoData() {
    sim::ModemReply reply;
    reply.kind = sim::ModemReply::NoData;
    return reply;
}

class DeviceModeTest : public ModemTest {
protected:
    void TearDown() override {
        CMbnDeviceServiceMgr::GetInstance()->Release();
        ModemTest::TearDown();
    }
    // The query as the AT executor makes it.
    Answer Query() {
        Answer answer;
        const BYTE command[] = {'\r', '\n'};
        answer.result = CMbnDeviceServiceMgr::GetInstance()->QueryCommand(command, 2, answer.mode, answer.sar,
                                                                          answer.antenna, kDeviceModeService, 3);
        return answer;
    }
};

TEST_F(DeviceModeTest, AnswerGivesDecimalTextsWithNegativesAsZero) {
    modem().SetDeviceMode(5, 3, -1);
    Answer answer = Query();
    EXPECT_EQ(answer.result, S_OK);
    EXPECT_EQ(answer.mode, "5");
    EXPECT_EQ(answer.sar, "3");
    EXPECT_EQ(answer.antenna, "0");
    EXPECT_EQ(machine().transcript().Lines("modem").back(),
              std::string("QueryCommand ") + sim::kDeviceModeServiceId + " 3 \"\\r\\n\" -> 5 3 -1");
    // The channel opened the session and keeps it for the next queries.
    EXPECT_TRUE(modem().SessionOpen(sim::kDeviceModeServiceId));
    modem().SetDeviceMode(8, 0, 2);
    answer = Query();
    EXPECT_EQ(answer.result, S_OK);
    EXPECT_EQ(answer.mode, "8");
    EXPECT_EQ(answer.antenna, "2");
    EXPECT_EQ(Now(), 0);
}

TEST_F(DeviceModeTest, ASessionFoundOpenNeedsNoOpening) {
    modem().SetSessionOpen(sim::kDeviceModeServiceId, true);
    modem().SetOpenBehaviour(sim::kDeviceModeServiceId, {sim::SessionBehaviour::Fail});
    modem().SetDeviceMode(1, 2, 3);
    EXPECT_EQ(Query().mode, "1");
    EXPECT_EQ(Now(), 0);
    // Found open, it is not closed on release either.
    CMbnDeviceServiceMgr::GetInstance()->Release();
    EXPECT_TRUE(modem().SessionOpen(sim::kDeviceModeServiceId));
}

TEST_F(DeviceModeTest, ReleaseClosesASessionItOpened) {
    Query();
    EXPECT_TRUE(modem().SessionOpen(sim::kDeviceModeServiceId));
    CMbnDeviceServiceMgr::GetInstance()->Release();
    EXPECT_FALSE(modem().SessionOpen(sim::kDeviceModeServiceId));
    EXPECT_EQ(modem().AdvisedSinks(IID_IMbnDeviceServicesEvents), 0u);
}

TEST_F(DeviceModeTest, AnAnswerWithoutTheNumbersLeavesTheOutputsUntouched) {
    struct Case {
        const char* name;
        sim::ModemReply reply;
        std::int64_t waited;
    };
    sim::ModemReply badStatus = sim::ModemReply::Text(std::string(12, '\x01'));
    badStatus.status = E_FAIL;
    sim::ModemReply late = sim::ModemReply::Text(std::string(12, '\x01'));
    late.delayMs = 6000;
    const Case cases[] = {
        {"silence", sim::ModemReply::Silence(), 5000},
        {"late", late, 5000},
        {"bad status", badStatus, 0},
        {"short data", sim::ModemReply::Text(std::string(11, '\x01')), 0},
        {"no data", NoData(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modem().SetDeviceModeReply(c.reply);
        std::int64_t start = Now();
        Answer answer = Query();
        EXPECT_TRUE(FAILED(answer.result));
        EXPECT_EQ(answer.mode, "m");
        EXPECT_EQ(answer.sar, "s");
        EXPECT_EQ(answer.antenna, "a");
        EXPECT_EQ(Now() - start, c.waited);
        Sleep(30000);  // a late completion waits for a publication that never comes
    }
    // A good answer afterwards is taken.
    modem().SetDeviceMode(4, 4, 4);
    EXPECT_EQ(Query().mode, "4");
}

TEST_F(DeviceModeTest, AnEarlyAnswerWaitsForItsRequestId) {
    modem().SetEarlyCompletions(true);
    modem().SetDeviceMode(7, 1, 1);
    Answer answer = Query();
    EXPECT_EQ(answer.result, S_OK);
    EXPECT_EQ(answer.mode, "7");
    EXPECT_EQ(Now(), 0);
}

TEST_F(DeviceModeTest, WithoutModemOrSetUpTheQueryFails) {
    modem().RemoveInterfaces();
    Answer answer = Query();
    EXPECT_EQ(answer.result, E_FAIL);
    EXPECT_EQ(answer.mode, "m");
    EXPECT_TRUE(modem().Commands().empty());
}

TEST_F(DeviceModeTest, ASetUpThatFailedIsNotRetried) {
    modem().SetFault(sim::ModemFault::Advise, E_FAIL);
    EXPECT_EQ(Query().result, E_FAIL);
    modem().SetFault(sim::ModemFault::Advise, S_OK);
    Answer answer = Query();
    EXPECT_EQ(answer.result, E_FAIL);
    EXPECT_EQ(answer.mode, "m");
    EXPECT_TRUE(modem().Commands().empty());
}

TEST_F(DeviceModeTest, AnotherServicesSessionCompletionDoesNotOpenTheSession) {
    modem().SetOpenBehaviour(sim::kDeviceModeServiceId, {sim::SessionBehaviour::Never});
    // Meanwhile someone else opens the AT service's session.
    machine().clock().At(100, [] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IMbnInterfaceManager* manager = nullptr;
        CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager,
                         reinterpret_cast<void**>(&manager));
        SAFEARRAY* interfaces = nullptr;
        manager->GetInterfaces(&interfaces);
        LONG index = 0;
        IMbnInterface* first = nullptr;
        SafeArrayGetElement(interfaces, &index, &first);
        SafeArrayDestroy(interfaces);
        BSTR id = nullptr;
        first->get_InterfaceID(&id);
        IMbnDeviceServicesManager* services = nullptr;
        CoCreateInstance(CLSID_MbnDeviceServicesManager, nullptr, CLSCTX_ALL, IID_IMbnDeviceServicesManager,
                         reinterpret_cast<void**>(&services));
        IMbnDeviceServicesContext* context = nullptr;
        services->GetDeviceServicesContext(id, &context);
        BSTR at = SysAllocString(u"{ffffffff-abca-4b11-a4e2-f2fc87f94488}");
        IMbnDeviceService* service = nullptr;
        context->GetDeviceService(at, &service);
        ULONG request = 0;
        service->OpenCommandSession(&request);
        SysFreeString(at);
        SysFreeString(id);
        service->Release();
        context->Release();
        services->Release();
        first->Release();
        manager->Release();
        CoUninitialize();
    });
    Answer answer = Query();
    EXPECT_EQ(answer.result, E_FAIL);
    EXPECT_EQ(Now(), 5000);
    EXPECT_TRUE(modem().SessionOpen(sim::kAtServiceId));
    EXPECT_FALSE(modem().SessionOpen(sim::kDeviceModeServiceId));
    EXPECT_TRUE(modem().Commands().empty());
}

TEST_F(DeviceModeTest, EachQueryGivesBackTheObjectsOfThePreviousOne) {
    Query();
    machine().clock().Settle();
    const std::size_t objects = sim::LiveComObjects();
    const std::size_t arrays = sim::LiveSafeArrays();
    const std::size_t texts = sim::LiveBstrs();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Query().result, S_OK);
    machine().clock().Settle();
    EXPECT_EQ(sim::LiveComObjects(), objects);
    EXPECT_EQ(sim::LiveSafeArrays(), arrays);
    EXPECT_EQ(sim::LiveBstrs(), texts);
}

TEST(DeviceModeHelpers, BytesToSafeArray) {
    const BYTE bytes[] = {1, 2, 0, 255};
    SAFEARRAY* array = BytesToSafeArray(bytes, 4);
    ASSERT_NE(array, nullptr);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 3);
    LONG index = 3;
    BYTE last = 0;
    SafeArrayGetElement(array, &index, &last);
    EXPECT_EQ(last, 255);
    SafeArrayDestroy(array);
    EXPECT_EQ(BytesToSafeArray(nullptr, 3), nullptr);
}

TEST(DeviceModeHelpers, SafeArrayToStringReadsNoElementBeyondTheArray) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {std::string("\x03\0\0\0abcd", 8), "abc"},
        {std::string("\xFF\xFF\xFF\x7F" "ab", 6), "ab"},  // the length claims far more
        {std::string("\x00\0\0\0ab", 6), ""},
        {std::string("\x02\0\0", 3), ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SAFEARRAY* array = BytesToSafeArray(reinterpret_cast<const BYTE*>(c.bytes.data()),
                                            static_cast<ULONG>(c.bytes.size()));
        EXPECT_EQ(SafeArrayToString(array), c.text);
        SafeArrayDestroy(array);
    }
    EXPECT_EQ(SafeArrayToString(nullptr), "");
    SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 6);
    EXPECT_EQ(SafeArrayToString(objects), "");
    SafeArrayDestroy(objects);
}

TEST(DeviceModeHelpers, WideToAnsi) {
    char buffer[8];
    EXPECT_EQ(WideToAnsi(buffer, u"abc", 8, CP_ACP), buffer);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(WideToAnsi(buffer, u"abcdefghij", 8, CP_ACP), nullptr);
    EXPECT_EQ(WideToAnsi(nullptr, u"a", 8, CP_ACP), nullptr);
    EXPECT_EQ(WideToAnsi(buffer, nullptr, 8, CP_ACP), nullptr);
    EXPECT_EQ(WideToAnsi(buffer, u"\u00E9", 8, CP_UTF8), buffer);
    EXPECT_STREQ(buffer, "\xC3\xA9");
}

TEST_F(ModemTest, InterfaceEventSinkIsAdvisedAndReleased) {
    CMbnInterfaceEventMgr* manager = CMbnInterfaceEventMgr::GetInstance();
    ASSERT_TRUE(manager->Init());
    EXPECT_EQ(modem().AdvisedSinks(IID_IMbnInterfaceEvents), 1u);
    modem().RaiseInterfaceEvent(sim::InterfaceEvent::ReadyStateChange);
    machine().clock().Settle();
    manager->Release();
    EXPECT_EQ(modem().AdvisedSinks(IID_IMbnInterfaceEvents), 0u);
}

TEST(InterfaceEventSink, AnswersOnlyForItsInterface) {
    auto* sink = new CMbnChangeEventNew();
    void* object = nullptr;
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, &object), E_NOINTERFACE);
    EXPECT_EQ(sink->QueryInterface(IID_IMbnInterfaceEvents, &object), S_OK);
    EXPECT_EQ(sink->OnReadyStateChange(nullptr), S_OK);
    EXPECT_EQ(sink->OnScanNetworkComplete(nullptr, 1, E_FAIL), S_OK);
    EXPECT_EQ(sink->Release(), 1u);
    EXPECT_EQ(sink->Release(), 0u);
}

}  // namespace
