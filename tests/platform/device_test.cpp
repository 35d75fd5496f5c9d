#include <cstring>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/files.h"
#include "platform/sim/driver.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

class DeviceTest : public kvtest::SimTest {
protected:
    sim::ControlDriver& driver() { return machine().driver(); }

    HANDLE Open() {
        return CreateFileA("\\??\\KVControl", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    // Sends a region code the way the worker does; returns the call's result and error.
    std::pair<BOOL, DWORD> SendRegion(HANDLE device, DWORD code, DWORD size = 4) {
        BYTE input[8] = {};
        std::memcpy(input, &code, 4);
        DWORD returned = 99;
        SetLastError(0);
        BOOL ok = DeviceIoControl(device, sim::kIoctlSetRegion, input, size, nullptr, 0, &returned, nullptr);
        EXPECT_EQ(returned, 0u);
        return {ok, ok ? 0 : GetLastError()};
    }
};

TEST_F(DeviceTest, RegionCodeIsRecordedWithItsBytes) {
    HANDLE device = Open();
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(driver().OpenHandleCount(), 1);
    EXPECT_EQ(SendRegion(device, 2), std::make_pair(TRUE, DWORD{0}));
    EXPECT_EQ(driver().Region(), 2u);
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_EQ(driver().OpenHandleCount(), 0);

    auto controls = driver().Controls();
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].code, 0x06000004u);
    EXPECT_EQ(controls[0].input, (std::vector<BYTE>{2, 0, 0, 0}));
    EXPECT_EQ(machine().transcript().Lines("driver"), std::vector<std::string>{"ioctl 0x06000004 in=02 00 00 00"});
}

TEST_F(DeviceTest, AbsentDeviceCannotBeOpened) {
    driver().SetPresent(false);
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileA("\\??\\OtherDevice", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    driver().SetPresent(true);
    HANDLE device = Open();
    EXPECT_NE(device, INVALID_HANDLE_VALUE);
    CloseHandle(device);
}

TEST_F(DeviceTest, RejectedControlsFailWithTheirErrorAndAreStillRecorded) {
    HANDLE device = Open();
    struct Case {
        DWORD reject;
        DWORD code;
        DWORD size;
        DWORD error;
    };
    const std::vector<Case> cases = {
        {ERROR_GEN_FAILURE, 3, 4, ERROR_GEN_FAILURE},
        {0, 1, 2, ERROR_INVALID_PARAMETER},
        {0, 3, 4, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        driver().SetRejectError(c.reject);
        auto [ok, error] = SendRegion(device, c.code, c.size);
        EXPECT_EQ(ok, c.error == ERROR_SUCCESS ? TRUE : FALSE);
        EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(driver().Region(), 3u);
    EXPECT_EQ(machine().transcript().Lines("driver"), (std::vector<std::string>{
                                                          "ioctl 0x06000004 in=03 00 00 00 failed (31)",
                                                          "ioctl 0x06000004 in=01 00 failed (87)",
                                                          "ioctl 0x06000004 in=03 00 00 00",
                                                      }));
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(device, 0x06000008, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    CloseHandle(device);
}

TEST_F(DeviceTest, ControlNeedsADeviceHandle) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD code = 1;
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(event, sim::kIoctlSetRegion, &code, 4, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(driver().Controls().empty());
    CloseHandle(event);
}

}  // namespace
