// The simulated machine: the control driver, reached as "\??\KVControl". It
// may be absent (opening fails with ERROR_FILE_NOT_FOUND) or reject every
// control; it records each control code with its input bytes.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/hidden.h"
#include "platform/sim/objects.h"
#include "platform/types.h"

namespace sim {

class Machine;

// The region control: a 4-byte little-endian region code in, nothing out.
constexpr DWORD kIoctlSetRegion = 0x06000004;

struct DeviceControl {
    DWORD code = 0;
    std::vector<BYTE> input;
    DWORD error = ERROR_SUCCESS;  // what the driver answered
};

// An open handle on the device.
class DeviceObject : public Object {
public:
    DeviceObject(std::string name, std::shared_ptr<std::atomic<int>> openCount)
        : name(std::move(name)), openCount_(std::move(openCount)) {
        ++*openCount_;
    }
    ~DeviceObject() override { --*openCount_; }
    DeviceObject(const DeviceObject&) = delete;
    DeviceObject& operator=(const DeviceObject&) = delete;

    const std::string name;

private:
    std::shared_ptr<std::atomic<int>> openCount_;
};

class ControlDriver {
public:
    explicit ControlDriver(Machine& machine) : machine_(machine) {}

    static constexpr const char* kDeviceName = "\\??\\KVControl";

    // Present and accepting at first.
    void SetPresent(bool present);
    bool Present() const;
    // Every control fails with `error` from now on (0: accepted again).
    void SetRejectError(DWORD error);

    std::vector<DeviceControl> Controls() const;
    // The last region code the driver accepted; 0 before any.
    DWORD Region() const;
    int OpenHandleCount() const { return *openCount_; }

    // What CreateFileA opens for a device name ("\??\KVControl"); null with
    // `*error` set when there is no such device.
    std::shared_ptr<Object> OpenDevice(const std::string& name, DWORD* error);

    // DeviceIoControl on an open device; ERROR_SUCCESS or the error it fails with.
    DWORD Control(DeviceObject& device, DWORD code, const void* input, DWORD inputSize, void* output,
                  DWORD outputSize, DWORD* bytesReturned);

private:
    Machine& machine_;
    mutable HiddenMutex mutex_;
    bool present_ = true;
    DWORD rejectError_ = ERROR_SUCCESS;
    DWORD region_ = 0;
    std::vector<DeviceControl> controls_;
    std::shared_ptr<std::atomic<int>> openCount_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace sim
